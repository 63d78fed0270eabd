#pragma once
// The in-memory picture every file codec reads into and writes from: rows
// bottom-up and padded to 4 bytes, a colour table for palette formats,
// resolution as pixels per metre.

#include "Bitmap.h"
#include "DibTypes.h"
#include "Geometry.h"
#include "Stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QImage;
class QPainter;

namespace lumara {

enum TImageFormat : uint8_t {
    ifBlackWhite = 0,
    ifGray16 = 1,
    ifGray256 = 2,
    ifColor16 = 3,
    ifColor256 = 4,
    ifTrueColor = 5,
};

// "B/W", "4bpp gray", ... "24bpp color".
const char* ImageFormatText(TImageFormat format);
int BitsPerPixelOf(TImageFormat format);
// 1 -> ifBlackWhite, 4 -> ifColor16, 8 -> ifColor256, 24 -> ifTrueColor;
// anything else raises EZeradudaError "Unsupported bit count".
TImageFormat FormatForBitCount(int bitCount);
// The default palette of a palette format (nullptr for ifTrueColor).
const TPaletteRecord* DefaultPaletteOf(TImageFormat format);

// Screen dots per inch used when NewImage gets 0 (the GUI sets the real one).
void SetScreenDotsPerInch(int x, int y);
int ScreenDotsPerInchX();
int ScreenDotsPerInchY();

class TRgbToPaletteConverter {
  public:
    explicit TRgbToPaletteConverter(const TPaletteRecord& palette);
    int16_t NearestIndex(uint32_t color);
    uint32_t CacheHits() const { return hits_; }
    uint32_t CacheMisses() const { return misses_; }

    static constexpr int kCacheSlots = 1020;

  private:
    const TPaletteRecord& palette_;
    struct Slot {
        uint32_t key = 0;
        int16_t index = -1;
    };
    std::array<Slot, kCacheSlots> cache_{};
    uint32_t hits_ = 0;
    uint32_t misses_ = 0;
};

class TDibGraphic {
  public:
    TDibGraphic();
    virtual ~TDibGraphic();
    TDibGraphic(const TDibGraphic&) = delete;
    TDibGraphic& operator=(const TDibGraphic&) = delete;

    virtual const char* ClassName() const { return "TDibGraphic"; }

    // Creates a blank (zeroed) image replacing the current one. xDpi/yDpi 0
    // mean the screen's. A palette format without a palette takes its default
    // palette. Raises EZeradudaError "Invalid image format" for an unknown
    // format and "CreateDibSection failed" for a size of 0 or less, pixel
    // bytes beyond 32 bits or memory that cannot be had. On any failure the
    // image is left empty and the error passed on.
    virtual void NewImage(int width, int height, TImageFormat format, const TPaletteRecord* palette,
                          uint16_t xDpi, uint16_t yDpi);
    void FreeImage();

    bool GetEmpty() const { return !bits_; }
    int GetWidth() const { return header_.biWidth; }
    int GetHeight() const { return header_.biHeight; }
    // Both raise EZeradudaError "Dimensions must be changed with NewImage".
    void SetWidth(int width);
    void SetHeight(int height);

    TImageFormat ImageFormat() const { return format_; }
    int RowBytes() const { return rowBytes_; }
    uint8_t* Bits() { return bits_.get(); }
    const uint8_t* Bits() const { return bits_.get(); }
    // Row 0 is the top row; rows are stored bottom-up.
    uint8_t* ScanLine(int row) {
        return bits_.get() + size_t(GetHeight() - 1 - row) * size_t(rowBytes_);
    }
    const uint8_t* ScanLine(int row) const {
        return bits_.get() + size_t(GetHeight() - 1 - row) * size_t(rowBytes_);
    }
    const BitmapInfoHeader& InfoHeader() const { return header_; }
    const TPaletteRecord& PaletteRecord() const { return palette_; }
    // Gives a palette image new colours for its indices (count clamped to 256);
    // raises EZeradudaError "The image does not have a palette" otherwise.
    void ReplacePalette(const TPaletteRecord& palette);

    // Colour 0x00RRGGBB of a pixel; palette formats write the nearest entry.
    // Outside the image GetPixel gives 0 and SetPixel does nothing.
    uint32_t GetPixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t color);
    // Raw index access; both raise EZeradudaError "The image does not have a palette"
    // on a true-colour image.
    int GetPaletteIndex(int x, int y) const;
    void SetPaletteIndex(int x, int y, int index);

