// Arbitrary bytes through the PNG reader, and what it read back through the
// writer. Only the codec's own exceptions may come out.
#include "codecs/model/Exceptions.h"
#include "codecs/png/TPngGraphic.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumara;
    // Keep single inputs within the fuzzer's memory budget.
    static const bool limited = [] {
        TPngGraphic::SetMaxImagePixels(uint64_t(16) << 20);
        TPngGraphic::SetIgnoreCrcForTesting(true);
        return true;
    }();
    (void)limited;

    TPngGraphic png;
    png.BackgroundColor = size ? uint32_t(data[size - 1]) * 0x010203u : 0;
    png.UseBackground = size > 1 && (data[size - 2] & 1);
    TMemoryStream in(data, size);
    try {
        png.LoadFromStream(in);
    } catch (const lumara::Exception&) {
        return 0;
    }
    try {
        png.Interlaced = (size & 1) != 0;
        TMemoryStream out;
        png.SaveToStream(out);
        TPngGraphic back;
        out.SetPosition(0);
        back.LoadFromStream(out);
    } catch (const lumara::Exception&) {
    }
    return 0;
}
