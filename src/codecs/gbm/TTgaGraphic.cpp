#include "TTgaGraphic.h"

#include "CodecStreams.h"
#include "GbmBridge.h"

#include "codecs/model/Exceptions.h"

namespace lumara {

namespace {

const char* const kName = "File.tga";

} // namespace

void TTgaGraphic::ReadImage(TStream& stream, int) {
    gbm::PreparedStream prepared(stream);
    TStream& source = prepared.Get();
    source.SetPosition(0);
    try {
        GbmRead(source, *this, kName, "");
    } catch (...) {
        FreeImage(); // a failed load never leaves the previous picture behind
        throw;
    }
}

void TTgaGraphic::SaveToStream(TStream& stream) {
    const TImageFormat format = ImageFormat();
    if (!GetEmpty() && format != ifGray256 && format != ifColor256 && format != ifTrueColor)
        throw ETgaError("TGA image must have 256 colors or true color");
    GbmWrite(stream, *this, kName);
}

void TTgaGraphic::ReadFileHeader(const std::string& fileName) {
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
