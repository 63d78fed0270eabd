#pragma once
// ViewSettings: the fixed 148-byte settings record kept in the store as the
// binary value "VControls5700". Little-endian, 32-bit signed integers, one
// byte per flag. The record is read and written through explicit offsets so
// its bytes never depend on how the compiler lays out a struct; padding and
// reserved bytes are carried along untouched so that a record written by a
// later version survives a run of this one.

#include "codecs/model/Geometry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumara {

inline constexpr size_t kViewSettingsSize = 148;
using ViewSettingsBytes = std::array<uint8_t, kViewSettingsSize>;

// Item counts of the choice settings (the stored value is the item index).
inline constexpr int kFaxQualityCount = 4;
inline constexpr int kPhotoCdStepCount = 7;
inline constexpr int kJpegPaletteCount = 4;
inline constexpr int kEffectsSpeedCount = 4;
inline constexpr int kSvgaPaletteCount = 3;
inline constexpr int kTextPositionCount = 3;

// Slideshow delay: milliseconds up to kMaxSlideshowDelay; kMaximumDelay
// stands for the longest wait ("2 hours").
inline constexpr int kMaxSlideshowDelay = 60000;
inline constexpr int kMaximumDelay = 1;
inline constexpr int kMinVolume = 1;
inline constexpr int kMaxVolume = 1000;

struct ViewSettings {
    TRect BatchEditorBounds;               // 0
    TRect CommentBounds;                   // 16
    TRect MainBounds;                      // 32
    bool MenuBar = false;                  // 48
    bool ToolBar = false;                  // 49
    bool StatusBar = false;                // 50
    bool ButtonText = false;               // 51
    bool FitToWindow = false;              // 52
    bool AutoReduce = false;               // 53
    bool MaxFullScreen = false;            // 54
    uint8_t Pad55 = 0;                     // 55
    int32_t FaxQuality = 0;                // 56
    int32_t JpegPalette = 0;               // 60
    uint32_t BackColor = 0;                // 64, 0x00BBGGRR (red in the lowest byte)
    int32_t CommonControlsLevel = 0;       // 68
    bool AutoSize = false;                 // 72
    bool AutoCenter = false;               // 73
    std::array<uint8_t, 2> Pad74{};        // 74
    int32_t EffectsSpeed = 0;              // 76
    int32_t SvgaPalette = 0;               // 80
    int32_t SlideshowDelay = 0;            // 84
    bool MediaStatusLine = false;          // 88
    bool MediaTrackBar = false;            // 89
    bool MediaPlayerControls = false;      // 90
    bool MediaMaxFullScreen = false;       // 91
    bool MediaAutoPlayLoop = false;        // 92
    std::array<uint8_t, 3> Pad93{};        // 93
    int32_t MediaFrameExtra1 = 0;          // 96
    int32_t MediaFrameExtra2 = 0;          // 100
    int32_t MediaFrameExtra3 = 0;          // 104
    int32_t Volume = 0;                    // 108
    bool AutoSizeVideo = false;            // 112
    bool AlwaysFullScreen = false;         // 113
    std::array<uint8_t, 2> Pad114{};       // 114
    int32_t MediaReferenceResolution = 0;  // 116
    int32_t TextPosition = 0;              // 120
    bool UseScreen = false;                // 124
    bool VurJukebox = false;               // 125
    bool PathBox = false;                  // 126
    bool MultipleViewers = false;          // 127
    int32_t PhotoCdStep = 0;               // 128
    std::array<uint8_t, 12> Reserved132{}; // 132
    bool FastRefresh = false;              // 144
    std::array<uint8_t, 3> Pad145{};       // 145

    // Flag bytes other than 0 read as set and are written back as 1.
    static ViewSettings FromBytes(const ViewSettingsBytes& bytes);
    // Empty when size is not exactly kViewSettingsSize.
    static std::optional<ViewSettings> FromBytes(const uint8_t* data, size_t size);
    ViewSettingsBytes ToBytes() const;

    bool operator==(const ViewSettings&) const = default;
};

// The record of a first run: every field at its default, padding zero.
// mainBounds is the window's own start rectangle, which the two other
// windows share until they have been placed themselves.
ViewSettings DefaultViewSettings(int displayBitsPerPixel, const TRect& mainBounds);

// Brings a record read from the store back into range: a delay above 60000
// (or negative) becomes 1000, a JPEG palette outside 0..3 becomes 3, the fax
// quality is clamped to 0..3, the volume to 1..1000, the other choices fall
// back to their defaults when out of range, and Fast Refresh is off on
// screens with fewer than 9 bits per pixel.
void RepairViewSettings(ViewSettings& settings, int displayBitsPerPixel);

} // namespace lumara
