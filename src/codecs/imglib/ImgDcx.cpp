// DCX files (a table of offsets to PCX pictures, one per page) and the single
// pictures the program's own codecs read (BMP, PCX, TGA, PNG).

#include "ImgDecode.h"

#include "codecs/gbm/TBmpGraphic.h"
#include "codecs/gbm/TPcxGraphic.h"
#include "codecs/gbm/TTgaGraphic.h"
#include "codecs/model/Exceptions.h"
#include "codecs/png/TPngGraphic.h"

#include <new>

namespace lumara::imgdecode {

namespace {

constexpr uint32_t kDcxMagic = 0x3ADE68B1;
constexpr int kDcxMaxPages = 1023;

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint16_t readU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

// Reads a picture with one of the program's codecs into a surface bitmap.
Bitmap decodeWith(TDibGraphic& codec, const uint8_t* data, size_t size) {
    try {
        TMemoryStream stream(data, size);
        codec.ReadImage(stream, 0);
        if (codec.GetEmpty()) Corrupt("no image in the file");
        Bitmap out;
        codec.AssignTo(out);
        return out;
    } catch (const DecodeError&) {
        throw;
    } catch (const EOutOfMemory&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        Corrupt(e.what());
    }
}

class DcxSource : public PageSource {
  public:
    explicit DcxSource(Bytes data) : data_(std::move(data)) {
        const std::vector<uint8_t>& d = *data_;
        if (d.size() < 8 || readU32(d.data()) != kDcxMagic) Corrupt("not a DCX file");
        for (int i = 0; i < kDcxMaxPages; ++i) {
            const size_t at = 4 + size_t(i) * 4;
            if (at + 4 > d.size()) Corrupt("page table truncated");
            const uint32_t offset = readU32(d.data() + at);
            if (offset == 0) break;
            if (offset >= d.size()) Corrupt("page " + std::to_string(i + 1) + " outside the file");
            offsets_.push_back(offset);
        }
        if (offsets_.empty()) Corrupt("no pages");
    }

    int PageCount() const override { return int(offsets_.size()); }

    Bitmap DecodePage(int page) override {
        if (page < 0 || size_t(page) >= offsets_.size()) Corrupt("no such page");
        // A page ends where the next picture in the file begins (the
        // 256-colour palette of a PCX sits at its very end).
        const uint32_t offset = offsets_[size_t(page)];
        size_t end = data_->size();
        for (uint32_t other : offsets_)
            if (other > offset && other < end) end = other;
        return DecodePcx(data_->data() + offset, end - offset);
    }

  private:
    Bytes data_;
    std::vector<uint32_t> offsets_;
};

class SinglePicture : public PageSource {
  public:
    SinglePicture(Bytes data, OwnCodec codec) : data_(std::move(data)), codec_(codec) {}

    int PageCount() const override { return 1; }

    Bitmap DecodePage(int) override {
        const uint8_t* d = data_->data();
        const size_t n = data_->size();
        switch (codec_) {
        case OwnCodec::Bmp: {
            TBmpGraphic bmp;
            return decodeWith(bmp, d, n);
        }
        case OwnCodec::Pcx:
            return DecodePcx(d, n);
        case OwnCodec::Tga: {
            TTgaGraphic tga;
            return decodeWith(tga, d, n);
        }
        case OwnCodec::Png: {
            TPngGraphic png;
            return decodeWith(png, d, n);
        }
        }
        Unsupported();
    }

  private:
    Bytes data_;
    OwnCodec codec_;
};

} // namespace

Bitmap DecodePcx(const uint8_t* data, size_t size) {
    if (size < 128) Corrupt("PCX header truncated");
    if (data[0] != 10) Corrupt("not a PCX picture");
    // The size is checked here before the reader takes memory for it.
    const int width = int(readU16(data + 8)) - int(readU16(data + 4)) + 1;
    const int height = int(readU16(data + 10)) - int(readU16(data + 6)) + 1;
    const int depth = data[3] * data[65];
    CheckImageSize(width, height, depth >= 24 ? 24 : depth > 4 ? 8 : depth > 1 ? 4 : 1);
    TPcxGraphic pcx;
    return decodeWith(pcx, data, size);
}

std::unique_ptr<PageSource> OpenDcx(Bytes data) {
    return std::make_unique<DcxSource>(std::move(data));
}

std::unique_ptr<PageSource> OpenOwnCodec(Bytes data, OwnCodec codec) {
    return std::make_unique<SinglePicture>(std::move(data), codec);
}

} // namespace lumara::imgdecode
