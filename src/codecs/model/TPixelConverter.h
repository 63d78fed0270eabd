#pragma once
// Converts runs of pixels from a file's colour layout (scheme, bits per
// sample, samples per pixel, planar or interleaved, byte order) into the
// layout of a surface bitmap row.

#include "Palettes.h"

#include <array>
#include <cstdint>

namespace lumara {

enum TColorScheme : uint8_t {
    csIndexed = 1,
    csG = 2,
    csGA = 3,
    csRGB = 4,
    csRGBA = 5,
    csBGR = 6,
    csBGRA = 7,
    csOther = 8, // no conversion exists for it
    csCMYK = 9,
    csCIELab = 10,
};

// Option bits of SourceOptions / TargetOptions.
enum TConvertOption : uint8_t {
    coAlpha = 0x01,      // the layout carries an alpha sample (automatic for csGA, csRGBA, csBGRA)
    coApplyGamma = 0x02, // target: gray palette values go through the gamma table
    coNeedByteSwap = 0x04,    // source: 16-bit samples are stored big-endian
    coLabByteRange = 0x08,    // source L*a*b*: L* stored as 0..255, scaled to 0..100
    coLabChromaOffset = 0x10, // source L*a*b*: a* and b* stored unsigned with an offset of 128
};

// The surface bitmap format a layout corresponds to.
enum class TPixelFormat { pfCustom, pf1bit, pf4bit, pf8bit, pf15bit, pf24bit, pf32bit };

class TPixelConverter {
  public:
    TPixelConverter();

    TColorScheme SourceScheme() const { return sourceScheme_; }
    TColorScheme TargetScheme() const { return targetScheme_; }
    int SourceBitsPerSample() const { return sourceBits_; }
    int TargetBitsPerSample() const { return targetBits_; }
    int SourceSamplesPerPixel() const { return sourceSamples_; }
    int TargetSamplesPerPixel() const { return targetSamples_; }
    // Include coAlpha whenever the scheme has alpha.
    uint8_t SourceOptions() const;
    uint8_t TargetOptions() const;

    void SetSourceScheme(TColorScheme scheme);
    void SetTargetScheme(TColorScheme scheme);
    // 1..16, else EColorConversionError "Invalid color depth.".
    void SetSourceBitsPerSample(int bits);
    void SetTargetBitsPerSample(int bits);
    // 1..4, else EColorConversionError "Invalid pixel depth and target samples.".
    void SetSourceSamplesPerPixel(int samples);
    void SetTargetSamplesPerPixel(int samples);
    void SetSourceOptions(uint8_t options);
    void SetTargetOptions(uint8_t options);

    // Samples of one interleaved source / target pixel as ConvertRow steps
    // over them: the samples per pixel, or the scheme's colour samples plus
    // alpha when that is more (CMYK with alpha has five).
    int SourceStride() const;
    int TargetStride() const;

    TPixelFormat TargetPixelFormat() const;
    TPixelFormat SourcePixelFormat() const;

    // Converts count target pixels. sources holds one pointer (interleaved
    // samples) or one pointer per sample plane. The bits of mask, rotating from
    // the top bit for each pixel, say which target pixels are written; a skipped
    // pixel consumes no source samples. Raises EColorConversionError
    // "Indexed and non-indexed conversion not supported." or
    // "Color conversion failed." when no routine fits the configuration.
    void ConvertRow(const void* const* sources, int sourceCount, int count, uint8_t mask,
                    void* target);

    // A palette from a colour table stored as count red samples, then count
    // green, then count blue, at the source bits per sample (16-bit samples in
    // the source byte order), scaled to 8 bits.
    Palette CreatePlanePalette(const void* planes, int count) const;
    // 2^min(target bits x target samples, 8) gray steps, black to white
    // (white to black when minIsWhite), through the gamma table under coApplyGamma.
    Palette CreateGrayPalette(bool minIsWhite) const;

    // The table used under coApplyGamma (a 2.2 display gamma until changed).
    std::array<uint8_t, 256>& GammaTable() { return gamma_; }

    struct RowArgs;
    using Routine = void (*)(const RowArgs&);

  private:
    void Changed() { changed_ = true; }
    void ChooseRoutine();

    TColorScheme sourceScheme_ = csRGB;
    TColorScheme targetScheme_ = csBGR;
    int sourceBits_ = 8;
    int targetBits_ = 8;
    int sourceSamples_ = 3;
    int targetSamples_ = 3;
    uint8_t sourceOptions_ = 0;
    uint8_t targetOptions_ = 0;
    std::array<uint8_t, 256> gamma_{};

    bool changed_ = true;
    // [planar][every pixel written]
    Routine routines_[2][2] = {};
    int sourceStride_ = 0; // samples per interleaved source pixel
    int targetStride_ = 0; // samples per target pixel
    int planesNeeded_ = 0;
    bool copyAlpha_ = false;
};

} // namespace lumara
