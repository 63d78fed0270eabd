// Files of every kind the imaging library opens (TIFF, GIF, WebP, DCX and the
// single pictures of our own codecs): whatever opens must give every page,
// in any order, and reduce its colours without fault.
#include "codecs/imglib/ImgLib.h"

#include <cstddef>
#include <cstdint>

using namespace lumara;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        ImgInit();
        // Small enough that no input makes the fuzzer run out of memory.
        ImgSetMaxImagePixels(uint64_t(1) << 22);
        return true;
    }();
    (void)ready;
    const char* type = size % 3 == 0 ? "TGA" : "TIF";
    const HIMG image = ImgOpenMem(data, size, type);
    if (image == 0) return 0;

    int count = 0;
    ImgPageCount(image, &count);
    BitmapInfoHeader info;
    // Forwards over the first pages, then back to the first (which makes
    // animations start over).
    const int walk = count < 8 ? count : 8;
    for (int page = 0; page < walk; ++page)
        if (ImgSetPage(image, page)) ImgGetInfoStruct(image, &info);
    if (count > 1 && ImgSetPage(image, count - 1)) ImgGetInfoStruct(image, &info);
    ImgSetPage(image, 0);
    int current = -1;
    ImgGetPage(image, &current);

    if (ImgGetInfoStruct(image, &info) && int64_t(info.biWidth) * info.biHeight <= 65536) {
        const int colors = 2 + int(size % 255);
        const HIMG reduced = ImgReduceColors(image, colors, int(size % 4));
        ImgClose(reduced);
    }
    ImgClose(image);
    return 0;
}
