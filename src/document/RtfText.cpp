#include "RtfText.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace lumara {

namespace {

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x110000) {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

// Windows-1252 for the bytes 0x80..0x9F; the rest map to the same code point.
uint32_t cp1252(uint8_t b)
{
    static const uint16_t high[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                      0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return b >= 0x80 && b < 0xA0 ? high[b - 0x80] : b;
}

// Groups whose content is not part of the text.
bool isHiddenDestination(const std::string& word)
{
    static const char* kHidden[] = {"fonttbl", "colortbl", "stylesheet", "info",   "pict",
                                    "header",  "footer",   "headerl",    "headerr", "footerl",
                                    "footerr", "object",   "listtable",  "listoverridetable",
                                    "themedata", "colorschememapping", "latentstyles",
                                    "datastore", "xmlnstbl", "rsidtbl", "generator", "fldinst"};
    for (const char* h : kHidden)
        if (word == h) return true;
    return false;
}

struct Group {
    bool hidden = false;
    int skipAfterUnicode = 1; // \ucN
};

} // namespace

std::string RtfToText(const std::string& rtf)
{
    if (rtf.compare(0, 5, "{\\rtf") != 0) return rtf;
    std::string out;
    std::vector<Group> stack{Group{}};
    int pendingSkip = 0;
    size_t i = 0;
    const size_t n = rtf.size();
    auto emit = [&](uint32_t cp) {
        if (pendingSkip > 0) {
            --pendingSkip;
            return;
        }
        if (!stack.back().hidden) appendUtf8(out, cp);
    };
    while (i < n) {
        const char c = rtf[i];
        if (c == '{') {
            stack.push_back(stack.back());
            ++i;
            // "{\*" marks a destination a reader may skip when it does not know it.
            if (i + 1 < n && rtf[i] == '\\' && rtf[i + 1] == '*') stack.back().hidden = true;
            continue;
        }
        if (c == '}') {
            if (stack.size() > 1) stack.pop_back();
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            emit(uint8_t(c) < 0x80 ? uint32_t(uint8_t(c)) : cp1252(uint8_t(c)));
            ++i;
            continue;
        }
        // A control symbol or word.
        ++i;
        if (i >= n) break;
        const char s = rtf[i];
        if (s == '\\' || s == '{' || s == '}') {
            emit(uint8_t(s));
            ++i;
            continue;
        }
        if (s == '\'') {
            if (i + 2 < n && std::isxdigit(uint8_t(rtf[i + 1])) && std::isxdigit(uint8_t(rtf[i + 2]))) {
                const int v = int(std::strtol(rtf.substr(i + 1, 2).c_str(), nullptr, 16));
                emit(cp1252(uint8_t(v)));
                i += 3;
            } else {
                ++i;
            }
            continue;
        }
        if (s == '~') {
            emit(0xA0);
            ++i;
            continue;
        }
        if (!std::isalpha(uint8_t(s))) {
            ++i; // \*, \-, \_ and other symbols carry no text
            continue;
        }
        std::string word;
        while (i < n && std::isalpha(uint8_t(rtf[i]))) word.push_back(rtf[i++]);
        bool hasParam = false;
        long param = 0;
        if (i < n && (rtf[i] == '-' || std::isdigit(uint8_t(rtf[i])))) {
            const size_t start = i;
            ++i;
            while (i < n && std::isdigit(uint8_t(rtf[i]))) ++i;
            param = std::strtol(rtf.substr(start, i - start).c_str(), nullptr, 10);
            hasParam = true;
        }
        if (i < n && rtf[i] == ' ') ++i; // the delimiter belongs to the word
        if (word == "par" || word == "line" || word == "sect" || word == "page") {
            pendingSkip = 0;
            emit('\n');
        } else if (word == "tab") {
            emit('\t');
        } else if (word == "u" && hasParam) {
            emit(uint32_t(param < 0 ? param + 65536 : param));
            pendingSkip = stack.back().skipAfterUnicode;
        } else if (word == "uc" && hasParam) {
            stack.back().skipAfterUnicode = int(param);
        } else if (word == "emdash") {
            emit(0x2014);
        } else if (word == "endash") {
            emit(0x2013);
        } else if (word == "bullet") {
            emit(0x2022);
        } else if (word == "lquote") {
            emit(0x2018);
        } else if (word == "rquote") {
            emit(0x2019);
        } else if (word == "ldblquote") {
            emit(0x201C);
        } else if (word == "rdblquote") {
            emit(0x201D);
        } else if (isHiddenDestination(word)) {
            stack.back().hidden = true;
        }
    }
    return out;
}

} // namespace lumara
