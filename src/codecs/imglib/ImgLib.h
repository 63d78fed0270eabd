#pragma once
// The imaging library layer: images behind 32-bit handles (0 = none), with the
// calls the program uses to decode, scale, reduce and draw. Transforming calls
// return a new handle; the caller closes the old one. Safe to call from
// several threads (the CLI runs workers in parallel).

#include "codecs/model/Bitmap.h"
#include "codecs/model/DibTypes.h"
#include "codecs/model/Geometry.h"

#include <cstdint>
#include <string>

namespace lumara {

using HIMG = uint32_t;

// ImgCopy modes.
enum ImgCopyMode : int {
    kCopyPlainEnlarge = 0, // nearest neighbour
    kCopyKeepBlack = 1,
    kCopyKeepWhite = 2,
    kCopyNormal = 4,
    kCopyPreview = 32,
};

bool ImgInit();
void ImgShutdown();

// From a packed bitmap (header, colour table, rows bottom-up).
HIMG ImgFromDIB(const uint8_t* packed, size_t size);
inline HIMG ImgFromDIB(const PackedDib& packed) { return ImgFromDIB(packed.data(), packed.size()); }
// From a surface bitmap (a copy is taken).
HIMG ImgFromBitmap(const Bitmap& bitmap);

// Width, height, planes 1, bits per pixel (1, 4, 8 or 24) of the current page.
bool ImgGetInfoStruct(HIMG image, BitmapInfoHeader* info);
// The palette of a palette image; false (and nothing written) for 24-bit.
bool ImgGetPalette(HIMG image, Palette* palette);

// Draws the image (or its source rectangle) stretched into dest over the
// destination rectangle, whose Right and Bottom are inclusive, as the library
// has always taken them. dest keeps its depth and palette: colours are mapped
// to the nearest entry when the depths differ.
bool ImgDrawImage(HIMG image, Bitmap& dest, const TRect& destRect, const TRect* sourceRect);

// A scaled copy of width by height of the image or of its source rectangle
// (right and bottom exclusive). Mode 0 enlarges by pixel replication; the other
// modes resample with a separable filter (1 and 2 keep thin black or white
// lines of bilevel images visible when reducing).
HIMG ImgCopy(HIMG image, int width, int height, const TRect* sourceRect, int mode);

void ImgClose(HIMG image);

// The text of the last failure (empty when none), for the error box.
std::string ImgGetStatus();

// Read access to a handle's pixels for the program's own code (nullptr when the
// handle is not open). Valid until the handle is closed.
const Bitmap* ImgPixels(HIMG image);

// Threads that scaling and drawing may split their rows over: 0 (the default)
// chooses by the size of the job, 1 keeps every call on the calling thread.
// Results are the same whatever the count.
void ImgSetThreadCount(int count);

// ---- Files

// Opens an image file by its content: TIFF (every page), GIF (every frame as
// shown by a viewer), WebP (still or animated), DCX (pages of PCX), BMP, PCX,
// PNG, and TGA when the path ends in ".tga". Multi-page files open on page 0;
// other pages are decoded when selected. flags: none so far (pass 0).
// 0 on failure, with the status "Cannot open file", "Unsupported file format",
// "Corrupt image data: ...", "Image too large" or "Out of memory".
HIMG ImgOpenSolo(const std::string& path, int flags);
// The same from memory (the bytes are copied); type ("TIF", "TGA", ...) only
// matters for formats without a signature.
HIMG ImgOpenMem(const uint8_t* data, size_t size, const char* type);

// Pages of an image, zero-based. ImgSetPage decodes the page when needed and
// fails (keeping the current page) for a page out of range or one that cannot
// be decoded. Selecting a page may release pixels of other pages that
// ImgPixels handed out, when the decoded pages together grow past 1 GiB.
bool ImgPageCount(HIMG image, int* count);
bool ImgSetPage(HIMG image, int page);
bool ImgGetPage(HIMG image, int* page);

// Decoders refuse pictures of more pixels than this before taking memory
// (1 gigapixel by default; the fuzzer lowers it).
void ImgSetMaxImagePixels(uint64_t pixels);

// ImgReduceColors flags; other bits are ignored, so 0 (or the loader's 68)
// asks for a palette chosen for the image with Floyd-Steinberg dithering.
enum ImgReduceFlags : int {
    kReduceNoDither = 1,     // nearest colour, no error diffusion
    kReduceFixedPalette = 2, // the default palette of the depth instead of a chosen one
};

// A new palette image of at most colors colours (2 to 256): 1-bit for 2,
// 4-bit for up to 16, 8-bit above. Palette images that already have few
// enough colours keep them exactly.
HIMG ImgReduceColors(HIMG image, int colors, int flags);

} // namespace lumara
