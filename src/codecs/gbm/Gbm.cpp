#include "Gbm.h"

#include <cctype>
#include <cstring>

namespace lumara::gbm {

size_t GbmStride(int width, int bpp) {
    if (width <= 0 || bpp <= 0) return 0;
    const uint64_t stride = (uint64_t(width) * uint64_t(bpp) + 31) / 32 * 4;
    return stride > 0x7fffffff ? 0 : size_t(stride);
}

bool GbmHasOption(const std::string& options, const char* word) {
    const size_t length = std::strlen(word);
    size_t i = 0;
    while (i < options.size()) {
        while (i < options.size() && (options[i] == ' ' || options[i] == ','))
            ++i;
        size_t j = i;
        while (j < options.size() && options[j] != ' ' && options[j] != ',')
            ++j;
        if (j - i == length) {
            bool same = true;
            for (size_t k = 0; k < length && same; ++k)
                same = std::tolower(static_cast<unsigned char>(options[i + k])) ==
                       std::tolower(static_cast<unsigned char>(word[k]));
            if (same) return true;
        }
        i = j;
    }
    return false;
}

const GbmFormat* GbmGuessFiletype(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
    std::string ext;
    for (size_t i = dot + 1; i < name.size(); ++i)
        ext += char(std::toupper(static_cast<unsigned char>(name[i])));
    if (ext.empty()) return nullptr;
    ext += ' ';
    for (const GbmFormat* format : {&kGbmBmpFormat, &kGbmPcxFormat, &kGbmTgaFormat}) {
        const std::string list = format->extensions;
        for (size_t at = list.find(ext); at != std::string::npos; at = list.find(ext, at + 1))
            if (at == 0 || list[at - 1] == ' ') return format;
    }
    return nullptr;
}

} // namespace lumara::gbm
