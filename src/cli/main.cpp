// lumara-cli: Lumara's image commands without a display.
#include "batch/language/BatchKeywords.h"
#include "codecs/imglib/ImgLib.h"
#include "codecs/model/Stream.h"
#include "codecs/model/Version.h"
#include "document/Document.h"
#include "document/ImageWriter.h"
#include "document/Loader.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace lumara;
namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "Usage: lumara-cli COMMAND [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  info FILE...                     size, depth, pages and type of each file\n"
    "  convert IN OUT [--type N] [--quality Q] [--progressive]\n"
    "                                   read IN and write OUT (type from OUT's extension,\n"
    "                                   or N: 1 bmp, 2 pcx, 3 png, 4 gray jpg, 5 jpg, 6 tga,\n"
    "                                   7 tif, 8 deflate tif, 9 adobe deflate tif,\n"
    "                                   10 fax3 tif, 11 fax4 tif, 12 packbits tif)\n"
    "  apply IN OUT LINE...             perform batch lines (e.g. GAMMA=120,110,100) on IN,\n"
    "                                   then write OUT as convert does\n"
    "  run SCRIPT.bip IN... -o DIR [--to TYPE] [-j N]\n"
    "                                   perform the script on each input and write the\n"
    "                                   results into DIR (TYPE: a number or an extension)\n"
    "\n"
    "Options:\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n";

std::mutex gOutput;

void errorLine(const std::string& text)
{
    std::lock_guard<std::mutex> lock(gOutput);
    std::fprintf(stderr, "%s\n", text.c_str());
}

// Reads path through the program's loading route into doc; empty on success,
// else the reason (naming the file).
std::string loadInto(Document& doc, TLoader& loader, const std::string& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec)) return path + ": No such file";
    if (fs::is_directory(path, ec)) return path + ": Is a folder";
    doc.state.PreviousFile = doc.state.CurrentFile = path;
    LoadSettings settings;
    settings.AutoReduce = false;
    settings.FastRefresh = false;
    settings.BackColor = 0xFFFFFF;
    const int probe = loader.OpenByType(settings);
    if (probe < 0 || probe == prMedia) {
        std::string reason = loader.LastError();
        return reason.empty() ? path + ": not an image Lumara reads" : reason;
    }
    if (!loader.Decode(settings)) return loader.LastError();
    doc.state.CurrentFile = path;
    return {};
}

const char* typeName(const std::string& ext)
{
    static const struct {
        const char* ext;
        const char* name;
    } kNames[] = {{".BMP", "BMP"},  {".DIB", "BMP"},  {".PCX", "PCX"},  {".DCX", "DCX"},
                  {".PNG", "PNG"},  {".TGA", "TGA"},  {".TIF", "TIFF"}, {".TIFF", "TIFF"},
                  {".GIF", "GIF"},  {".WEBP", "WebP"}, {".JPG", "JPEG"}, {".JPEG", "JPEG"},
                  {".JPE", "JPEG"}, {".PSD", "PSD"},  {".PCD", "PCD"}};
    for (const auto& n : kNames)
        if (ext == n.ext) return n.name;
    return "unknown";
}

int cmdInfo(const std::vector<std::string>& files)
{
    if (files.empty()) {
        std::fprintf(stderr, "lumara-cli info: no file given\n");
        return 2;
    }
    int failed = 0;
    for (const std::string& f : files) {
        Document doc;
        TLoader loader(doc);
        doc.state.PreviousFile = doc.state.CurrentFile = f;
        std::error_code ec;
        const int probe = fs::is_regular_file(f, ec) ? loader.OpenByType(LoadSettings{}) : prUnknown;
        if (probe != prImage) {
            std::string reason = loader.LastError();
            if (!fs::exists(f, ec)) reason = f + ": No such file";
            if (reason.empty()) reason = f + ": not an image Lumara reads";
            errorLine(reason);
            ++failed;
            continue;
        }
        std::printf("%s %dx%d %d %d %s\n", f.c_str(), doc.state.ImageWidth, doc.state.ImageHeight,
                    doc.state.ImageBitsPerPixel, doc.state.PageCount,
                    typeName(doc.state.CurrentExt));
    }
    return failed ? 1 : 0;
}

