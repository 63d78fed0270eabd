#pragma once
// The program's JPEG image object over libjpeg-turbo. It holds a whole JPEG
// file in memory, so the header read when it is loaded (the loading path's
// probe) is reused by the decode that follows; it decodes at 1/1 to 1/8
// scale into a surface bitmap (24-bit, gray, or 236 quantized colours) with
// progress and abort, and encodes a bitmap with libjpeg's compression
// parameters.

#include "codecs/model/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumara {

class TStream;

enum class JpegColorSpace { Unknown, Gray, RGB, YCbCr, CMYK, YCCK };
enum class JpegPixelFormat { Bits24, Bits8 };
// Decoding scale: the picture comes out at 1 / 2^scale of its size.
enum class JpegScale { FullSize = 0, Half = 1, Quarter = 2, Eighth = 3 };

// Dither choice of the 8-bit decode: 0 ordered, 2 none, anything else
// Floyd-Steinberg; kDefaultDither follows the speed flag (ordered when set).
inline constexpr int kDefaultDither = -1;

// What the markers before the first frame header say, without decoding.
struct JpegProbeInfo {
    bool HasFrame = false; // a frame header (SOFn) was found
    int Width = 0;
    int Height = 0; // 0 when the file defines it later (DNL)
    int Components = 0;
    int Precision = 0;
    bool Progressive = false;
    bool Arithmetic = false;
};

// nullopt when the data does not start with the start-of-image marker.
std::optional<JpegProbeInfo> ProbeJpeg(const void* data, size_t size);
// As above on a file, reading only the markers up to the frame header.
// Raises EFOpenError when the file cannot be opened.
std::optional<JpegProbeInfo> ProbeJpegFile(const std::string& path);

class TJPEGImage {
  public:
    TJPEGImage();
    ~TJPEGImage();
    TJPEGImage(const TJPEGImage&) = delete;
    TJPEGImage& operator=(const TJPEGImage&) = delete;

    // ---- Loading: the whole file is kept; its header is read at once.
    // Raise EJpegError (libjpeg's message) when the header cannot be read,
    // EFOpenError when the file cannot be opened; the object is then empty.
    void LoadFromFile(const std::string& path);
    // Reads from the stream's position to its end.
    void LoadFromStream(TStream& stream);
    void LoadFromMemory(const void* data, size_t size);
    void Clear();

    bool Empty() const { return data_.empty(); }
    // The compressed data held (loaded or made by CompressJpeg).
    const std::vector<uint8_t>& Data() const { return data_; }

    // ---- Header of the data held.
    int Width() const { return header_.width; }
    int Height() const { return header_.height; }
    int Components() const { return header_.components; }
    JpegColorSpace ColorSpace() const { return header_.colorSpace; }
    bool IsProgressive() const { return header_.progressive; }
    bool IsGray() const { return header_.colorSpace == JpegColorSpace::Gray; }
    // True for CMYK data stored inverted, as an Adobe APP14 marker says.
    bool IsAdobeInverted() const { return header_.adobe; }
    // 8 for gray pictures, 24 otherwise.
    int BitsPerPixel() const { return header_.width ? (IsGray() ? 8 : 24) : 0; }
    // Size of the decoded picture at a scale (libjpeg rounds up).
    int ScaledWidth(JpegScale scale) const;
    int ScaledHeight(JpegScale scale) const;

    // ---- Decoding options.
    bool Grayscale = false; // gray output; for encoding: one gray channel
    JpegPixelFormat PixelFormat = JpegPixelFormat::Bits24;
    JpegScale Scale = JpegScale::FullSize;
    // Speed over quality: fast integer DCT, one-pass quantization, ordered dither.
    bool Speed = false;
    // With the 8-bit pixel format: this palette (at most 256 entries) is the
    // colour map instead of the quantizer's own.
    Palette ColorMap;

