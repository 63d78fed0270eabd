#pragma once
// The keywords of the batch language: one row each, naming the argument
// ranges and what the line performs. The interpreter, lumara-cli and the
// recording commands all go through this table.

#include "BatchLine.h"

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumara {

class Document;

// What a batch line may ask of the program around the document (saving,
// the browsing list, questions). The defaults do nothing and report that.
class BatchHost {
public:
    virtual ~BatchHost() = default;
    // SAVE: Save As in batch mode with the file-name suffix.
    virtual bool Save(const std::string& suffix) { (void)suffix; return false; }
    virtual bool Reload() { return false; }
    virtual bool Next() { return false; }
    virtual bool Previous() { return false; }
    // A question whose Yes ends the run; true = end it.
    virtual bool AskAbort(const std::string& question) { (void)question; return false; }
    // The surface changed and may be repainted.
    virtual void Refresh() {}
};

struct BatchContext {
    Document& doc;
    BatchHost& host;
    bool abortRequested = false;
};

struct ArgumentRange {
    int min = 0;
    int max = 0;
};

struct BatchKeyword {
    std::string_view keyword;
    int argCount = 0; // integer fields checked against ranges
    std::array<ArgumentRange, 3> ranges{};
    // Performs the line (its fields already in range).
    std::function<void(BatchContext&, const BatchInstruction&)> perform;
};

std::span<const BatchKeyword> BatchKeywords();
// nullptr for an unknown keyword.
const BatchKeyword* FindBatchKeyword(std::string_view keyword);

enum class LineOutcome { Performed, Empty, Unknown, InvalidField, OutOfRange };

// Parses and performs one line in a run (parser carries fields between lines).
LineOutcome PerformBatchLine(const std::string& line, BatchLineParser& parser, BatchContext& ctx);

// Performs every line; onLine (if set) hears each line's outcome with its
// 1-based number. Stops early when a line asked to end the run.
void PerformBatchScript(const std::vector<std::string>& lines, BatchContext& ctx,
                        const std::function<void(int, const std::string&, LineOutcome)>& onLine = {});

} // namespace lumara