    int XDotsPerInch() const;
    int YDotsPerInch() const;
    void SetXDotsPerInch(int dpi);
    void SetYDotsPerInch(int dpi);

    // Copies another picture (an empty source leaves this one empty).
    virtual void Assign(const TDibGraphic& source);
    // From a surface bitmap: 1/4/8/24 bits keep their depth and palette.
    void Assign(const Bitmap& source);
    // Into a surface bitmap at the same depth, palette and resolution.
    void AssignTo(Bitmap& dest) const;
    // Any other picture: a true-colour image of its size, drawn over black
    // (transparent parts come out black), keeping its resolution. A null
    // image leaves this one empty.
    void Assign(const QImage& source);

    // The clipboard's bitmap format number, the only one images are exchanged in.
    static constexpr unsigned kClipboardBitmap = 2;
    // Takes the clipboard's picture: format must be kClipboardBitmap and data a
    // picture, else EInvalidGraphic "Unknown clipboard format, %d".
    void LoadFromClipboardFormat(unsigned format, const QImage& data);
    // Gives the picture for the clipboard: a one-bit image for ifBlackWhite,
    // screen-format colour otherwise. Raises EZeradudaError
    // "CopyBitmap: CreateBitmap failed" when it cannot be made.
    void SaveToClipboardFormat(unsigned& format, QImage& data) const;

    // Draws the picture stretched into rect (right and bottom exclusive).
    // True colour is stretched by nearest pixel, palette formats smoothly.
    void Draw(QPainter& painter, const TRect& rect) const;

    // Text and shapes drawn onto the pixels. True colour draws in place; the
    // 1-, 4- and 8-bit formats draw on a true-colour copy whose changed pixels
    // go back through the nearest-colour converter when the canvas is
    // destroyed. The painter is valid until then; the image must outlive it.
    // Raises EZeradudaError on an empty image.
    class Canvas;
    std::unique_ptr<Canvas> OpenCanvas();

    void LoadFromStream(TStream& stream) { ReadImage(stream, imageIndex_); }
    virtual void SaveToStream(TStream& stream);
    void LoadFromFile(const std::string& path);
    // Writes through a temporary file renamed over the target on success.
    void SaveToFile(const std::string& path);

    virtual int GetImageCount(TStream& stream);
    virtual void ReadImage(TStream& stream, int index);
    // Raises EZeradudaError "The %s format does not support multiple images".
    virtual void AppendToStream(TStream& stream);

    // A packed bitmap of the image, or an empty vector on failure (never throws).
    PackedDib CreatePackedDib() const;
    // The inverse: reads a packed bitmap (1/4/8/24 bits uncompressed, or 16/32
    // bits plain or with channel masks, which become true colour; either row
    // order). Raises EInvalidGraphic "Invalid bitmap" on a malformed one,
    // EZeradudaError "Unsupported bit count" / "Unsupported compression".
    void AssignFromPackedDib(const uint8_t* data, size_t size);

    TRgbToPaletteConverter* Converter() { return converter_.get(); }

  protected:
    using PixelReader = uint32_t (*)(const TDibGraphic&, int x, int y);
    using PixelWriter = void (*)(TDibGraphic&, int x, int y, uint32_t color);

    BitmapInfoHeader header_;
    TPaletteRecord palette_;
    TImageFormat format_ = ifTrueColor;
    int rowBytes_ = 0;
    int imageIndex_ = 1;

  private:
    std::unique_ptr<uint8_t[]> bits_;
    std::unique_ptr<TRgbToPaletteConverter> converter_;
    PixelReader reader_ = nullptr;
    PixelWriter writer_ = nullptr;
};

class TDibGraphic::Canvas {
  public:
    virtual ~Canvas() = default;
    virtual QPainter& Painter() = 0;
};

class TImageTransform {
  public:
    using ProgressEvent = std::function<void(TImageTransform& sender, int percent)>;
    virtual ~TImageTransform() = default;
    virtual const char* ClassName() const { return "TImageTransform"; }
    virtual void Apply(TDibGraphic& image);
    // The base raises EZeradudaError "Method "ApplyOnDest" not implemented for TImageTransform
    // class".
    virtual void ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest);

    ProgressEvent OnProgress;

  protected:
    void Progress(int current, int minimum, int maximum);
    int lastPercent_ = -1;
};

class TNegativeTransform : public TImageTransform {
  public:
    const char* ClassName() const override { return "TNegativeTransform"; }
    void Apply(TDibGraphic& image) override;
    void ApplyOnDest(const TDibGraphic& source, TDibGraphic& dest) override;
};

} // namespace lumara
