#pragma once
// What the file decoders of the imaging library share: the page source an
// opened file keeps for decoding its pages on demand, the failure they raise,
// and the size limits every decoder checks before it takes memory.

#include "codecs/model/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumara::imgdecode {

// A decoding failure; its text is the status the caller sees.
class DecodeError : public std::runtime_error {
  public:
    explicit DecodeError(const std::string& text) : std::runtime_error(text) {}
};

// "Corrupt image data: <detail>".
[[noreturn]] void Corrupt(const std::string& detail);
// "Unsupported file format[: <detail>]".
[[noreturn]] void Unsupported(const std::string& detail = std::string());

// Refuses sizes that are not positive, above the pixel limit, or whose rows
// at depth would need more than the byte limit, before anything is allocated.
void CheckImageSize(int64_t width, int64_t height, int depth);
uint64_t MaxImagePixels();
// The most bytes of pixels a decoder takes for one picture (4 GiB, or less
// when the pixel limit has been lowered).
uint64_t MaxImageBytes();

// Files hold at most this many pages; further pages are not offered.
constexpr int kMaxPages = 65536;

using Bytes = std::shared_ptr<const std::vector<uint8_t>>;

// The pages of an opened file. DecodePage is called for one page at a time,
// never concurrently on one source (the entry's lock is held exclusively).
class PageSource {
  public:
    virtual ~PageSource() = default;
    virtual int PageCount() const = 0;
    // The picture of page (0-based, < PageCount()); raises DecodeError.
    virtual Bitmap DecodePage(int page) = 0;
};

// Each opener checks the file's structure and counts its pages; pages are
// decoded later by DecodePage. All raise DecodeError.
std::unique_ptr<PageSource> OpenTiff(Bytes data);
std::unique_ptr<PageSource> OpenGif(Bytes data);
std::unique_ptr<PageSource> OpenWebp(Bytes data);
std::unique_ptr<PageSource> OpenDcx(Bytes data);

// Single pictures through the program's own codecs.
enum class OwnCodec { Bmp, Pcx, Tga, Png };
std::unique_ptr<PageSource> OpenOwnCodec(Bytes data, OwnCodec codec);

// Decodes one PCX picture held in [data, data + size) into a surface bitmap.
Bitmap DecodePcx(const uint8_t* data, size_t size);

} // namespace lumara::imgdecode
