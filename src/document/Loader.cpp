#include "Loader.h"

#include "codecs/gbm/TBmpGraphic.h"
#include "codecs/gbm/TPcxGraphic.h"
#include "codecs/gbm/TTgaGraphic.h"
#include "codecs/imglib/ImgLib.h"
#include "codecs/jpeg/TJPEGImage.h"
#include "codecs/model/Exceptions.h"
#include "codecs/png/TPngGraphic.h"
#include "codecs/tiff/TTiffGraphic.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace lumara {

namespace {

// Deflate, as the old and the registered tag values have it.
constexpr uint32_t kCompressionDeflate = 8;
constexpr uint32_t kCompressionAdobeDeflate = 32946;

int recordedDepth(int bits)
{
    if (bits == 16) return 8;
    if (bits > 24) return 24;
    return bits;
}

// A routing key: ".TIFF" travels as ".TIF", ".JPEG" and friends as JPEG.
std::string routeOf(const std::string& ext) { return ext == ".TIFF" ? ".TIF" : ext; }

} // namespace

bool ExtensionInList(const std::string& extension, const char* list)
{
    return !extension.empty() && std::string(list).find(extension) != std::string::npos;
}

TLoader::TLoader(Document& document)
    : Bmp(std::make_unique<TBmpGraphic>()), Pcx(std::make_unique<TPcxGraphic>()),
      Tga(std::make_unique<TTgaGraphic>()), Tiff(std::make_unique<TTiffGraphic>()),
      Png(std::make_unique<TPngGraphic>()), SharedJpeg(std::make_unique<TJPEGImage>()),
      doc_(document)
{
}

TLoader::~TLoader() = default;

void TLoader::Fail(const std::string& reason)
{
    DocumentState& s = doc_.state;
    lastError_ = s.CurrentFile + ": " + reason;
    s.JpegDecodeFailed = false;
    s.ImageBitsPerPixel = int16_t(rememberedBitsPerPixel_);
    s.CurrentFile = s.PreviousFile;
    s.ImageLoaded = false;
}

int TLoader::OpenByType(const LoadSettings& settings, bool* deferOpen)
{
    DocumentState& s = doc_.state;
    useLibraryForTiff_ = false;
    lastError_.clear();
    s.CurrentExt = std::filesystem::path(s.CurrentFile).extension().string();
    for (auto& c : s.CurrentExt) c = char(std::toupper(static_cast<unsigned char>(c)));
    const std::string ext = routeOf(s.CurrentExt);

    if (!ExtensionInList(ext, kAllKnownTypes)) {
        if (ExtensionInList(ext, kTextTypes)) return prText;
        if (ExtensionInList(ext, kMetafileTypes)) return prMetafile;
        lastError_ = s.CurrentFile + ": unknown file type";
        s.CurrentFile = s.PreviousFile;
        return prUnknown;
    }
    if (ExtensionInList(ext, kMediaTypes)) return prMedia;

    ImgInit();
    s.PageCount = 1;
    rememberedBitsPerPixel_ = s.ImageBitsPerPixel;
    s.JpegPreloaded = false;

    if (ext == ".PCD") {
        lastError_ = s.CurrentFile + ": Photo CD images cannot be opened yet";
        return prUnknown;
    }
    if (ext.find(".JP") != std::string::npos) {
        try {
            SharedJpeg->LoadFromFile(s.CurrentFile);
            s.ImageWidth = SharedJpeg->Width();
            s.ImageHeight = SharedJpeg->Height();
            s.ImageBitsPerPixel = int16_t(SharedJpeg->BitsPerPixel());
            s.JpegPreloaded = true;
            return prImage;
        } catch (const std::exception& e) {
            SharedJpeg->Clear();
            s.JpegDecodeFailed = true;
            jpegReadError_ = e.what();
            lastError_ = s.CurrentFile + ": " + e.what();
            if (settings.BeforeFirstActivation && !deferredOnce_) {
                // Tried again once the window is up, where the failure is shown.
                deferredOnce_ = true;
                if (deferOpen) *deferOpen = true;
                return prUnknown;
            }
            return prJpegUnread;
        }
    }
    if (ExtensionInList(ext, ".BMP.DIB") || ext == ".TGA" || ext == ".PNG" || ext == ".PCX" ||
        ext == ".TIF")
        return ProbeOwnCodec(ext);
    if (ext == ".PSD") {
        lastError_ = s.CurrentFile + ": Photoshop images cannot be opened yet";
        return prUnknown;
    }
    if (ExtensionInList(ext, kLibraryTypes)) return ProbeLibrary();
    if (ext == ".VUR") {
        lastError_ = s.CurrentFile + ": album slideshows cannot be played yet";
        return prUnknown;
    }
    lastError_ = s.CurrentFile + ": unknown file type";
    return prUnknown;
}

