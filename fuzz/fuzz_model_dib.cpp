// Packed bitmaps from outside (clipboard, scanner, other programs) become
// images of the codec model; whatever it accepts must copy, pack, invert and
// hand over to a surface bitmap without fault.
#include "codecs/model/Exceptions.h"
#include "codecs/model/TDibGraphic.h"

#include <cstddef>
#include <cstdint>

using namespace lumara;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TDibGraphic image;
    try {
        image.AssignFromPackedDib(data, size);
    } catch (const Exception&) {
        return 0;
    }
    const int w = image.GetWidth(), h = image.GetHeight();
    uint32_t sum = image.GetPixel(0, 0) + image.GetPixel(w - 1, h - 1);
    image.SetPixel(w / 2, h / 2, sum);

    const PackedDib packed = image.CreatePackedDib();
    TDibGraphic again;
    again.AssignFromPackedDib(packed.data(), packed.size()); // must accept its own output
    if (again.GetWidth() != w || again.GetHeight() != h) __builtin_trap();

    TNegativeTransform negative;
    negative.Apply(again);
    Bitmap surface;
    again.AssignTo(surface);
    TDibGraphic back;
    back.Assign(surface);
    return int(sum & 0);
}
