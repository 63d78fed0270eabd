#pragma once
// Multi-page files for tests, built from our own PCX writer.

#include "codecs/gbm/TPcxGraphic.h"
#include "codecs/model/Stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumara::testing_support {

// A DCX file: its magic, the offsets of the pages, 0, then the PCX pages.
inline std::string MakeDcx(const std::vector<Bitmap>& pages)
{
    std::vector<std::string> encoded;
    for (const Bitmap& b : pages) {
        TPcxGraphic pcx;
        pcx.Assign(b);
        TMemoryStream ms;
        pcx.SaveToStream(ms);
        encoded.emplace_back(reinterpret_cast<const char*>(ms.Data().data()), ms.Data().size());
    }
    std::string file = "\xB1\x68\xDE\x3A";
    auto put32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k) file.push_back(char((v >> (8 * k)) & 255));
    };
    uint32_t offset = uint32_t(4 + 4 * (encoded.size() + 1));
    for (const auto& p : encoded) {
        put32(offset);
        offset += uint32_t(p.size());
    }
    put32(0);
    for (const auto& p : encoded) file += p;
    return file;
}

} // namespace lumara::testing_support
