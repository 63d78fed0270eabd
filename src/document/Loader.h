#pragma once
// Bringing a file into the document: the probe that classifies a path and
// reads its header, and the decode that writes the picture into the surface.
// The viewer adds the window-side steps (questions, cursor, view, status bar)
// around these; the command-line tool uses them as they are.

#include "document/Document.h"

#include <functional>
#include <memory>
#include <string>

namespace lumara {

class TBmpGraphic;
class TPcxGraphic;
class TTgaGraphic;
class TTiffGraphic;
class TPngGraphic;
class TJPEGImage;

// Extension lists; an extension is in a list when it occurs in its text.
inline constexpr const char* kAllKnownTypes =
    ".JPG.JPEG.PNG.DCX.PCX.BMP.DIB.TIF.TIFF.TGA.PCD.PSD.GIF.WEBP.AVI.MPG.M1V.MPE.MPEG.MPV.QT.MOV.RM."
    "DAT.WAV.MP2.MP3.MPA.AIF.AIFF.AIFX.MID.RMI.AU.SND.RA.VUR";
inline constexpr const char* kMediaTypes =
    ".AVI.MPG.M1V.MPE.MPEG.MPV.QT.MOV.RM.DAT.WAV.MP2.MP3.MPA.AIF.AIFF.AIFX.MID.RMI.AU.SND.RA";
inline constexpr const char* kOwnCodecTypes = ".BMP.PNG.TIF.TGA.PCX.DIB.PSD";
inline constexpr const char* kLibraryTypes = ".DCX.GIF.WEBP";
inline constexpr const char* kTextTypes = ".RTF.TXT";
inline constexpr const char* kMetafileTypes = ".WMF.EMF";

bool ExtensionInList(const std::string& extension, const char* list);

enum ProbeResult : int {
    prMedia = 2,
    prImage = 1,
    prJpegUnread = 0,
    prUnknown = -1,
    prText = -10,
    prMetafile = -11,
};

// What the decode needs from the options and the window.
struct LoadSettings {
    int FaxQuality = 0; // 0 b/w, 1 4 shades, 2 16 shades, 3 64 shades
    bool AutoReduce = true;
    bool FastRefresh = true;
    int JpegPalette = 3;
    uint32_t BackColor = 0; // 0x00RRGGBB, behind transparent pixels
    // The area a reduced-scale JPEG decode must fill twice over.
    int VisibleWidth = 0;
    int VisibleHeight = 0;
    // Before the first activation a failed JPEG read defers the open.
    bool BeforeFirstActivation = false;
};

// The JPEG decode variants.
enum class JpegDecodeKind { Full, Reduced, Direct };

class TLoader {
public:
    explicit TLoader(Document& document);
    ~TLoader();

    // Classifies CurrentFile and reads its header (ProbeResult). Sets
    // ImageWidth/Height/BitsPerPixel for images. deferOpen is set when a JPEG
    // cannot be read before the first activation.
    int OpenByType(const LoadSettings& settings, bool* deferOpen = nullptr);

    // Decodes CurrentFile into the surface. On failure the failure path runs
    // (CurrentFile back to PreviousFile, depth restored) and LastError() says
    // why, naming the file.
    bool Decode(const LoadSettings& settings);

    // Page p of the library image (opening CurrentFile when none is open),
    // with the fax-quality rule for bilevel pages.
    bool MultiPageLoad(int page, const LoadSettings& settings);

    const std::string& LastError() const { return lastError_; }
    // Which JPEG decode Decode would use now, and at which scale (0..3).
    JpegDecodeKind ChooseJpegDecode(const LoadSettings& settings, int* scale) const;
    // Progress of long decodes (percent), and the request to stop them.
    std::function<void(int)> OnProgress;
    std::function<bool()> AbortRequested;
    bool UseLibraryForTiff() const { return useLibraryForTiff_; }

    // The codec objects, one per own format, reused for every load.
    std::unique_ptr<TBmpGraphic> Bmp;
    std::unique_ptr<TPcxGraphic> Pcx;
    std::unique_ptr<TTgaGraphic> Tga;
    std::unique_ptr<TTiffGraphic> Tiff;
    std::unique_ptr<TPngGraphic> Png;
    // Every JPEG load goes through it; a probe's read is reused by the decode.
    std::unique_ptr<TJPEGImage> SharedJpeg;

private:
    int ProbeOwnCodec(const std::string& ext);
    int ProbeLibrary();
    bool DecodeOwnCodec(const LoadSettings& settings);
    bool DecodeJpeg(const LoadSettings& settings);
    bool TransferLibraryImage(const LoadSettings& settings);
    void Fail(const std::string& reason);

    Document& doc_;
    bool useLibraryForTiff_ = false;
    int rememberedBitsPerPixel_ = 0;
    std::string lastError_;
    bool deferredOnce_ = false;
    std::string jpegReadError_; // why the probe could not read the JPEG
};

} // namespace lumara
