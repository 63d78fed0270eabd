#pragma once
// The JPEG compression settings shared by the Compression Wizard and batch
// JPG conversion, kept as a 16-byte record in the settings store, and the
// fixed scale rule of Save As.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumara {

struct TJpegSettings {
    static constexpr size_t kRecordSize = 16;
    static constexpr int32_t kNotLoaded = -1;
    static constexpr int32_t kDefaultScale = 48;

    bool Progressive = false;
    // Keep libjpeg's default chroma subsampling; off writes every component at full size.
    bool Subsample = false;
    bool OptimizeCoding = true;
    bool HighAccuracy = true;
    // 0 "Standard" (libjpeg's smoothing), 1 "Parametric", 2 "Gaussian".
    uint8_t SmoothingType = 0;
    int32_t SmoothingAmount = 0;
    // Percent of the standard quantization tables, 1 (best) .. 255 (smaller);
    // kNotLoaded until the record has been read from the settings store.
    int32_t Scale = kDefaultScale;

    // The record as it is before its first user reads it.
    static TJpegSettings NotLoaded();
    bool Loaded() const { return Scale != kNotLoaded; }

    // The record byte for byte: booleans at 0..3, smoothing type at 4, three
    // zero bytes, then smoothing amount and scale as little-endian 32-bit.
    std::array<uint8_t, kRecordSize> Serialize() const;
    // nullopt when the stored value has the wrong size (the caller then uses
    // the defaults, as for a missing value). Out-of-range fields come back
    // within their ranges so a damaged value cannot reach the encoder.
    static std::optional<TJpegSettings> Parse(const void* data, size_t size);

    // The wizard's scroll bar goes up to 512 with "More compression"; the
    // record keeps at most 255.
    void SetScaleFromWizard(int position);
    // libjpeg's own smoothing factor: only the "Standard" type uses it.
    int LibjpegSmoothing() const { return SmoothingType == 0 ? SmoothingAmount : 0; }
};

// Save As: the save dialog's compression value C (1..100, higher = better)
// as the quantization scale, (101 - C) * 255 / 100.
int SaveAsJpegScale(int compression);

} // namespace lumara
