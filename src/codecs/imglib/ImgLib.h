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

} // namespace lumara