struct WriteArgs {
    int type = 0;
    SaveOptions save;
};

// Parses --type/--quality/--progressive from args (removing them); empty on
// success, else the message.
std::string parseWriteOptions(std::vector<std::string>& args, WriteArgs& w)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto number = [&](int lo, int hi, int& out) -> std::string {
            if (i + 1 >= args.size()) return a + " needs a value";
            char* end = nullptr;
            const long v = std::strtol(args[i + 1].c_str(), &end, 10);
            if (*end != 0 || v < lo || v > hi)
                return a + " takes a number from " + std::to_string(lo) + " to " + std::to_string(hi);
            out = int(v);
            ++i;
            return {};
        };
        if (a == "--type") {
            if (auto e = number(1, 12, w.type); !e.empty()) return e;
        } else if (a == "--quality") {
            if (auto e = number(1, 100, w.save.CompressQuality); !e.empty()) return e;
        } else if (a == "--progressive") {
            w.save.Progressive = true;
        } else {
            rest.push_back(a);
        }
    }
    args = rest;
    return {};
}

// Writes doc's surface to out; empty on success, else the message.
std::string writeOut(const Document& doc, const std::string& out, const WriteArgs& w)
{
    int type = w.type ? w.type : SaveTypeForExtension(out);
    if (type == 0) return out + ": unknown output type (use an extension such as .png, or --type)";
    try {
        WriteImageFile(doc.surface, out, type, w.save);
    } catch (const std::exception& e) {
        return out + ": " + e.what();
    }
    return {};
}

struct CliHost : BatchHost {
    std::vector<std::string>* saves = nullptr;
    bool Save(const std::string& suffix) override
    {
        if (saves) saves->push_back(suffix);
        return true;
    }
};

// Performs lines on doc; reports unknown and invalid lines once each.
void performLines(Document& doc, const std::vector<std::string>& lines, const std::string& where,
                  std::vector<bool>* reported, std::vector<std::string>* saves)
{
    CliHost host;
    host.saves = saves;
    BatchContext ctx{doc, host};
    PerformBatchScript(lines, ctx, [&](int n, const std::string& line, LineOutcome r) {
        if (r == LineOutcome::Performed || r == LineOutcome::Empty) return;
        if (reported) {
            if ((*reported)[size_t(n - 1)]) return;
            (*reported)[size_t(n - 1)] = true;
        }
        const char* why = r == LineOutcome::Unknown        ? "unknown keyword, line ignored"
                          : r == LineOutcome::InvalidField ? "a field is not an integer, line ignored"
                                                           : "value out of range, line does nothing";
        errorLine(where + ":" + std::to_string(n) + ": " + why + ": " + line);
    });
}

int cmdConvert(std::vector<std::string> args, bool withLines)
{
    WriteArgs w;
    if (auto e = parseWriteOptions(args, w); !e.empty()) {
        std::fprintf(stderr, "lumara-cli: %s\n", e.c_str());
        return 2;
    }
    if (args.size() < 2 || (!withLines && args.size() != 2)) {
        std::fprintf(stderr, "lumara-cli: %s needs IN and OUT%s\n", withLines ? "apply" : "convert",
                     withLines ? " and batch lines" : "");
        return 2;
    }
    Document doc;
    TLoader loader(doc);
    if (auto e = loadInto(doc, loader, args[0]); !e.empty()) {
        errorLine(e);
        return 1;
    }
    if (withLines) {
        const std::vector<std::string> lines(args.begin() + 2, args.end());
        performLines(doc, lines, "command line", nullptr, nullptr);
    }
    if (auto e = writeOut(doc, args[1], w); !e.empty()) {
        errorLine(e);
        return 1;
    }
    return 0;
}

