#include "ImageWriter.h"

#include "codecs/gbm/TBmpGraphic.h"
#include "codecs/gbm/TPcxGraphic.h"
#include "codecs/gbm/TTgaGraphic.h"
#include "codecs/jpeg/TJPEGImage.h"
#include "codecs/jpeg/TJpegSettings.h"
#include "codecs/model/Exceptions.h"
#include "codecs/png/TPngGraphic.h"
#include "codecs/tiff/TTiffGraphic.h"

#include <algorithm>
#include <filesystem>

namespace lumara {

int SaveTypeForExtension(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".bmp" || ext == ".dib") return stBmp;
    if (ext == ".pcx") return stPcx;
    if (ext == ".png") return stPng;
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") return stJpegColor;
    if (ext == ".tga") return stTga;
    if (ext == ".tif" || ext == ".tiff") return stTiffNone;
    return 0;
}

const char* SaveTypeExtension(int type)
{
    switch (type) {
    case stBmp: return "bmp";
    case stPcx: return "pcx";
    case stPng: return "png";
    case stJpegGray:
    case stJpegColor: return "jpg";
    case stTga: return "tga";
    default: return "tif";
    }
}

namespace {

void writeWith(TDibGraphic& codec, const Bitmap& bitmap, const std::string& path)
{
    codec.Assign(bitmap);
    try {
        codec.SaveToFile(path);
    } catch (...) {
        codec.FreeImage();
        throw;
    }
    codec.FreeImage();
}

} // namespace

void WriteImageFile(const Bitmap& bitmap, const std::string& path, int type,
                    const SaveOptions& options)
{
    if (bitmap.Empty()) throw EInvalidGraphic("There is no picture to save.");
    switch (type) {
    case stBmp: {
        TBmpGraphic bmp;
        writeWith(bmp, bitmap, path);
        return;
    }
    case stPcx: {
        TPcxGraphic pcx;
        writeWith(pcx, bitmap, path);
        return;
    }
    case stPng: {
        TPngGraphic png;
        png.Assign(bitmap);
        png.Interlaced = options.Progressive;
        png.CompressionLevel = 1;
        try {
            png.SaveToFile(path);
        } catch (...) {
            png.FreeImage();
            throw;
        }
        png.FreeImage();
        return;
    }
    case stTga: {
        TTgaGraphic tga;
        if (bitmap.Depth() < 8) {
            Bitmap eight = bitmap;
            eight.SetDepth(8);
            writeWith(tga, eight, path);
        } else {
            writeWith(tga, bitmap, path);
        }
        return;
    }
    case stTiffNone:
    case stTiffDeflate:
    case stTiffDeflateAdobe:
    case stTiffFax3:
    case stTiffFax4:
    case stTiffPackbits: {
        static constexpr int kCompression[] = {tcNone, tcZLib, tcZLibAdobe, tcFaxGroup3_1D,
                                               tcFaxGroup4, tcPackbits};
        TTiffGraphic tiff;
        tiff.Assign(bitmap);
        try {
            tiff.SetCompression(kCompression[type - stTiffNone]);
            tiff.SaveToFile(path);
        } catch (...) {
            tiff.FreeImage();
            throw;
        }
        tiff.FreeImage();
        return;
    }
    case stJpegGray:
    case stJpegColor: {
        TJPEGImage jpeg;
        const bool gray = type == stJpegGray;
        jpeg.Grayscale = gray;
        jpeg.PixelFormat = gray ? JpegPixelFormat::Bits8 : JpegPixelFormat::Bits24;
        jpeg.ProgressiveEncoding = options.Progressive;
        jpeg.CompressJpeg(bitmap, false, true, true, SaveAsJpegScale(options.CompressQuality), 0);
        jpeg.SaveToFile(path);
        return;
    }
    default:
        throw EInvalidGraphic("Unknown file type " + std::to_string(type) + ".");
    }
}

} // namespace lumara