int TLoader::ProbeOwnCodec(const std::string& ext)
{
    DocumentState& s = doc_.state;
    int w = 0, h = 0, bits = 0;
    try {
        if (ext == ".TIF") {
            Tiff->ReadFileHeader(s.CurrentFile, -1);
            w = Tiff->HeaderWidth();
            h = Tiff->HeaderHeight();
            bits = Tiff->HeaderBitsPerPixel();
            const uint32_t c = Tiff->FileCompression();
            const bool deflate = c == kCompressionDeflate || c == kCompressionAdobeDeflate;
            useLibraryForTiff_ = !(deflate || (w != 0 && h != 0 && bits > 2));
        } else if (ext == ".PNG") {
            Png->ReadFileHeader(s.CurrentFile, true);
            w = Png->HeaderWidth;
            h = Png->HeaderHeight;
            bits = Png->HeaderBitsPerPixel;
        } else if (ext == ".PCX") {
            Pcx->ReadFileHeader(s.CurrentFile);
            w = Pcx->HeaderWidth;
            h = Pcx->HeaderHeight;
            bits = Pcx->HeaderBitsPerPixel;
        } else if (ext == ".TGA") {
            Tga->ReadFileHeader(s.CurrentFile);
            w = Tga->HeaderWidth;
            h = Tga->HeaderHeight;
            bits = Tga->HeaderBitsPerPixel;
        } else {
            Bmp->ReadFileHeader(s.CurrentFile);
            w = Bmp->HeaderWidth;
            h = Bmp->HeaderHeight;
            bits = Bmp->HeaderBitsPerPixel;
        }
    } catch (const std::exception& e) {
        if (ext == ".TIF") {
            // A TIFF our codec cannot read goes to the library, which reads
            // what libtiff reads (LZW and the rest).
            Tiff = std::make_unique<TTiffGraphic>();
            useLibraryForTiff_ = true;
            return ProbeLibrary();
        }
        // A header error leaves the codec object in an unknown state: start afresh.
        if (ext == ".PNG") Png = std::make_unique<TPngGraphic>();
        else if (ext == ".PCX") Pcx = std::make_unique<TPcxGraphic>();
        else if (ext == ".TGA") Tga = std::make_unique<TTgaGraphic>();
        else Bmp = std::make_unique<TBmpGraphic>();
        lastError_ = s.CurrentFile + ": " + e.what();
        return prUnknown;
    }
    if (useLibraryForTiff_) return ProbeLibrary();
    s.ImageWidth = w;
    s.ImageHeight = h;
    s.ImageBitsPerPixel = int16_t(recordedDepth(bits));
    return prImage;
}

int TLoader::ProbeLibrary()
{
    DocumentState& s = doc_.state;
    doc_.CloseLibraryImage();
    const HIMG image = ImgOpenSolo(s.CurrentFile, 0);
    if (image == 0) {
        lastError_ = s.CurrentFile + ": " + ImgGetStatus();
        return prUnknown;
    }
    int pages = 1;
    ImgPageCount(image, &pages);
    BitmapInfoHeader info;
    ImgGetInfoStruct(image, &info);
    ImgClose(image);
    s.PageCount = pages;
    s.ImageWidth = info.biWidth;
    s.ImageHeight = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    int bits = info.biBitCount;
    if (info.biPlanes > 1 && bits <= 8) bits *= info.biPlanes;
    s.ImageBitsPerPixel = int16_t(bits);
    s.ColorPlanes = int16_t(info.biPlanes);
    return prImage;
}

bool TLoader::Decode(const LoadSettings& settings)
{
    DocumentState& s = doc_.state;
    lastError_.clear();
    doc_.CloseLibraryImage();
    s.StatusText = "Loading...";
    s.FullWidth = s.ImageWidth;
    s.FullHeight = s.ImageHeight;
    s.ReducedDecode = false;
    s.ReductionFactor = 1;
    const std::string ext = routeOf(s.CurrentExt);

    bool ok = false;
    if (ext.find(".JP") != std::string::npos) {
        if (s.JpegDecodeFailed) {
            Fail(jpegReadError_.empty() ? "the JPEG file could not be read" : jpegReadError_);
            return false;
        }
        if (!DecodeJpeg(settings)) return false;
        s.ImageLoaded = true;
        s.JpegDecodeFailed = false;
        return true;
    }
    s.StatusText = "Ready.";
    if (ExtensionInList(ext, kLibraryTypes) || useLibraryForTiff_) {
        ok = MultiPageLoad(0, settings);
        if (!ok) {
            Fail(lastError_.empty() ? ImgGetStatus() : lastError_);
            return false;
        }
    } else if (ExtensionInList(ext, kOwnCodecTypes)) {
        ok = DecodeOwnCodec(settings);
        if (!ok) return false;
        if (s.ImageBitsPerPixel > 8 && s.DisplayBitsPerPixel > 8 && settings.FastRefresh &&
            settings.AutoReduce)
            doc_.MakeDeviceDependent();
    } else {
        Fail("this kind of file cannot be opened yet");
        return false;
    }
    s.ImageLoaded = true;
    s.JpegDecodeFailed = false;
    s.ZoomPercent = 100;
    return true;
}

