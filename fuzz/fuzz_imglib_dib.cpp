// Packed bitmaps from anywhere (clipboard, scanner, other programs) go through
// ImgFromDIB; whatever it accepts must then scale and draw without fault.
#include "codecs/imglib/ImgLib.h"

#include <cstddef>
#include <cstdint>

using namespace lumara;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = ImgInit();
    (void)ready;
    const HIMG image = ImgFromDIB(data, size);
    if (image == 0) return 0;

    // The last byte steers the choices, so the fuzzer can reach them all.
    const unsigned sel = size ? data[size - 1] : 0;
    BitmapInfoHeader info;
    ImgGetInfoStruct(image, &info);
    Palette palette;
    ImgGetPalette(image, &palette);

    constexpr int kModes[] = {kCopyPlainEnlarge, kCopyKeepBlack, kCopyKeepWhite, kCopyNormal,
                              kCopyPreview};
    const int width = 1 + int(sel % 23);
    const int height = 1 + int((sel / 23) % 17);
    const TRect part{int(sel % 3) - 1, int(sel % 5) - 2, int(sel % 7) + 1, int(sel % 11) + 1};
    const HIMG copy = ImgCopy(image, width, height, (sel & 8) ? &part : nullptr, kModes[sel % 5]);

    constexpr int kDepths[] = {1, 4, 8, 24};
    Bitmap dest(13, 9, kDepths[(sel >> 2) % 4]);
    ImgDrawImage(image, dest, {-int(sel % 4), -1, 11, 10}, (sel & 16) ? &part : nullptr);
    if (copy) ImgDrawImage(copy, dest, {2, 2, 2 + int(sel % 19), 7}, nullptr);

    ImgClose(copy);
    ImgClose(image);
    return 0;
}
