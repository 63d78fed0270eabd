#include "TrueColour.h"

#include "codecs/model/Exceptions.h"

#include <string>

namespace lumara {

void RequireTrueColour(const Bitmap& bitmap, const char* caller) {
    if (bitmap.Empty()) return;
    if (bitmap.Depth() != 24)
        throw EInvalidGraphic(std::string(caller) + ": the image has " +
                              std::to_string(bitmap.Depth()) +
                              " bits per pixel; this operation needs 24");
}

} // namespace lumara
