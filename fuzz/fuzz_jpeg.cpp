// Arbitrary bytes through the JPEG probe and decoder with the decoding
// options taken from the input's last byte, and small results back through
// the encoder. Only the codec's own exceptions may come out.
#include "codecs/jpeg/TJPEGImage.h"
#include "codecs/model/Exceptions.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumara;
    // Keep single inputs within the fuzzer's time and memory budget.
    static const bool limited = [] {
        TJPEGImage::SetMaxImagePixels(uint64_t(1) << 20);
        TJPEGImage::SetMaxMemory(uint64_t(256) << 20);
        TJPEGImage::SetMaxScans(200);
        return true;
    }();
    (void)limited;

    (void)ProbeJpeg(data, size);

    const uint8_t opts = size ? data[size - 1] : 0;
    TJPEGImage jpg;
    jpg.Scale = JpegScale(opts & 3);
    jpg.Grayscale = (opts & 4) != 0;
    jpg.PixelFormat = (opts & 8) ? JpegPixelFormat::Bits8 : JpegPixelFormat::Bits24;
    jpg.Speed = (opts & 16) != 0;
    if (opts & 32) {
        for (int i = 0; i < 40; ++i)
            jpg.ColorMap.push_back(uint32_t(i) * 0x060504u);
    }
    const uint8_t more = size > 1 ? data[size - 2] : 0;
    jpg.ProgressiveDisplay = (more & 1) != 0;
    int polls = 0;
    if (more & 2) jpg.AbortRequested = [&] { return ++polls > (more >> 2); };
    int passes = 0;
    jpg.OnPass = [&](const Bitmap&) { ++passes; };
    const int dither = (opts >> 6) & 3;
    Bitmap out;
    try {
        jpg.LoadFromMemory(data, size);
        jpg.DecodeToBitmap(out, dither == 3 ? kDefaultDither : dither);
    } catch (const lumara::Exception&) {
    }
    if (!out.Empty() && uint64_t(out.Width()) * out.Height() <= 64 * 64) {
        try {
            TJPEGImage back;
            back.Grayscale = (opts & 1) != 0;
            back.ProgressiveEncoding = (opts & 2) != 0;
            back.CompressJpeg(out, (opts & 4) != 0, true, (opts & 8) != 0, 1 + opts, opts & 127);
            Bitmap again;
            back.DecodeToBitmap(again);
        } catch (const lumara::Exception&) {
        }
    }
    return 0;
}