JpegDecodeKind TLoader::ChooseJpegDecode(const LoadSettings& settings, int* scale) const
{
    const DocumentState& s = doc_.state;
    if (scale) *scale = 0;
    if (s.FitToWindow || s.SlideshowRunning) {
        // Halve until the picture fits into twice the visible area (at most 1/8).
        int k = 0;
        const int vw = std::max(1, settings.VisibleWidth), vh = std::max(1, settings.VisibleHeight);
        while (k < 3 && ((s.ImageWidth >> k) > 2 * vw || (s.ImageHeight >> k) > 2 * vh)) ++k;
        if (scale) *scale = k;
        return JpegDecodeKind::Reduced;
    }
    if (s.DisplayBitsPerPixel <= 8 || !settings.AutoReduce) return JpegDecodeKind::Full;
    if ((s.ImageWidth <= 2048 || s.ImageHeight <= 1536) && s.ImageBitsPerPixel != 8)
        return JpegDecodeKind::Direct;
    return JpegDecodeKind::Full;
}

bool TLoader::DecodeJpeg(const LoadSettings& settings)
{
    DocumentState& s = doc_.state;
    const auto start = std::chrono::steady_clock::now();
    TJPEGImage& jpeg = *SharedJpeg;
    try {
        if (!s.JpegPreloaded || jpeg.Empty()) jpeg.LoadFromFile(s.CurrentFile);
        s.FullWidth = jpeg.Width();
        s.FullHeight = jpeg.Height();
        int scale = 0;
        const JpegDecodeKind kind = ChooseJpegDecode(settings, &scale);
        const bool eightBitScreen = s.DisplayBitsPerPixel <= 8;
        jpeg.Scale = JpegScale(scale);
        jpeg.Grayscale = false;
        jpeg.ColorMap.clear();
        jpeg.PixelFormat = JpegPixelFormat::Bits24;
        int dither = 2;
        if (eightBitScreen && settings.AutoReduce && kind != JpegDecodeKind::Direct) {
            jpeg.PixelFormat = JpegPixelFormat::Bits8;
            dither = settings.JpegPalette;
            jpeg.Speed = settings.JpegPalette <= 1;
        } else {
            jpeg.Speed = false;
        }
        jpeg.OnProgress = kind == JpegDecodeKind::Reduced && s.SlideshowRunning
                              ? std::function<void(int)>()
                              : OnProgress;
        jpeg.AbortRequested = AbortRequested;
        Bitmap image;
        jpeg.DecodeToBitmap(image, dither);
        if (kind == JpegDecodeKind::Direct && image.Depth() != 24) image.SetDepth(24);
        image.handleType = HandleType::DIB;
        doc_.surface = std::move(image);
        s.ImageWidth = doc_.surface.Width();
        s.ImageHeight = doc_.surface.Height();
        s.ImageBitsPerPixel = int16_t(doc_.surface.Depth());
        s.ReducedDecode = scale != 0;
        s.ReductionFactor = 1 << scale;
    } catch (const std::exception& e) {
        jpeg.OnProgress = nullptr;
        jpeg.AbortRequested = nullptr;
        s.JpegDecodeFailed = true;
        Fail(e.what());
        return false;
    }
    jpeg.OnProgress = nullptr;
    jpeg.AbortRequested = nullptr;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    if (ms > 200) ms -= 100;
    char text[32];
    std::snprintf(text, sizeof text, "Loaded %d.%ds", int(ms / 1000), int(ms % 1000 / 100));
    s.StatusText = text;
    return true;
}

