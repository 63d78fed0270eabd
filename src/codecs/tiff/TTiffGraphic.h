#pragma once
// TIFF files through libtiff over our streams: one page read into the image,
// the image written as a single page with one of seven compressions, and a
// header probe that lets the loading dispatch choose between this codec and
// the imaging library.

#include "codecs/model/TDibGraphic.h"

#include <cstdint>
#include <string>

namespace lumara {

// Compression codes of the writer (and of what ReadImage found).
enum TTiffCompression : uint8_t {
    tcNone = 0,
    tcPackbits = 1,
    tcFaxGroup3_1D = 2,
    tcFaxGroup3_2D = 3,
    tcFaxGroup4 = 4,
    tcZLib = 5,
    tcJPEG = 6,
    tcZLibAdobe = 7,
};

// "None", "Packbits", ... "ZLib Adobe"; "" for a code out of range.
const char* TiffCompressionName(int code);

class TTiffGraphic : public TDibGraphic {
  public:
    TTiffGraphic();
    ~TTiffGraphic() override;
    const char* ClassName() const override { return "TTiffGraphic"; }

    // The inherited NewImage, then the format's default compression
    // (Fax Group 4 for B/W, Packbits otherwise).
    void NewImage(int width, int height, TImageFormat format, const TPaletteRecord* palette,
                  uint16_t xDpi, uint16_t yDpi) override;
    void SaveToStream(TStream& stream) override;
    int GetImageCount(TStream& stream) override;
    // Reads page index (1-based) from the stream's current position.
    void ReadImage(TStream& stream, int index) override;
    // Adds the image as a new page (the whole file when the stream is empty).
    void AppendToStream(TStream& stream) override;

    // The checked setter: raises EZeradudaError
    // "%s compression not supported with %s images" and keeps the old code
    // when the combination is not allowed.
    void SetCompression(int code);
    uint8_t TiffCompression() const { return tiffCompression_; }
    static bool CompressionAllowed(TImageFormat format, int code);

    // Probes a file: size, bits per pixel and compression of page index
    // (-1: the first page, header only). See HeaderWidth() and friends.
    void ReadFileHeader(const std::string& fileName, int index);
    // The same probe over bytes already in memory.
    void ReadHeader(const uint8_t* data, size_t size, int index);

    int HeaderWidth() const { return headerWidth_; }
    int HeaderHeight() const { return headerHeight_; }
    int HeaderBitsPerPixel() const { return headerBitsPerPixel_; }
    uint32_t FileCompression() const { return fileCompression_; }

    // Pictures claiming more pixels than this are refused before any pixel
    // memory is taken (1 gigapixel unless lowered, e.g. by the fuzzer).
    static void SetMaxImagePixels(uint64_t pixels);
    static uint64_t MaxImagePixels();

  private:
    void WriteTiff(TStream& stream, const char* mode);
    void Probe(int index);

    uint8_t tiffCompression_ = tcPackbits;
    int headerWidth_ = 0;
    int headerHeight_ = 0;
    int headerBitsPerPixel_ = 0;
    uint32_t fileCompression_ = 0;
    TMemoryStream probeStream_;
};

} // namespace lumara
