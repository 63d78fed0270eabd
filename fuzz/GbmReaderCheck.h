#pragma once
// Feeds one buffer to a reader of the bitmap layer the way the program opens
// a file: the header probe, then the load. A picture that loads must save and
// load again to the same colours.
#include "codecs/gbm/GbmBridge.h"
#include "codecs/model/Exceptions.h"

#include <cstdlib>

namespace lumara {

inline bool SameColors(const TDibGraphic& a, const TDibGraphic& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
    return true;
}

template <class Graphic>
int CheckGbmReader(const uint8_t* data, size_t size, const char* name, const char* options) {
    TMemoryStream stream(data, size);
    Graphic image;
    try {
        GbmReadHeader(stream, image, name, options);
    } catch (const Exception&) {
    }
    stream.SetPosition(0);
    try {
        image.LoadFromStream(stream);
    } catch (const Exception&) {
        if (!image.GetEmpty()) std::abort(); // a failed load leaves no picture
        return 0;
    }
    if (image.GetEmpty()) std::abort();
    if (int64_t(image.GetWidth()) * image.GetHeight() > (1 << 18)) return 0;
    TMemoryStream saved;
    image.SaveToStream(saved);
    saved.SetPosition(0);
    Graphic back;
    back.LoadFromStream(saved);
    if (!SameColors(image, back)) std::abort();
    return 0;
}

} // namespace lumara
