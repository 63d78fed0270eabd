#include "BmpFallbackReader.h"

#include "BmpFormat.h"

#include "codecs/model/Exceptions.h"

#include <cstring>
#include <vector>

namespace lumara {

namespace {

using gbm::Gbm;
using gbm::GbmFailure;
using gbm::GbmSource;

TPaletteRecord paletteOf(const GbmSource& source, const Gbm& record) {
    uint32_t entries[256];
    gbm::ReadBmpColorTable(source, record, entries);
    TPaletteRecord palette;
    palette.version = 0x300;
    palette.count = uint16_t(record.bmp.paletteCount);
    std::memcpy(palette.entries.data(), entries, sizeof entries);
    return palette;
}

void decode(const GbmSource& source, TDibGraphic& image) {
    Gbm record;
    gbm::ParseBmpHeader(source, record);
    switch (record.bpp) {
    case 1:
    case 4:
    case 8: {
        const TPaletteRecord palette = paletteOf(source, record);
        image.NewImage(record.w, record.h, FormatForBitCount(record.bpp), &palette, 0, 0);
        gbm::DecodeBmpPixels(source, record, image.Bits(), size_t(image.RowBytes()));
        break;
    }
    case 2: {
        // Each 2-bit index is kept as a 4-bit index over the file's colours.
        const size_t stride2 = gbm::GbmStride(record.w, 2);
        std::vector<uint8_t> rows(stride2 * size_t(record.h));
        gbm::DecodeBmpPixels(source, record, rows.data(), stride2);
        const TPaletteRecord palette = paletteOf(source, record);
        image.NewImage(record.w, record.h, ifColor16, &palette, 0, 0);
        for (int y = 0; y < record.h; ++y) {
            const uint8_t* src = rows.data() + size_t(y) * stride2;
            uint8_t* dst = image.Bits() + size_t(y) * size_t(image.RowBytes());
            for (int x = 0; x < record.w; ++x) {
                const int v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                dst[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
            }
        }
        break;
    }
    case 24:
        image.NewImage(record.w, record.h, ifTrueColor, nullptr, 0, 0);
        gbm::DecodeBmpPixels(source, record, image.Bits(), size_t(image.RowBytes()));
        break;
    case 16:
    case 32:
        image.NewImage(record.w, record.h, ifTrueColor, nullptr, 0, 0);
        gbm::DecodeBmpMaskedPixels(source, record, image.Bits(), size_t(image.RowBytes()));
        break;
    default:
        throw GbmFailure("unsupported bit count");
    }
}

} // namespace

void ReadBmpFallback(const uint8_t* data, size_t size, TDibGraphic& image) {
    try {
        decode(GbmSource(data, size), image);
    } catch (const GbmFailure& failure) {
        image.FreeImage();
        throw EInvalidGraphic(std::string("Bitmap image is not valid: ") + failure.what());
    } catch (...) {
        image.FreeImage();
        throw;
    }
}

} // namespace lumara
