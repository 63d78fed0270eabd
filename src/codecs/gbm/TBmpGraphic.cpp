#include "TBmpGraphic.h"

#include "BmpFallbackReader.h"
#include "BmpFormat.h"
#include "CodecStreams.h"
#include "GbmBridge.h"

#include "codecs/model/Exceptions.h"

#include <algorithm>

namespace lumara {

namespace {

const char* const kName = "File.bmp";
const char* const kOptions = "inv";

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Dots per inch of a stored resolution; nothing sensible becomes 0.
int dpiOf(int32_t pelsPerMeter) {
    if (pelsPerMeter <= 0) return 0;
    const int dpi = PelsPerMeterToDpi(pelsPerMeter);
    return dpi > 65535 ? 0 : dpi;
}

} // namespace

void TBmpGraphic::ReadImage(TStream& stream, int) {
    gbm::PreparedStream prepared(stream);
    TStream& source = prepared.Get();

    // The resolution fields exist only in info headers of 32 bytes or more;
    // the 12-byte OS/2 header has colours or pixels at those offsets.
    uint8_t head[46];
    gbm::PeekBytes(source, 0, head, sizeof head);
    int32_t xPels = 0, yPels = 0;
    if (get32(head + 14) >= 32) {
        xPels = int32_t(get32(head + 38));
        yPels = int32_t(get32(head + 42));
    }

    try {
        GbmRead(source, *this, kName, kOptions);
    } catch (const std::exception&) {
        source.SetPosition(0);
        gbm::StreamBytes bytes(source);
        ReadBmpFallback(bytes.Data(), bytes.Size(), *this);
    }
    SetXDotsPerInch(dpiOf(xPels));
    SetYDotsPerInch(dpiOf(yPels));
}

void TBmpGraphic::SaveToStream(TStream& stream) {
    if (GetEmpty()) throw EInvalidGraphic("Cannot save an empty image");
    const bool hasPalette = ImageFormat() != ifTrueColor;
    const int colors = hasPalette ? std::min<int>(PaletteRecord().count, 256) : 0;
    const size_t imageSize = size_t(RowBytes()) * size_t(GetHeight());

    BitmapInfoHeader info = InfoHeader();
    info.biSize = BitmapInfoHeader::kSize;
    info.biPlanes = 1;
    info.biBitCount = uint16_t(BitsPerPixelOf(ImageFormat()));
    info.biCompression = 0;
    info.biSizeImage = uint32_t(imageSize);
    info.biClrUsed = uint32_t(colors);
    info.biClrImportant = 0;
    uint8_t header[40];
    info.WriteTo(header);
    try {
        gbm::WriteBmpFile(stream, header, PaletteRecord().entries.data(), colors, Bits(),
                          imageSize);
    } catch (const gbm::GbmFailure& failure) {
        throw EInvalidGraphic(std::string("Cannot save the bitmap: ") + failure.what());
    }
}

void TBmpGraphic::ReadFileHeader(const std::string& fileName) {
    gbm::ReleaseMemoryStreamOnExit release{memoryStream_};
    gbm::ReleaseMemoryStream(memoryStream_);
    memoryStream_.LoadFromFile(fileName);
    memoryStream_.SetPosition(0);
    const GbmHeaderInfo info = GbmReadHeader(memoryStream_, *this, kName, kOptions);
    HeaderWidth = info.Width;
    HeaderHeight = info.Height;
    HeaderBitsPerPixel = info.BitsPerPixel;
}

} // namespace lumara
