#include "GbmBridge.h"

#include "CodecStreams.h"
#include "Gbm.h"

#include "codecs/model/Exceptions.h"

#include <new>
#include <vector>

namespace lumara {

namespace {

using gbm::Gbm;
using gbm::GbmFormat;
using gbm::GbmPalette;
using gbm::GbmSource;
using gbm::StreamBytes;

const GbmFormat& guess(const std::string& name) {
    const GbmFormat* format = gbm::GbmGuessFiletype(name);
    if (!format) throw EGbmError("gbm_guess_filetype failed.");
    return *format;
}

void readHeader(const GbmFormat& format, GbmSource& source, Gbm& record,
                const std::string& options) {
    record = Gbm{};
    try {
        format.readHeader(source, record, options);
    } catch (const std::exception&) {
        throw EGbmError("gbm_read_header failed.");
    }
}

} // namespace

GbmHeaderInfo GbmReadHeader(TStream& stream, TDibGraphic&, const std::string& name,
                            const std::string& options) {
    const GbmFormat& format = guess(name);
    StreamBytes bytes(stream);
    GbmSource source = bytes.Source();
    Gbm record;
    readHeader(format, source, record, options);
    return GbmHeaderInfo{record.w, record.h, record.bpp};
}

void GbmRead(TStream& stream, TDibGraphic& image, const std::string& name,
             const std::string& options) {
    const GbmFormat& format = guess(name);
    StreamBytes bytes(stream);
    GbmSource source = bytes.Source();
    Gbm record;
    readHeader(format, source, record, options);

    TImageFormat imageFormat;
    switch (record.bpp) {
    case 1:
        imageFormat = ifBlackWhite;
        break;
    case 4:
        imageFormat = ifColor16;
        break;
    case 8:
        imageFormat = ifColor256;
        break;
    case 24:
        imageFormat = ifTrueColor;
        break;
    default:
        throw EGbmError("Invalid image format");
    }

    TPaletteRecord palette;
    const bool hasPalette = imageFormat != ifTrueColor;
    if (hasPalette) {
        GbmPalette rgb{};
        try {
            format.readPalette(source, record, rgb);
        } catch (const std::exception&) {
            throw EGbmError("gbm_read_header failed.");
        }
        palette.version = 0x300;
        palette.count = uint16_t(1 << record.bpp);
        for (size_t i = 0; i < palette.count; ++i)
            palette.entries[i] =
                (uint32_t(rgb[i].r) << 16) | (uint32_t(rgb[i].g) << 8) | uint32_t(rgb[i].b);
    }

    image.NewImage(record.w, record.h, imageFormat, hasPalette ? &palette : nullptr, 0, 0);
    try {
        if (size_t(image.RowBytes()) != gbm::GbmStride(record.w, record.bpp))
            throw gbm::GbmFailure("row size mismatch");
        format.readData(source, record, image.Bits(), size_t(image.RowBytes()));
    } catch (const std::exception&) {
        image.FreeImage();
        throw EGbmError("gbm_read_data failed.");
    }
    bytes.Finish(source.Position());
}

void GbmWrite(TStream& stream, const TDibGraphic& image, const std::string& name) {
    const GbmFormat& format = guess(name);
    Gbm record;
    record.w = image.GetWidth();
    record.h = image.GetHeight();
    switch (image.ImageFormat()) {
    case ifBlackWhite:
        record.bpp = 1;
        break;
    case ifGray16:
    case ifColor16:
        record.bpp = 4;
        break;
    case ifGray256:
    case ifColor256:
        record.bpp = 8;
        break;
    case ifTrueColor:
        record.bpp = 24;
        break;
    default:
        throw EGbmError("Invalid image format");
    }

    GbmPalette rgb{};
    if (image.ImageFormat() != ifTrueColor) {
        const TPaletteRecord& palette = image.PaletteRecord();
        for (size_t i = 0; i < palette.count && i < rgb.size(); ++i) {
            const uint32_t e = palette.entries[i];
            rgb[i] = gbm::GbmRgb{uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e)};
        }
    }
    try {
        if (image.GetEmpty()) throw gbm::GbmFailure("empty image");
        format.write(stream, record, rgb, image.Bits(), size_t(image.RowBytes()), "");
    } catch (const std::exception&) {
        throw EGbmError("gbm_write failed.");
    }
}

} // namespace lumara
