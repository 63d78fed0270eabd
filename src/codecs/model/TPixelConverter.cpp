#include "TPixelConverter.h"

#include "Exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace lumara {

struct TPixelConverter::RowArgs {
    const uint8_t* const* src; // one pointer, or one per plane
    uint8_t* dst;
    int count;
    unsigned mask;
    int srcStride;      // samples per interleaved source pixel
    int dstStride;      // samples per target pixel
    int srcBits;        // repacking only
    int dstBits;        // repacking only
    int samples;        // repacking only: samples converted per pixel
    double labScale;    // 100/255 when L* is stored as 0..255, else 1
    unsigned chromaXor; // 0x80 turns a signed byte into an offset-128 one
};

namespace {

using RowArgs = TPixelConverter::RowArgs;
using Routine = TPixelConverter::Routine;

[[noreturn]] void fail(const char* message) {
    throw EColorConversionError(message);
}

int colourSamples(int scheme) {
    switch (scheme) {
    case csIndexed:
    case csG:
    case csGA:
        return 1;
    case csCMYK:
        return 4;
    default:
        return 3;
    }
}

bool schemeHasAlpha(int scheme) {
    return scheme == csGA || scheme == csRGBA || scheme == csBGRA;
}

// ---- Sample access for the 8- and 16-bit routines

template <typename T, bool BigEndian> inline unsigned loadSample(const uint8_t* p) {
    if constexpr (sizeof(T) == 1)
        return *p;
    else if constexpr (BigEndian)
        return unsigned(p[0] << 8 | p[1]);
    else
        return unsigned(p[0] | p[1] << 8);
}

template <typename T, bool BigEndian> struct InterleavedIn {
    using Sample = T;
    const uint8_t* p;
    size_t stride;
    explicit InterleavedIn(const RowArgs& a)
        : p(a.src[0]), stride(size_t(a.srcStride) * sizeof(T)) {}
    unsigned get(int c) const { return loadSample<T, BigEndian>(p + size_t(c) * sizeof(T)); }
    void next() { p += stride; }
};

template <typename T, bool BigEndian> struct PlanarIn {
    using Sample = T;
    const uint8_t* const* planes;
    size_t offset = 0;
    explicit PlanarIn(const RowArgs& a) : planes(a.src) {}
    unsigned get(int c) const { return loadSample<T, BigEndian>(planes[c] + offset); }
    void next() { offset += sizeof(T); }
};

template <typename T> struct Out {
    using Sample = T;
    uint8_t* p;
    size_t stride;
    explicit Out(const RowArgs& a) : p(a.dst), stride(size_t(a.dstStride) * sizeof(T)) {}
    void put(int c, unsigned v) {
        if constexpr (sizeof(T) == 1) {
            p[c] = uint8_t(v);
        } else {
            p[2 * c] = uint8_t(v);
            p[2 * c + 1] = uint8_t(v >> 8);
        }
    }
    void next() { p += stride; }
};

// 16 -> 8 bits as v * 255 / 65535, 8 -> 16 as v * 65535 / 255.
template <typename S, typename D> inline unsigned convertDepth(unsigned v) {
    if constexpr (sizeof(S) == sizeof(D))
        return v;
    else if constexpr (sizeof(S) == 2)
        return v * 255u / 65535u;
    else
        return v * 65535u / 255u;
}

inline int clamp255(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// ---- Per-pixel operations; every decision is a template argument.

template <bool SwapRedBlue, bool CopyAlpha> struct CopyColours {
    template <class In, class O> static void apply(const RowArgs&, In& in, O& out) {
        using S = typename In::Sample;
        using D = typename O::Sample;
        const unsigned s0 = in.get(0), s1 = in.get(1), s2 = in.get(2);
        out.put(SwapRedBlue ? 2 : 0, convertDepth<S, D>(s0));
        out.put(1, convertDepth<S, D>(s1));
        out.put(SwapRedBlue ? 0 : 2, convertDepth<S, D>(s2));
        if constexpr (CopyAlpha) out.put(3, convertDepth<S, D>(in.get(3)));
    }
};

template <bool CopyAlpha> struct GrayAlpha {
    template <class In, class O> static void apply(const RowArgs&, In& in, O& out) {
        using S = typename In::Sample;
        using D = typename O::Sample;
        out.put(0, convertDepth<S, D>(in.get(0)));
        if constexpr (CopyAlpha) out.put(1, convertDepth<S, D>(in.get(1)));
    }
};

template <bool BlueFirst> struct CmykToColour {
    template <class In, class O> static void apply(const RowArgs&, In& in, O& out) {
        using S = typename In::Sample;
        using D = typename O::Sample;
        const int c = int(convertDepth<S, uint8_t>(in.get(0)));
        const int m = int(convertDepth<S, uint8_t>(in.get(1)));
        const int y = int(convertDepth<S, uint8_t>(in.get(2)));
        const int k = int(convertDepth<S, uint8_t>(in.get(3)));
        const int red = clamp255(c * k / 255 - k - c + 255);
        const int green = clamp255(m * k / 255 - k - m + 255);
        const int blue = clamp255(y * k / 255 - k - y + 255);
        out.put(BlueFirst ? 2 : 0, convertDepth<uint8_t, D>(unsigned(red)));
        out.put(1, convertDepth<uint8_t, D>(unsigned(green)));
        out.put(BlueFirst ? 0 : 2, convertDepth<uint8_t, D>(unsigned(blue)));
    }
};

inline int labChannel(double v) {
    const double scaled = v * 255.0;
    if (!(scaled > 0.0)) return 0; // also catches NaN
    if (scaled >= 255.0) return 255;
    return int(std::nearbyint(scaled));
}

template <bool BlueFirst> struct LabToColour {
    template <class In, class O> static void apply(const RowArgs& a, In& in, O& out) {
        using S = typename In::Sample;
        using D = typename O::Sample;
        const double L = double(convertDepth<S, uint8_t>(in.get(0))) * a.labScale;
        // Signed bytes and offset-128 bytes both become value - 128 after the xor.
        const double as = double(int(convertDepth<S, uint8_t>(in.get(1)) ^ a.chromaXor) - 128);
        const double bs = double(int(convertDepth<S, uint8_t>(in.get(2)) ^ a.chromaXor) - 128);
        const double fy = (L + 16.0) * 0.008620689655172413793;
        double X, Y, Z;
        if (L < 7.9996) {
            Y = L * 0.0011070519207350825;
            X = Y + as * 0.0002568383202773854;
            Z = Y - bs * 0.0006420958006934634;
        } else {
            const double fx = fy + as * 0.002;
            const double fz = fy - bs * 0.005;
            X = fx * fx * fx;
            Y = fy * fy * fy;
            Z = fz * fz * fz;
        }
        const int blue = labChannel(X * 0.099 - Y * 0.198 + Z * 1.099);
        const int green = labChannel(-0.952 * X + 1.893 * Y + 0.059 * Z);
        const int red = labChannel(2.998 * X - 1.458 * Y - 0.541 * Z);
        out.put(BlueFirst ? 2 : 0, convertDepth<uint8_t, D>(unsigned(red)));
        out.put(1, convertDepth<uint8_t, D>(unsigned(green)));
        out.put(BlueFirst ? 0 : 2, convertDepth<uint8_t, D>(unsigned(blue)));
    }
};

// The common case of the Photoshop reader: 8-bit interleaved CMYK into a
// 24-bit row. C*K div 255 - K - C + 255 equals (255-C)(255-K) div 255, which
// is always within 0..255, so no clamping is needed.
template <bool BlueFirst> void cmyk8ToColour24(const RowArgs& a) {
    const uint8_t* s = a.src[0];
    uint8_t* d = a.dst;
    for (int i = 0; i < a.count; ++i, s += 4, d += 3) {
        // x * 32897 >> 23 is x div 255 for every product of two bytes.
        const uint32_t k = 255u - s[3];
        const uint32_t red = ((255u - s[0]) * k * 32897u) >> 23;
        const uint32_t green = ((255u - s[1]) * k * 32897u) >> 23;
        const uint32_t blue = ((255u - s[2]) * k * 32897u) >> 23;
        d[BlueFirst ? 2 : 0] = uint8_t(red);
        d[1] = uint8_t(green);
        d[BlueFirst ? 0 : 2] = uint8_t(blue);
    }
}

// The same from four planes, as Photoshop files store CMYK.
template <bool BlueFirst> void cmyk8PlanesToColour24(const RowArgs& a) {
    const uint8_t* c = a.src[0];
    const uint8_t* m = a.src[1];
    const uint8_t* y = a.src[2];
    const uint8_t* k = a.src[3];
    uint8_t* d = a.dst;
    for (int i = 0; i < a.count; ++i, d += 3) {
        const uint32_t black = 255u - k[i];
        const uint32_t red = ((255u - c[i]) * black * 32897u) >> 23;
        const uint32_t green = ((255u - m[i]) * black * 32897u) >> 23;
        const uint32_t blue = ((255u - y[i]) * black * 32897u) >> 23;
        d[BlueFirst ? 2 : 0] = uint8_t(red);
        d[1] = uint8_t(green);
        d[BlueFirst ? 0 : 2] = uint8_t(blue);
    }
}

template <class In, class O, class Op, bool EveryPixel> void runRow(const RowArgs& a) {
    In in(a);
    O out(a);
    if constexpr (EveryPixel) {
        for (int i = 0; i < a.count; ++i) {
            Op::apply(a, in, out);
            in.next();
            out.next();
        }
    } else {
        unsigned mask = a.mask;
        for (int i = 0; i < a.count; ++i) {
            if (mask & 0x80) {
                Op::apply(a, in, out);
                in.next();
            }
            out.next();
            mask = ((mask << 1) | (mask >> 7)) & 0xFF;
        }
    }
}

template <class Op, bool Planar, bool EveryPixel, class O>
Routine pickSource(int sourceBits, bool bigEndian) {
    if constexpr (Planar) {
        if (sourceBits == 16)
            return bigEndian ? &runRow<PlanarIn<uint16_t, true>, O, Op, EveryPixel>
                             : &runRow<PlanarIn<uint16_t, false>, O, Op, EveryPixel>;
        return &runRow<PlanarIn<uint8_t, false>, O, Op, EveryPixel>;
    } else {
        if (sourceBits == 16)
            return bigEndian ? &runRow<InterleavedIn<uint16_t, true>, O, Op, EveryPixel>
                             : &runRow<InterleavedIn<uint16_t, false>, O, Op, EveryPixel>;
        return &runRow<InterleavedIn<uint8_t, false>, O, Op, EveryPixel>;
    }
}

template <class Op, bool Planar, bool EveryPixel>
Routine pickTarget(int sourceBits, bool bigEndian, int targetBits) {
    return targetBits == 16
               ? pickSource<Op, Planar, EveryPixel, Out<uint16_t>>(sourceBits, bigEndian)
               : pickSource<Op, Planar, EveryPixel, Out<uint8_t>>(sourceBits, bigEndian);
}

template <class Op>
void pickAll(Routine (&r)[2][2], int sourceBits, bool bigEndian, int targetBits) {
    r[0][0] = pickTarget<Op, false, false>(sourceBits, bigEndian, targetBits);
    r[0][1] = pickTarget<Op, false, true>(sourceBits, bigEndian, targetBits);
    r[1][0] = pickTarget<Op, true, false>(sourceBits, bigEndian, targetBits);
    r[1][1] = pickTarget<Op, true, true>(sourceBits, bigEndian, targetBits);
}

// ---- Repacking of index and gray samples of any depth from 1 to 16 bits.
// Samples below 8 bits are packed from the most significant bit.

enum SampleKind { kPacked, kByte, kWordLE, kWordBE };

template <int Kind> inline unsigned readAt(const uint8_t* base, size_t index, int bits) {
    if constexpr (Kind == kByte) {
        return base[index];
    } else if constexpr (Kind == kWordLE) {
        return unsigned(base[2 * index] | base[2 * index + 1] << 8);
    } else if constexpr (Kind == kWordBE) {
        return unsigned(base[2 * index] << 8 | base[2 * index + 1]);
    } else {
        const size_t first = index * size_t(bits);
        const size_t last = first + size_t(bits) - 1;
        unsigned v = 0;
        for (size_t byte = first >> 3; byte <= last >> 3; ++byte)
            v = (v << 8) | base[byte];
        const unsigned spare = unsigned(7 - (last & 7));
        return (v >> spare) & ((1u << bits) - 1);
    }
}

template <int Kind> inline void writeAt(uint8_t* base, size_t index, int bits, unsigned value) {
    if constexpr (Kind == kByte) {
        base[index] = uint8_t(value);
    } else if constexpr (Kind == kWordLE) {
        base[2 * index] = uint8_t(value);
        base[2 * index + 1] = uint8_t(value >> 8);
    } else {
        const size_t first = index * size_t(bits);
        const size_t last = first + size_t(bits) - 1;
        const unsigned spare = unsigned(7 - (last & 7));
        const unsigned fieldMask = ((1u << bits) - 1) << spare;
        const unsigned fieldValue = (value << spare) & fieldMask;
        // Walk the (at most three) bytes from the last one back.
        int shift = 0;
        for (size_t byte = last >> 3;; --byte) {
            const unsigned m = (fieldMask >> shift) & 0xFF;
            base[byte] = uint8_t((base[byte] & ~m) | ((fieldValue >> shift) & m));
            shift += 8;
            if (byte == first >> 3) break;
        }
    }
}

template <int SourceKind, int TargetKind, bool Planar, bool EveryPixel>
void repackRow(const RowArgs& a) {
    const uint64_t sourceMax = (uint64_t(1) << a.srcBits) - 1;
    const uint64_t targetMax = (uint64_t(1) << a.dstBits) - 1;
    unsigned mask = a.mask;
    size_t sourcePixel = 0;
    for (int i = 0; i < a.count; ++i) {
        if (EveryPixel || (mask & 0x80)) {
            for (int c = 0; c < a.samples; ++c) {
                const unsigned v =
                    Planar ? readAt<SourceKind>(a.src[c], sourcePixel, a.srcBits)
                           : readAt<SourceKind>(a.src[0],
                                                sourcePixel * size_t(a.srcStride) + size_t(c),
                                                a.srcBits);
                const unsigned w = unsigned(uint64_t(v) * targetMax / sourceMax);
                writeAt<TargetKind>(a.dst, size_t(i) * size_t(a.dstStride) + size_t(c), a.dstBits,
                                    w);
            }
            ++sourcePixel;
        }
        if constexpr (!EveryPixel) mask = ((mask << 1) | (mask >> 7)) & 0xFF;
    }
}

template <int SourceKind, int TargetKind> void pickRepack(Routine (&r)[2][2]) {
    r[0][0] = &repackRow<SourceKind, TargetKind, false, false>;
    r[0][1] = &repackRow<SourceKind, TargetKind, false, true>;
    r[1][0] = &repackRow<SourceKind, TargetKind, true, false>;
    r[1][1] = &repackRow<SourceKind, TargetKind, true, true>;
}

template <int SourceKind> void pickRepackTarget(Routine (&r)[2][2], int targetBits) {
    if (targetBits == 16)
        pickRepack<SourceKind, kWordLE>(r);
    else if (targetBits == 8)
        pickRepack<SourceKind, kByte>(r);
    else
        pickRepack<SourceKind, kPacked>(r);
}

void pickRepackAll(Routine (&r)[2][2], int sourceBits, bool bigEndian, int targetBits) {
    if (sourceBits == 16) {
        if (bigEndian)
            pickRepackTarget<kWordBE>(r, targetBits);
        else
            pickRepackTarget<kWordLE>(r, targetBits);
    } else if (sourceBits == 8) {
        pickRepackTarget<kByte>(r, targetBits);
    } else {
        pickRepackTarget<kPacked>(r, targetBits);
    }
}

bool byteOrWord(int bits) {
    return bits == 8 || bits == 16;
}

TPixelFormat pixelFormatFor(int samples, int bits) {
    switch (samples) {
    case 1:
        if (bits == 1) return TPixelFormat::pf1bit;
        if (bits >= 2 && bits <= 4) return TPixelFormat::pf4bit;
        if (bits >= 8 && bits <= 16) return TPixelFormat::pf8bit;
        return TPixelFormat::pfCustom;
    case 3:
        return bits <= 5 ? TPixelFormat::pf15bit : TPixelFormat::pf24bit;
    case 4:
        return bits > 7 ? TPixelFormat::pf32bit : TPixelFormat::pfCustom;
    default:
        return TPixelFormat::pfCustom;
    }
}

} // namespace

TPixelConverter::TPixelConverter() {
    for (int i = 0; i < 256; ++i)
        gamma_[size_t(i)] = uint8_t(std::lround(255.0 * std::pow(i / 255.0, 1.0 / 2.2)));
}

uint8_t TPixelConverter::SourceOptions() const {
    return uint8_t(sourceOptions_ | (schemeHasAlpha(sourceScheme_) ? coAlpha : 0));
}

uint8_t TPixelConverter::TargetOptions() const {
    return uint8_t(targetOptions_ | (schemeHasAlpha(targetScheme_) ? coAlpha : 0));
}

void TPixelConverter::SetSourceScheme(TColorScheme scheme) {
    sourceScheme_ = scheme;
    Changed();
}

void TPixelConverter::SetTargetScheme(TColorScheme scheme) {
    targetScheme_ = scheme;
    Changed();
}

void TPixelConverter::SetSourceBitsPerSample(int bits) {
    if (bits < 1 || bits > 16) fail("Invalid color depth.");
    sourceBits_ = bits;
    Changed();
}

void TPixelConverter::SetTargetBitsPerSample(int bits) {
    if (bits < 1 || bits > 16) fail("Invalid color depth.");
    targetBits_ = bits;
    Changed();
}

void TPixelConverter::SetSourceSamplesPerPixel(int samples) {
    if (samples < 1 || samples > 4) fail("Invalid pixel depth and target samples.");
    sourceSamples_ = samples;
    Changed();
}

void TPixelConverter::SetTargetSamplesPerPixel(int samples) {
    if (samples < 1 || samples > 4) fail("Invalid pixel depth and target samples.");
    targetSamples_ = samples;
    Changed();
}

void TPixelConverter::SetSourceOptions(uint8_t options) {
    sourceOptions_ = options;
    Changed();
}

void TPixelConverter::SetTargetOptions(uint8_t options) {
    targetOptions_ = options;
    Changed();
}

int TPixelConverter::SourceStride() const {
    return std::max(sourceSamples_,
                    colourSamples(sourceScheme_) + ((SourceOptions() & coAlpha) ? 1 : 0));
}

int TPixelConverter::TargetStride() const {
    return std::max(targetSamples_,
                    colourSamples(targetScheme_) + ((TargetOptions() & coAlpha) ? 1 : 0));
}

TPixelFormat TPixelConverter::TargetPixelFormat() const {
    return pixelFormatFor(targetSamples_, targetBits_);
}

TPixelFormat TPixelConverter::SourcePixelFormat() const {
    return pixelFormatFor(sourceSamples_, sourceBits_);
}

void TPixelConverter::ChooseRoutine() {
    for (auto& pair : routines_)
        pair[0] = pair[1] = nullptr;
    const int s = sourceScheme_, t = targetScheme_;
    const bool sourceIndexed = s >= csIndexed && s <= csGA;
    const bool targetIndexed = t == csIndexed || t == csG;
    if (sourceIndexed != targetIndexed) fail("Indexed and non-indexed conversion not supported.");

    const bool sourceAlpha = SourceOptions() & coAlpha;
    const bool targetAlpha = TargetOptions() & coAlpha;
    const int sb = sourceBits_, tb = targetBits_;
    const bool bigEndian = sourceOptions_ & coNeedByteSwap;
    const bool toRgb = t == csRGB || t == csRGBA;
    const bool toBgr = t == csBGR || t == csBGRA;
    const int sourceColours = colourSamples(s);
    sourceStride_ = SourceStride();
    targetStride_ = TargetStride();
    copyAlpha_ = false;

    switch (s) {
    case csIndexed:
        copyAlpha_ = sourceAlpha && targetAlpha;
        pickRepackAll(routines_, sb, bigEndian, tb);
        break;
    case csG:
    case csGA:
        copyAlpha_ = sourceAlpha && targetAlpha;
        if (s == csG && sb != 16 && tb != 16)
            pickRepackAll(routines_, sb, bigEndian, tb);
        else if (byteOrWord(sb) && byteOrWord(tb)) {
            if (copyAlpha_)
                pickAll<GrayAlpha<true>>(routines_, sb, bigEndian, tb);
            else
                pickAll<GrayAlpha<false>>(routines_, sb, bigEndian, tb);
        }
        break;
    case csRGB:
    case csRGBA:
    case csBGR:
    case csBGRA: {
        if (!(toRgb || toBgr) || !byteOrWord(sb) || !byteOrWord(tb)) break;
        const bool swap = (s == csRGB || s == csRGBA) != toRgb;
        copyAlpha_ = sourceAlpha && targetAlpha;
        if (swap)
            copyAlpha_ ? pickAll<CopyColours<true, true>>(routines_, sb, bigEndian, tb)
                       : pickAll<CopyColours<true, false>>(routines_, sb, bigEndian, tb);
        else
            copyAlpha_ ? pickAll<CopyColours<false, true>>(routines_, sb, bigEndian, tb)
                       : pickAll<CopyColours<false, false>>(routines_, sb, bigEndian, tb);
        break;
    }
    case csCMYK:
        if (!(toRgb || toBgr) || !byteOrWord(sb) || !byteOrWord(tb)) break;
        toBgr ? pickAll<CmykToColour<true>>(routines_, sb, bigEndian, tb)
              : pickAll<CmykToColour<false>>(routines_, sb, bigEndian, tb);
        if (sb == 8 && tb == 8 && sourceStride_ == 4 && targetStride_ == 3)
            routines_[0][1] = toBgr ? &cmyk8ToColour24<true> : &cmyk8ToColour24<false>;
        if (sb == 8 && tb == 8 && targetStride_ == 3)
            routines_[1][1] = toBgr ? &cmyk8PlanesToColour24<true> : &cmyk8PlanesToColour24<false>;
        break;
    case csCIELab:
        if (!(toRgb || toBgr) || !byteOrWord(sb) || !byteOrWord(tb)) break;
        toBgr ? pickAll<LabToColour<true>>(routines_, sb, bigEndian, tb)
              : pickAll<LabToColour<false>>(routines_, sb, bigEndian, tb);
        break;
    default:
        break;
    }
    if (!routines_[0][0]) fail("Color conversion failed.");
    planesNeeded_ = sourceColours + (copyAlpha_ ? 1 : 0);
    changed_ = false;
}

void TPixelConverter::ConvertRow(const void* const* sources, int sourceCount, int count,
                                 uint8_t mask, void* target) {
    if (changed_) ChooseRoutine();
    if (count <= 0) return;
    if (!sources || !target || sourceCount < 1 || sourceCount > 4) fail("Color conversion failed.");
    const bool planar = sourceCount > 1;
    if (planar && sourceCount < planesNeeded_) fail("Color conversion failed.");
    const uint8_t* planes[4] = {};
    for (int i = 0; i < sourceCount; ++i) {
        if (!sources[i]) fail("Color conversion failed.");
        planes[i] = static_cast<const uint8_t*>(sources[i]);
    }
    RowArgs a;
    a.src = planes;
    a.dst = static_cast<uint8_t*>(target);
    a.count = count;
    a.mask = mask;
    a.srcStride = sourceStride_;
    a.dstStride = targetStride_;
    a.srcBits = sourceBits_;
    a.dstBits = targetBits_;
    a.samples = 1 + (copyAlpha_ ? 1 : 0);
    a.labScale = (sourceOptions_ & coLabByteRange) ? 100.0 / 255.0 : 1.0;
    a.chromaXor = (sourceOptions_ & coLabChromaOffset) ? 0u : 0x80u;
    routines_[planar ? 1 : 0][mask == 0xFF ? 1 : 0](a);
}

Palette TPixelConverter::CreatePlanePalette(const void* planes, int count) const {
    count = std::clamp(count, 0, 256);
    Palette palette(size_t(count), 0);
    if (!planes || count == 0) return palette;
    const auto* p = static_cast<const uint8_t*>(planes);
    const bool words = sourceBits_ > 8;
    const bool bigEndian = sourceOptions_ & coNeedByteSwap;
    const unsigned maxValue = (1u << sourceBits_) - 1;
    auto sample = [&](size_t index) -> int {
        unsigned v;
        if (words)
            v = bigEndian ? unsigned(p[2 * index] << 8 | p[2 * index + 1])
                          : unsigned(p[2 * index] | p[2 * index + 1] << 8);
        else
            v = p[index];
        return int(std::min(v, maxValue) * 255u / maxValue);
    };
    for (int i = 0; i < count; ++i) {
        const size_t n = size_t(count);
        palette[size_t(i)] =
            MakeColor(sample(size_t(i)), sample(n + size_t(i)), sample(2 * n + size_t(i)));
    }
    return palette;
}

Palette TPixelConverter::CreateGrayPalette(bool minIsWhite) const {
    const int depth = std::min(targetBits_ * targetSamples_, 8);
    const int count = 1 << depth;
    const int step = 255 / (count - 1);
    const bool gamma = targetOptions_ & coApplyGamma;
    Palette palette(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        int v = i * step;
        if (gamma) v = gamma_[size_t(v)];
        palette[size_t(minIsWhite ? count - 1 - i : i)] = MakeColor(v, v, v);
    }
    return palette;
}

} // namespace lumara
