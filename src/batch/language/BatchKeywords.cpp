#include "BatchKeywords.h"

#include "document/Document.h"
#include "processing/lut/PointOperations.h"

#include <vector>

namespace lumara {

namespace {

void ensure24(Document& doc)
{
    if (doc.surface.Depth() != 24 || doc.surface.handleType != HandleType::DIB) doc.Ensure24();
}

std::vector<BatchKeyword> buildTable()
{
    std::vector<BatchKeyword> rows;
    // Flow and files.
    rows.push_back({"SAVE", 0, {}, [](BatchContext& c, const BatchInstruction& i) {
                        c.host.Save(i.hasArgument ? i.text : std::string());
                    }});
    rows.push_back({"RELOAD", 0, {}, [](BatchContext& c, const BatchInstruction&) {
                        if (c.host.Reload()) ensure24(c.doc);
                    }});
    rows.push_back({"NOMODIFYFLAG", 0, {}, [](BatchContext& c, const BatchInstruction&) {
                        c.doc.state.ImageModified = false;
                    }});
    rows.push_back({"NEXT", 0, {}, [](BatchContext& c, const BatchInstruction&) { c.host.Next(); }});
    rows.push_back(
        {"PREVIOUS", 0, {}, [](BatchContext& c, const BatchInstruction&) { c.host.Previous(); }});
    rows.push_back({"PROMPT_FILESTRING", 0, {}, [](BatchContext& c, const BatchInstruction& i) {
                        if (c.doc.state.CurrentFile.find(i.text) == std::string::npos)
                            c.abortRequested = c.host.AskAbort(i.text);
                    }});
    rows.push_back({"PROMPT_HAS_FILESTRING", 0, {}, [](BatchContext& c, const BatchInstruction& i) {
                        if (c.doc.state.CurrentFile.find(i.text) != std::string::npos)
                            c.abortRequested = c.host.AskAbort(i.text);
                    }});

    // The point operations declare their own keywords and ranges.
    for (const PointOperation& op : PointOperations()) {
        BatchKeyword row;
        row.keyword = op.keyword;
        row.argCount = op.paramCount;
        for (int k = 0; k < op.paramCount; ++k)
            row.ranges[size_t(k)] = {op.params[size_t(k)].batchMin, op.params[size_t(k)].batchMax};
        const PointOperation* opp = &op;
        row.perform = [opp](BatchContext& c, const BatchInstruction& i) {
            ensure24(c.doc);
            PointValues values = i.fields;
            opp->run(c.doc.surface, c.doc.maps, c.doc.histograms, values);
            c.doc.FilterValue1 = values[0];
            c.doc.FilterValue2 = values[1];
            c.doc.FilterValue3 = values[2];
            c.doc.state.ImageModified = true;
            c.host.Refresh();
        };
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

std::span<const BatchKeyword> BatchKeywords()
{
    static const std::vector<BatchKeyword> table = buildTable();
    return table;
}

const BatchKeyword* FindBatchKeyword(std::string_view keyword)
{
    for (const BatchKeyword& k : BatchKeywords())
        if (k.keyword == keyword) return &k;
    return nullptr;
}

LineOutcome PerformBatchLine(const std::string& line, BatchLineParser& parser, BatchContext& ctx)
{
    if (line.empty()) return LineOutcome::Empty;
    const BatchInstruction ins = parser.Parse(line);
    if (!ins.valid) return LineOutcome::InvalidField;
    // Text lines: "TEXTMARK_TOPLEFT=..." is keyword TEXTMARK_TOPLEFT; a bare
    // "SAVE" line stands for itself.
    const BatchKeyword* k = FindBatchKeyword(ins.keyword);
    if (!k) return ins.keyword.find_first_not_of(' ') == std::string::npos ? LineOutcome::Empty
                                                                           : LineOutcome::Unknown;
    for (int a = 0; a < k->argCount; ++a) {
        const int v = ins.fields[size_t(a)];
        if (v < k->ranges[size_t(a)].min || v > k->ranges[size_t(a)].max)
            return LineOutcome::OutOfRange;
    }
    k->perform(ctx, ins);
    return LineOutcome::Performed;
}

void PerformBatchScript(const std::vector<std::string>& lines, BatchContext& ctx,
                        const std::function<void(int, const std::string&, LineOutcome)>& onLine)
{
    BatchLineParser parser;
    const bool wasRunning = ctx.doc.state.BatchRunning;
    ctx.doc.state.BatchRunning = true;
    for (size_t n = 0; n < lines.size() && !ctx.abortRequested; ++n) {
        const LineOutcome r = PerformBatchLine(lines[n], parser, ctx);
        if (onLine) onLine(int(n + 1), lines[n], r);
    }
    ctx.doc.state.BatchRunning = wasRunning;
}

} // namespace lumara
