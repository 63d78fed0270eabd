#include "TPcxGraphic.h"

#include "CodecStreams.h"
#include "GbmBridge.h"

#include <algorithm>

namespace lumara {

namespace {

const char* const kName = "File.pcx";

uint16_t clampDpi(int dpi) {
    return uint16_t(std::clamp(dpi, 0, 65535));
}

} // namespace

void TPcxGraphic::ReadImage(TStream& stream, int) {
    gbm::PreparedStream prepared(stream);
    TStream& source = prepared.Get();
    uint8_t head[16];
    gbm::PeekBytes(source, 0, head, sizeof head);
    const int xDpi = head[12] | (head[13] << 8);
    const int yDpi = head[14] | (head[15] << 8);
    try {
        GbmRead(source, *this, kName, "");
    } catch (...) {
        FreeImage(); // a failed load never leaves the previous picture behind
        throw;
    }
    SetXDotsPerInch(xDpi);
    SetYDotsPerInch(yDpi);
}

void TPcxGraphic::SaveToStream(TStream& stream) {
    const int64_t start = stream.Position();
    GbmWrite(stream, *this, kName);
    stream.SetPosition(start + 12);
    stream.WriteU16LE(clampDpi(XDotsPerInch()));
    stream.WriteU16LE(clampDpi(YDotsPerInch()));
}

void TPcxGraphic::ReadFileHeader(const std::string& fileName) {
    gbm::ReleaseMemoryStreamOnExit release{memoryStream_};
    gbm::ReleaseMemoryStream(memoryStream_);
    memoryStream_.LoadFromFile(fileName);
    memoryStream_.SetPosition(0);
    const GbmHeaderInfo info = GbmReadHeader(memoryStream_, *this, kName, "");
    HeaderWidth = info.Width;
    HeaderHeight = info.Height;
    HeaderBitsPerPixel = info.BitsPerPixel;
}

} // namespace lumara
