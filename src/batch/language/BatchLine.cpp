#include "BatchLine.h"

#include <cctype>
#include <charconv>

namespace lumara {

namespace {

std::string upper(const std::string& s)
{
    std::string u = s;
    for (auto& c : u) c = char(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// A field: leading spaces removed, empty is 0, otherwise a decimal integer
// with nothing after it (so a trailing space makes it invalid).
bool parseField(const std::string& text, int& value)
{
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) {
        value = 0;
        return true;
    }
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    if (*first == '+') ++first; // a signed decimal, as the platform's conversion reads it
    if (first == last) return false;
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last;
}

} // namespace

bool IsTextLine(const std::string& u)
{
    return u.find("TEXTMARK") != std::string::npos || u.find("SAVE") != std::string::npos ||
           u.find("STRING") != std::string::npos;
}

BatchInstruction BatchLineParser::Parse(const std::string& line)
{
    BatchInstruction ins;
    const std::string u = upper(line);
    const size_t eq = line.find('=');
    const bool hasEquals = eq != std::string::npos && eq > 0;
    ins.hasArgument = hasEquals;

    if (IsTextLine(u)) {
        ins.fields = fields_;
        if (hasEquals) {
            ins.keyword = u.substr(0, eq);
            ins.text = line.substr(eq + 1);
        } else {
            ins.keyword = u;
            ins.text = line;
        }
        return ins;
    }
    ins.text = line;
    if (!hasEquals) {
        ins.keyword = u;
        ins.fields = fields_;
        return ins;
    }
    ins.keyword = u.substr(0, eq);
    const std::string rest = line.substr(eq + 1);
    std::string parts[3];
    const size_t c1 = rest.find(',');
    if (c1 == std::string::npos) {
        parts[0] = rest;
    } else {
        parts[0] = rest.substr(0, c1);
        const size_t c2 = rest.find(',', c1 + 1);
        if (c2 == std::string::npos) {
            parts[1] = rest.substr(c1 + 1);
        } else {
            parts[1] = rest.substr(c1 + 1, c2 - c1 - 1);
            parts[2] = rest.substr(c2 + 1);
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (!parseField(parts[i], ins.fields[size_t(i)])) {
            ins.valid = false;
            return ins;
        }
    }
    fields_ = ins.fields;
    return ins;
}

} // namespace lumara
