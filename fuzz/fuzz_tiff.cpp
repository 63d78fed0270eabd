// Arbitrary bytes through the TIFF probe, page count and page reader, and
// what was read back through the writer. Only the codec's own exceptions may
// come out.
#include "codecs/model/Exceptions.h"
#include "codecs/tiff/TTiffGraphic.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumara;
    // Keep single inputs within the fuzzer's memory budget.
    static const bool limited = [] {
        TTiffGraphic::SetMaxImagePixels(uint64_t(16) << 20);
        return true;
    }();
    (void)limited;

    TTiffGraphic tiff;
    try {
        tiff.ReadHeader(data, size, -1);
    } catch (const lumara::Exception&) {
    }
    int pages = 1;
    try {
        TMemoryStream in(data, size);
        pages = tiff.GetImageCount(in);
    } catch (const lumara::Exception&) {
    }
    const int page = pages > 1 && size > 0 ? 1 + data[0] % (pages < 4 ? pages : 4) : 1;
    try {
        TMemoryStream in(data, size);
        tiff.ReadImage(in, page);
    } catch (const lumara::Exception&) {
        return 0;
    }
    try {
        TMemoryStream out;
        tiff.SaveToStream(out);
        TTiffGraphic back;
        out.SetPosition(0);
        back.ReadImage(out, 1);
        tiff.AppendToStream(out);
    } catch (const lumara::Exception&) {
    }
    return 0;
}