    // Multi-scan (progressive) files are shown scan by scan: every scan read
    // is decoded into the whole bitmap and OnPass is called.
    bool ProgressiveDisplay = false;

    // Called after each batch of decoded rows with rows done x 100 / rows
    // (in every pass of a progressive display).
    std::function<void(int percent)> OnProgress;
    // Called after each complete pass of a progressive display, with the
    // bitmap holding the picture as far as it has been read.
    std::function<void(const Bitmap& picture)> OnPass;
    // Polled between batches, and while a progressive file is read before
    // its rows come out; true stops the decode silently keeping the rows
    // decoded so far (and makes CompressJpeg drop its output).
    std::function<bool()> AbortRequested;

    // Decodes into target: 24-bit BGR, or 8-bit with a gray palette for gray
    // pictures and the gray flag, or 8-bit with 236 quantized colours for the
    // 8-bit pixel format (CMYK pictures are decoded in full first and then
    // reduced to a median-cut palette, or ColorMap). Raises EJpegError for
    // corrupt data and pictures beyond the limits below, EOutOfMemory when
    // the bitmap cannot be had; rows decoded before an error stay in target.
    // A truncated file decodes what is there (see WarningCount()).
    void DecodeToBitmap(Bitmap& target, int dither = kDefaultDither);
    bool LastDecodeAborted() const { return aborted_; }
    // libjpeg's warnings of the last decode or header read (corrupt or
    // missing data that it worked around), and the first one's text.
    long WarningCount() const { return warningCount_; }
    const std::string& FirstWarning() const { return firstWarning_; }

    // ---- Encoding.
    bool ProgressiveEncoding = false;
    // Encodes image into the object's own compressed data (which replaces
    // what it held): libjpeg defaults, optimized Huffman tables with
    // optimizeCoding, linear quality scaling by scale percent forced to
    // baseline, the floating-point DCT with highAccuracy, no chroma
    // subsampling without subsample, libjpeg's smoothing factor (clamped to
    // its 0..100), gray with Grayscale, simple progression with
    // ProgressiveEncoding. An empty image gives empty data. libjpeg's errors
    // raise EJpegError; OnProgress sees 0 at the start and 100 at the end
    // (0 again after an error).
    void CompressJpeg(const Bitmap& image, bool subsample, bool optimizeCoding, bool highAccuracy,
                      int scale, int smoothing);
    // Writes the compressed data; the file is replaced only when complete.
    void SaveToFile(const std::string& path) const;
    void SaveToStream(TStream& stream) const;

    // ---- Limits against decompression bombs (process-wide).
    // Decoded pictures of more pixels are refused (1 gigapixel by default).
    // Pictures above 64 megapixels (or this limit when lower) must also come
    // with at least one byte of data per 1024 pixels.
    static void SetMaxImagePixels(uint64_t pixels);
    static uint64_t MaxImagePixels();
    // libjpeg's own working memory (2 GiB by default).
    static void SetMaxMemory(uint64_t bytes);
    // Progressive files with more scans are refused (1000 by default).
    static void SetMaxScans(int scans);

  private:
    struct Header {
        int width = 0;
        int height = 0;
        int components = 0;
        JpegColorSpace colorSpace = JpegColorSpace::Unknown;
        bool progressive = false;
        bool adobe = false;
        int densityUnit = 0;
        int xDensity = 0;
        int yDensity = 0;
    };
    void readHeader();
    void decode(Bitmap& target, int dither, bool force24);

    std::vector<uint8_t> data_;
    Header header_;
    bool aborted_ = false;
    long warningCount_ = 0;
    std::string firstWarning_;
};

// Copies the JPEG in source (from its start) to dest with a comment segment
// holding text inserted right after the segment that follows the
// start-of-image marker. Raises EJpegError when source does not start that
// way or the text does not fit a segment.
void InsertJpegComment(TStream& source, TStream& dest, const std::string& text);

} // namespace lumara