std::vector<std::string> readScript(const std::string& path, std::string& error)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read the script";
        return lines;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

int cmdRun(std::vector<std::string> args)
{
    std::string outDir;
    std::string to;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> inputs;
    std::string script;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "-o" || a == "--to" || a == "-j") && i + 1 >= args.size()) {
            std::fprintf(stderr, "lumara-cli run: %s needs a value\n", a.c_str());
            return 2;
        }
        if (a == "-o") outDir = args[++i];
        else if (a == "--to") to = args[++i];
        else if (a == "-j") {
            const int n = std::atoi(args[++i].c_str());
            if (n < 1 || n > 256) {
                std::fprintf(stderr, "lumara-cli run: -j takes a number from 1 to 256\n");
                return 2;
            }
            jobs = unsigned(n);
        } else if (script.empty()) script = a;
        else inputs.push_back(a);
    }
    if (script.empty() || inputs.empty() || outDir.empty()) {
        std::fprintf(stderr, "lumara-cli run: needs SCRIPT.bip, at least one input and -o DIR\n");
        return 2;
    }
    std::string error;
    const std::vector<std::string> lines = readScript(script, error);
    if (!error.empty()) {
        errorLine(error);
        return 1;
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
        errorLine(outDir + ": cannot create the output folder");
        return 1;
    }
    int type = 0;
    if (!to.empty()) {
        type = std::atoi(to.c_str());
        if (type < 1 || type > 12) type = SaveTypeForExtension("x." + to);
        if (type == 0) {
            std::fprintf(stderr, "lumara-cli run: unknown type '%s'\n", to.c_str());
            return 2;
        }
    }

    std::atomic<size_t> next{0};
    std::atomic<int> converted{0}, failed{0};
    std::vector<bool> reported(lines.size(), false);
    std::mutex reportLock;
    const bool tty = isatty(2);
    auto worker = [&] {
        Document doc;
        TLoader loader(doc);
        for (size_t i = next++; i < inputs.size(); i = next++) {
            const std::string& in = inputs[i];
            std::string e = loadInto(doc, loader, in);
            if (e.empty()) {
                std::vector<bool> mine;
                {
                    std::lock_guard<std::mutex> lock(reportLock);
                    mine = reported;
                }
                std::vector<std::string> saves;
                performLines(doc, lines, script, &mine, &saves);
                {
                    std::lock_guard<std::mutex> lock(reportLock);
                    for (size_t k = 0; k < mine.size(); ++k) reported[k] = reported[k] || mine[k];
                }
                const int t = type ? type : (SaveTypeForExtension(in) ? SaveTypeForExtension(in) : 3);
                const std::string out = (fs::path(outDir) / fs::path(in).stem()).string() + "." +
                                        SaveTypeExtension(t);
                WriteArgs w;
                w.type = t;
                e = writeOut(doc, out, w);
            }
            if (e.empty()) ++converted;
            else {
                ++failed;
                errorLine(e);
            }
            if (tty) {
                std::lock_guard<std::mutex> lock(gOutput);
                std::fprintf(stderr, "\r%d/%zu", converted + failed, inputs.size());
                std::fflush(stderr);
            }
            doc.CloseLibraryImage();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < std::min<unsigned>(jobs, unsigned(inputs.size())); ++t)
        threads.emplace_back(worker);
    for (auto& t : threads) t.join();
    if (tty) std::fprintf(stderr, "\r");
    std::printf("%d converted, %d failed\n", converted.load(), failed.load());
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string cmd = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (cmd == "--version") {
        std::printf("%s\n", kVersionText);
        return 0;
    }
    if (cmd == "--help" || cmd == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    ImgInit();
    if (cmd == "info") return cmdInfo(args);
    if (cmd == "convert") return cmdConvert(args, false);
    if (cmd == "apply") return cmdConvert(args, true);
    if (cmd == "run") return cmdRun(args);
    std::fprintf(stderr, "lumara-cli: unknown command '%s'\n\n%s", cmd.c_str(), kUsage);
    return 2;
}
