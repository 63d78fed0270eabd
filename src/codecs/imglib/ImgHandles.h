#pragma once
// The handle table behind the imaging library calls. Other parts of the
// library (decoders, rotation, colour reduction) register their images here
// and look handles up the same way, so every call shares one table, one
// status text and one locking rule.

#include "codecs/model/Bitmap.h"
#include "codecs/model/Geometry.h"

#include "ImgLib.h"

#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

namespace lumara {

// One open image. Multi-page files keep every page decoded so far in pages;
// currentPage selects the one the calls act on.
struct ImgEntry {
    std::vector<Bitmap> pages;
    int currentPage = 0;
    // Calls that read pixels hold it shared; calls that change the image in
    // place (mirror, gamma, page selection) hold it exclusively.
    mutable std::shared_mutex lock;

    Bitmap& Current() { return pages[size_t(currentPage)]; }
    const Bitmap& Current() const { return pages[size_t(currentPage)]; }
};

// Adds an image with one page; returns its new handle (never 0).
HIMG RegisterImage(Bitmap&& bitmap);
HIMG RegisterImage(std::shared_ptr<ImgEntry> entry);

// The entry of an open handle, or null with the status "Invalid image handle".
// The entry stays alive while the caller holds it, even when another thread
// closes the handle meanwhile.
std::shared_ptr<ImgEntry> LookupImage(HIMG image);

// Records the text of a failure for ImgGetStatus (per calling thread).
void SetImgStatus(const std::string& text);

// The part of the bitmap a source rectangle (right and bottom exclusive;
// null for the whole image) covers; false with the status "Invalid
// rectangle" when nothing of it lies inside.
bool ClipSourceRect(const Bitmap& bitmap, const TRect* requested, TRect& clipped);

// Number of open handles (for tests of the table).
size_t OpenImageCount();

} // namespace lumara
