#include "Document.h"

#include "codecs/model/Exceptions.h"

#include <filesystem>

namespace lumara {

Document::Document() = default;

Document::~Document() { CloseLibraryImage(); }

void Document::ReleaseImage() { surface.Release(); }

void Document::NewImage(int width, int height, int depth)
{
    surface.handleType = HandleType::DIB;
    surface.Create(width, height, depth);
}

bool Document::TransferFromLibrary(bool rereadInfo, bool keepHandle)
{
    DocumentState& s = state;
    if (rereadInfo) {
        BitmapInfoHeader info;
        if (!ImgGetInfoStruct(s.ImgHandle, &info)) return false;
        s.ImageWidth = info.biWidth;
        s.ImageHeight = info.biHeight < 0 ? -info.biHeight : info.biHeight;
        s.ImageBitsPerPixel = int16_t(info.biBitCount);
        s.ColorPlanes = int16_t(info.biPlanes);
    }
    int depth = s.ImageBitsPerPixel;
    if (depth != 1 && depth != 4 && depth != 8) {
        depth = 24;
        s.ImageBitsPerPixel = 24;
    }
    Bitmap image;
    image.Create(s.ImageWidth, s.ImageHeight, depth);
    if (depth < 15) {
        Palette palette;
        if (ImgGetPalette(s.ImgHandle, &palette) && !palette.empty()) image.palette = palette;
    }
    const TRect dest{0, 0, s.ImageWidth - 1, s.ImageHeight - 1};
    if (!ImgDrawImage(s.ImgHandle, image, dest, nullptr)) return false;
    if (const Bitmap* pixels = ImgPixels(s.ImgHandle)) {
        image.xPelsPerMeter = pixels->xPelsPerMeter;
        image.yPelsPerMeter = pixels->yPelsPerMeter;
    }
    surface = std::move(image);
    if (!keepHandle) CloseLibraryImage();
    return true;
}

void Document::MakeBlank(uint32_t color, bool rename)
{
    surface.handleType = HandleType::DIB;
    surface.Create(16, 16, 24);
    surface.Fill(color);
    if (rename) {
        state.CurrentFile = kUntitled;
        state.CurrentExt.clear();
        state.ImageWidth = 16;
        state.ImageHeight = 16;
        state.ImageBitsPerPixel = 24;
        state.ReducedDecode = false;
        state.ReductionFactor = 1;
    }
    state.ImageLoaded = true;
    state.ImageModified = false;
}

void Document::EnsureDepth(int depth)
{
    surface.handleType = HandleType::DIB;
    surface.SetDepth(depth);
    state.ImageBitsPerPixel = int16_t(surface.Depth());
}

void Document::MakeDeviceDependent()
{
    if (surface.Empty()) return;
    if (state.DisplayBitsPerPixel <= 8 && state.ImageBitsPerPixel <= 8) {
        if (surface.handleType != HandleType::DDB) {
            surface.SetDepth(8);
            surface.handleType = HandleType::DDB;
        }
        state.ImageBitsPerPixel = 8;
    }
    if (state.DisplayBitsPerPixel >= 15 && surface.handleType == HandleType::DIB) {
        // The screen format here is true colour.
        surface.SetDepth(24);
        surface.handleType = HandleType::DDB;
        state.ImageBitsPerPixel = 24;
    }
}

int Document::DeviceIndependentCopyAtDepth(int depth)
{
    const int used = (depth == 1 || depth == 4 || depth == 8) ? depth : 24;
    if (surface.handleType == HandleType::DDB) {
        surface.SetDepth(used);
        surface.handleType = HandleType::DIB;
    }
    return used;
}

void Document::CloseLibraryImage()
{
    if (state.ImgHandle != 0) {
        ImgClose(state.ImgHandle);
        state.ImgHandle = 0;
    }
}

std::string Document::ImageDescription() const
{
    const DocumentState& s = state;
    std::string text;
    if (s.ReducedDecode)
        text = std::to_string(s.FullWidth) + "x" + std::to_string(s.FullHeight);
    else
        text = std::to_string(s.ImageWidth) + "x" + std::to_string(s.ImageHeight);
    text += "(" + std::to_string(s.ImageBitsPerPixel) + ")";
    if (s.ReducedDecode) text += " [1:" + std::to_string(s.ReductionFactor) + "]";
    text += surface.handleType == HandleType::DDB ? " ddb" : " dib";
    return text;
}

std::string Document::FileName() const
{
    return std::filesystem::path(state.CurrentFile).filename().string();
}

} // namespace lumara
