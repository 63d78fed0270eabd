#pragma once
// The headless document: what describes the current image (DocumentState),
// the surface bitmap that holds it, and the data-side surface services. The
// viewer owns one; the command-line tool one per worker; each test its own.

#include "codecs/imglib/ImgLib.h"
#include "codecs/model/Bitmap.h"
#include "document/Undo.h"
#include "processing/lut/ChannelMaps.h"
#include "processing/lut/Histograms.h"

#include <cstdint>
#include <string>

namespace lumara {

inline constexpr const char* kUntitled = "Untitled";

struct DocumentState {
    std::string CurrentFile;
    std::string PreviousFile;
    std::string CurrentExt;
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    // Size before a reduced-scale decode, the factor (1, 2, 4 or 8) and its flag.
    int32_t FullWidth = 0;
    int32_t FullHeight = 0;
    int32_t ReductionFactor = 1;
    bool ReducedDecode = false;
    int16_t ImageBitsPerPixel = 0;
    int16_t ColorPlanes = 1;
    HIMG ImgHandle = 0;
    int32_t PageCount = 1;
    int32_t CurrentPage = 0;
    bool ImageModified = false;
    bool ImageLoaded = false;
    bool JpegPreloaded = false;
    bool JpegDecodeFailed = false;
    std::string StatusText;
    int32_t DisplayBitsPerPixel = 24;
    int32_t ZoomPercent = 100;
    bool FitToWindow = false;
    bool MediaMode = false;
    bool SlideshowRunning = false;
    bool SlideshowStopRequest = false;
    bool CancelRequest = false;
    bool BatchRunning = false;
    int32_t PhotoCdStep = 3;
};

class Document {
public:
    Document();
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    DocumentState state;
    Bitmap surface; // the current image (Sky95's bitmap)
    // The channel maps keep their entries from one command to the next.
    ChannelMaps maps;
    Histograms histograms;
    // The one level of undo (Undo.h).
    BackupStore backup;
    // Parameters an operation receives from its dialog or a batch line.
    int FilterValue1 = 0;
    int FilterValue2 = 0;
    int FilterValue3 = 0;

    // Surface services, data side. The viewer adds the repaint, caption and
    // command-state steps around them.

    // Deletes the palette and frees the image, leaving an empty bitmap.
    void ReleaseImage();
    // Device-independent, depth 1, 4, 8 or 24 (anything else 24), uninitialised content.
    void NewImage(int width, int height, int depth);
    // Draws the library image ImgHandle into the surface at its depth;
    // rereadInfo takes size and depth from the library first; unless keepHandle
    // the library image is closed. False (surface unchanged) when the library
    // call fails; ImgGetStatus() says why.
    bool TransferFromLibrary(bool rereadInfo, bool keepHandle);
    // 16 by 16 at 24 bits filled with color; rename makes it "Untitled".
    void MakeBlank(uint32_t color, bool rename);
    // The surface becomes device-independent at that depth (24, 8 or 4).
    void EnsureDepth(int depth);
    void Ensure24() { EnsureDepth(24); }
    // The display-ready form: only its existence and depth are observable.
    void MakeDeviceDependent();
    // A device-dependent surface becomes device-independent at depth; returns
    // the depth used (1, 4, 8 or 24).
    int DeviceIndependentCopyAtDepth(int depth);
    // Closes the library image, if any.
    void CloseLibraryImage();

    // "1600x1200(24) [1:2] dib"
    std::string ImageDescription() const;
    // The file name part of CurrentFile.
    std::string FileName() const;
};

} // namespace lumara
