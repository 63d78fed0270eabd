#include "ViewSettings.h"

#include <cstring>

namespace lumara {

namespace {

// One list of the record's fields and their offsets, walked both ways.
template <class Record, class Visitor> void visitFields(Record& r, Visitor& v) {
    v.rect(0, r.BatchEditorBounds);
    v.rect(16, r.CommentBounds);
    v.rect(32, r.MainBounds);
    v.flag(48, r.MenuBar);
    v.flag(49, r.ToolBar);
    v.flag(50, r.StatusBar);
    v.flag(51, r.ButtonText);
    v.flag(52, r.FitToWindow);
    v.flag(53, r.AutoReduce);
    v.flag(54, r.MaxFullScreen);
    v.byte(55, r.Pad55);
    v.i32(56, r.FaxQuality);
    v.i32(60, r.JpegPalette);
    v.u32(64, r.BackColor);
    v.i32(68, r.CommonControlsLevel);
    v.flag(72, r.AutoSize);
    v.flag(73, r.AutoCenter);
    v.bytes(74, r.Pad74);
    v.i32(76, r.EffectsSpeed);
    v.i32(80, r.SvgaPalette);
    v.i32(84, r.SlideshowDelay);
    v.flag(88, r.MediaStatusLine);
    v.flag(89, r.MediaTrackBar);
    v.flag(90, r.MediaPlayerControls);
    v.flag(91, r.MediaMaxFullScreen);
    v.flag(92, r.MediaAutoPlayLoop);
    v.bytes(93, r.Pad93);
    v.i32(96, r.MediaFrameExtra1);
    v.i32(100, r.MediaFrameExtra2);
    v.i32(104, r.MediaFrameExtra3);
    v.i32(108, r.Volume);
    v.flag(112, r.AutoSizeVideo);
    v.flag(113, r.AlwaysFullScreen);
    v.bytes(114, r.Pad114);
    v.i32(116, r.MediaReferenceResolution);
    v.i32(120, r.TextPosition);
    v.flag(124, r.UseScreen);
    v.flag(125, r.VurJukebox);
    v.flag(126, r.PathBox);
    v.flag(127, r.MultipleViewers);
    v.i32(128, r.PhotoCdStep);
    v.bytes(132, r.Reserved132);
    v.flag(144, r.FastRefresh);
    v.bytes(145, r.Pad145);
}

uint32_t getU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

struct Reader {
    const uint8_t* b;
    void byte(size_t at, uint8_t& v) { v = b[at]; }
    void flag(size_t at, bool& v) { v = b[at] != 0; }
    void u32(size_t at, uint32_t& v) { v = getU32(b + at); }
    void i32(size_t at, int32_t& v) { v = static_cast<int32_t>(getU32(b + at)); }
    void rect(size_t at, TRect& r) {
        i32(at, r.Left);
        i32(at + 4, r.Top);
        i32(at + 8, r.Right);
        i32(at + 12, r.Bottom);
    }
    template <size_t N> void bytes(size_t at, std::array<uint8_t, N>& a) {
        std::memcpy(a.data(), b + at, N);
    }
};

struct Writer {
    uint8_t* b;
    void byte(size_t at, const uint8_t& v) { b[at] = v; }
    void flag(size_t at, const bool& v) { b[at] = v ? 1 : 0; }
    void u32(size_t at, const uint32_t& v) { putU32(b + at, v); }
    void i32(size_t at, const int32_t& v) { putU32(b + at, static_cast<uint32_t>(v)); }
    void rect(size_t at, const TRect& r) {
        i32(at, r.Left);
        i32(at + 4, r.Top);
        i32(at + 8, r.Right);
        i32(at + 12, r.Bottom);
    }
    template <size_t N> void bytes(size_t at, const std::array<uint8_t, N>& a) {
        std::memcpy(b + at, a.data(), N);
    }
};

bool inRange(int32_t v, int32_t count) {
    return v >= 0 && v < count;
}

} // namespace

ViewSettings ViewSettings::FromBytes(const ViewSettingsBytes& bytes) {
    ViewSettings s;
    Reader r{bytes.data()};
    visitFields(s, r);
    return s;
}

std::optional<ViewSettings> ViewSettings::FromBytes(const uint8_t* data, size_t size) {
    if (!data || size != kViewSettingsSize) return std::nullopt;
    ViewSettingsBytes bytes;
    std::memcpy(bytes.data(), data, kViewSettingsSize);
    return FromBytes(bytes);
}

ViewSettingsBytes ViewSettings::ToBytes() const {
    ViewSettingsBytes bytes{};
    Writer w{bytes.data()};
    visitFields(*this, w);
    return bytes;
}

ViewSettings DefaultViewSettings(int displayBitsPerPixel, const TRect& mainBounds) {
    ViewSettings s;
    s.BatchEditorBounds = mainBounds;
    s.CommentBounds = mainBounds;
    s.MainBounds = mainBounds;
    s.MenuBar = true;
    s.ToolBar = true;
    s.StatusBar = true;
    s.ButtonText = true;
    s.FitToWindow = false;
    s.AutoReduce = true;
    s.MaxFullScreen = true;
    s.FaxQuality = 0;
    s.JpegPalette = 3;
    s.BackColor = 0;
    s.AutoSize = true;
    s.AutoCenter = true;
    s.EffectsSpeed = 1;
    s.SvgaPalette = 0;
    s.SlideshowDelay = 1000;
    s.MediaStatusLine = true;
    s.MediaTrackBar = true;
    s.MediaPlayerControls = true;
    s.MediaMaxFullScreen = true;
    s.MediaAutoPlayLoop = true;
    s.Volume = 500;
    s.AutoSizeVideo = true;
    s.AlwaysFullScreen = true;
    s.MediaReferenceResolution = 0;
    s.TextPosition = 0;
    s.UseScreen = false;
    s.VurJukebox = false;
    s.PathBox = true;
    s.MultipleViewers = true;
    s.PhotoCdStep = 3;
    s.FastRefresh = displayBitsPerPixel > 8;
    return s;
}

void RepairViewSettings(ViewSettings& s, int displayBitsPerPixel) {
    if (s.SlideshowDelay > kMaxSlideshowDelay || s.SlideshowDelay < 0) s.SlideshowDelay = 1000;
    if (!inRange(s.JpegPalette, kJpegPaletteCount)) s.JpegPalette = 3;
    if (s.FaxQuality > 3) s.FaxQuality = 3;
    if (s.FaxQuality < 0) s.FaxQuality = 0;
    // A volume of 0 or less would make the player's logarithmic level
    // meaningless; the dialog never stores one.
    if (s.Volume < kMinVolume) s.Volume = kMinVolume;
    if (s.Volume > kMaxVolume) s.Volume = kMaxVolume;
    // The choices below index item lists; an unknown index means the default.
    if (!inRange(s.EffectsSpeed, kEffectsSpeedCount)) s.EffectsSpeed = 1;
    if (!inRange(s.SvgaPalette, kSvgaPaletteCount)) s.SvgaPalette = 0;
    if (!inRange(s.TextPosition, kTextPositionCount)) s.TextPosition = 0;
    if (!inRange(s.PhotoCdStep, kPhotoCdStepCount)) s.PhotoCdStep = 3;
    if (displayBitsPerPixel < 9) s.FastRefresh = false;
}

} // namespace lumara
