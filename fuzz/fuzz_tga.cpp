// Feeds one buffer to the TGA reader the way the program opens a file: the
// header probe, then the load. A picture that loads must save and load again
// to the same colours.
#include "codecs/gbm/GbmBridge.h"
#include "codecs/gbm/TTgaGraphic.h"
#include "codecs/model/Exceptions.h"

#include <cstdlib>

namespace {

bool sameColors(const lumara::TDibGraphic& a, const lumara::TDibGraphic& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumara;
    TMemoryStream stream(data, size);
    TTgaGraphic image;
    try {
        GbmReadHeader(stream, image, "File.tga", "");
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
    TTgaGraphic back;
    back.LoadFromStream(saved);
    if (!sameColors(image, back)) std::abort();
    return 0;
}