bool TLoader::TransferLibraryImage(const LoadSettings& settings)
{
    DocumentState& s = doc_.state;
    BitmapInfoHeader info;
    if (!ImgGetInfoStruct(s.ImgHandle, &info)) return false;
    if (settings.AutoReduce && s.DisplayBitsPerPixel == 8 && info.biBitCount > 8) {
        const HIMG reduced = ImgReduceColors(s.ImgHandle, 236, 68);
        if (reduced != 0) {
            ImgClose(s.ImgHandle);
            s.ImgHandle = reduced;
        }
    }
    return doc_.TransferFromLibrary(true, false);
}

bool TLoader::DecodeOwnCodec(const LoadSettings& settings)
{
    DocumentState& s = doc_.state;
    const std::string ext = routeOf(s.CurrentExt);
    TDibGraphic* codec = nullptr;
    if (ext == ".TIF") codec = Tiff.get();
    else if (ext == ".PNG") codec = Png.get();
    else if (ext == ".PCX") codec = Pcx.get();
    else if (ext == ".TGA") codec = Tga.get();
    else if (ext == ".BMP" || ext == ".DIB") codec = Bmp.get();
    if (!codec) {
        Fail("this kind of file cannot be opened yet");
        return false;
    }
    if (codec == Png.get()) {
        // The window's colour shows through transparent pixels; the codec
        // takes it red first.
        const uint32_t c = settings.BackColor;
        Png->BackgroundColor = ((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16);
        Png->UseBackground = true;
    }
    try {
        codec->LoadFromFile(s.CurrentFile);
        if (codec->GetEmpty()) throw EInvalidGraphic("the file holds no picture");
        if (codec == Tiff.get()) {
            s.ImageWidth = codec->GetWidth();
            s.ImageHeight = codec->GetHeight();
            s.ImageBitsPerPixel = int16_t(recordedDepth(codec->InfoHeader().biBitCount));
        }
        const PackedDib packed = codec->CreatePackedDib();
        codec->FreeImage();
        if (packed.empty()) throw EOutOfMemory("not enough memory for the picture");
        s.ImgHandle = ImgFromDIB(packed);
        if (s.ImgHandle == 0) throw EInvalidGraphic(ImgGetStatus());
        if (!TransferLibraryImage(settings)) {
            doc_.CloseLibraryImage();
            throw EInvalidGraphic(ImgGetStatus());
        }
    } catch (const std::exception& e) {
        codec->FreeImage();
        doc_.CloseLibraryImage();
        Fail(e.what());
        return false;
    }
    return true;
}

bool TLoader::MultiPageLoad(int page, const LoadSettings& settings)
{
    DocumentState& s = doc_.state;
    auto selectPage = [&]() {
        if (s.ImgHandle == 0) {
            s.ImgHandle = ImgOpenSolo(s.CurrentFile, 0);
            if (s.ImgHandle == 0) return false;
            int pages = 1;
            ImgPageCount(s.ImgHandle, &pages);
            s.PageCount = pages;
        }
        if (!ImgSetPage(s.ImgHandle, page)) return false;
        s.CurrentPage = page;
        return true;
    };
    if (!selectPage()) {
        lastError_ = s.CurrentFile + ": " + ImgGetStatus();
        return false;
    }
    BitmapInfoHeader info;
    if (!ImgGetInfoStruct(s.ImgHandle, &info)) return false;
    if (settings.FaxQuality != 0 && info.biBitCount == 1) {
        // A bilevel page shown in shades of gray: a reduced, filtered copy.
        int w = (info.biWidth - 1) / 8 * 8, h = (std::abs(info.biHeight) - 1) / 8 * 8;
        switch (settings.FaxQuality) {
        case 1: w /= 2; h /= 2; break;
        case 2: w = w * 3333 / 10000; h = h * 3333 / 10000; break;
        default: w /= 4; h /= 4; break;
        }
        const HIMG copy = w > 0 && h > 0 ? ImgCopy(s.ImgHandle, w, h, nullptr, kCopyPreview) : 0;
        if (copy != 0) {
            const HIMG pageHandle = s.ImgHandle;
            s.ImgHandle = copy;
            s.ImageWidth = w;
            s.ImageHeight = h;
            BitmapInfoHeader copyInfo;
            ImgGetInfoStruct(copy, &copyInfo);
            s.ImageBitsPerPixel = int16_t(copyInfo.biBitCount == 1 ? 8 : copyInfo.biBitCount);
            const bool ok = doc_.TransferFromLibrary(false, true);
            ImgClose(copy);
            s.ImgHandle = pageHandle;
            if (ok) return true;
        }
    }
    if (!doc_.TransferFromLibrary(true, true)) {
        lastError_ = s.CurrentFile + ": " + ImgGetStatus();
        return false;
    }
    return s.ImageBitsPerPixel != 0;
}

} // namespace lumara
