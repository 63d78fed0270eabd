#pragma once
// The line syntax of batch scripts: a keyword, optionally "=" and up to three
// integer fields, or a text argument for the lines that carry text.

#include <array>
#include <string>

namespace lumara {

struct BatchInstruction {
    std::string keyword;          // upper case
    std::array<int, 3> fields{};  // f1, f2, f3
    std::string text;             // the argument as written (case and spaces kept)
    bool valid = true;            // false: a field was not an integer; the line is ignored
    bool hasArgument = false;     // "=" after the first character
};

// Parses the lines of one run in order: a line without "=" keeps the fields
// of the line before it (all 0 at the start of a run).
class BatchLineParser {
public:
    BatchInstruction Parse(const std::string& line);
    void Reset() { fields_ = {}; }

private:
    std::array<int, 3> fields_{};
};

// Lines that carry text rather than numbers.
bool IsTextLine(const std::string& upperLine);

} // namespace lumara
