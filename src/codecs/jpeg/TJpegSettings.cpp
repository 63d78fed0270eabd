#include "TJpegSettings.h"

#include <algorithm>

namespace lumara {

namespace {
void putI32(uint8_t* p, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
}

int32_t getI32(const uint8_t* p) {
    const uint32_t u =
        uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return static_cast<int32_t>(u);
}
} // namespace

TJpegSettings TJpegSettings::NotLoaded() {
    TJpegSettings s;
    s.Scale = kNotLoaded;
    return s;
}

std::array<uint8_t, TJpegSettings::kRecordSize> TJpegSettings::Serialize() const {
    std::array<uint8_t, kRecordSize> r{};
    r[0] = Progressive ? 1 : 0;
    r[1] = Subsample ? 1 : 0;
    r[2] = OptimizeCoding ? 1 : 0;
    r[3] = HighAccuracy ? 1 : 0;
    r[4] = SmoothingType;
    putI32(&r[8], SmoothingAmount);
    putI32(&r[12], Scale);
    return r;
}

std::optional<TJpegSettings> TJpegSettings::Parse(const void* data, size_t size) {
    if (!data || size != kRecordSize) return std::nullopt;
    const auto* p = static_cast<const uint8_t*>(data);
    TJpegSettings s;
    s.Progressive = p[0] != 0;
    s.Subsample = p[1] != 0;
    s.OptimizeCoding = p[2] != 0;
    s.HighAccuracy = p[3] != 0;
    s.SmoothingType = p[4] <= 2 ? p[4] : 0;
    s.SmoothingAmount = std::clamp(getI32(p + 8), 0, 255);
    s.Scale = std::clamp(getI32(p + 12), 1, 255);
    return s;
}

void TJpegSettings::SetScaleFromWizard(int position) {
    Scale = std::clamp(position, 1, 255);
}

int SaveAsJpegScale(int compression) {
    return (101 - compression) * 255 / 100;
}

} // namespace lumara
