// The pixel converter over every configuration the setters accept, with
// buffers sized exactly as the converter's strides say, so any step past
// them is caught.
#include "codecs/model/Exceptions.h"
#include "codecs/model/TPixelConverter.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace lumara;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 11) return 0;
    TPixelConverter c;
    try {
        c.SetSourceScheme(TColorScheme(data[0] % 11));
        c.SetTargetScheme(TColorScheme(data[1] % 11));
        c.SetSourceBitsPerSample(1 + data[2] % 16);
        c.SetTargetBitsPerSample(1 + data[3] % 16);
        c.SetSourceSamplesPerPixel(1 + data[4] % 4);
        c.SetTargetSamplesPerPixel(1 + data[5] % 4);
        c.SetSourceOptions(data[6]);
        c.SetTargetOptions(data[7]);
    } catch (const EColorConversionError&) {
        return 0;
    }
    const uint8_t mask = data[8];
    const int planes = 1 + data[9] % 4;
    const int count = data[10] % 70;
    const uint8_t* rest = data + 11;
    size_t left = size - 11;

    auto take = [&](size_t bytes) {
        std::vector<uint8_t> v(bytes ? bytes : 1);
        const size_t n = std::min(bytes, left);
        if (n) std::memcpy(v.data(), rest, n);
        rest += n;
        left -= n;
        v.resize(bytes); // exactly the size needed, so overruns are caught
        v.shrink_to_fit();
        return v;
    };
    std::vector<std::vector<uint8_t>> sources;
    std::vector<const void*> pointers;
    if (planes == 1) {
        sources.push_back(take((size_t(count) * size_t(c.SourceStride()) * size_t(c.SourceBitsPerSample()) + 7) / 8));
    } else {
        for (int i = 0; i < planes; ++i)
            sources.push_back(take((size_t(count) * size_t(c.SourceBitsPerSample()) + 7) / 8));
    }
    for (auto& s : sources) pointers.push_back(s.data());
    std::vector<uint8_t> target((size_t(count) * size_t(c.TargetStride()) * size_t(c.TargetBitsPerSample()) + 7) / 8);
    try {
        c.ConvertRow(pointers.data(), planes, count, mask, target.data());
        (void)c.CreateGrayPalette(mask & 1);
    } catch (const EColorConversionError&) {
    }
    if (left >= 6) (void)c.CreatePlanePalette(rest, int(left / (c.SourceBitsPerSample() > 8 ? 6 : 3)));
    return 0;
}
