// lumara-cli as scripts use it: its output lines, messages and exit status.
#include "document/Document.h"
#include "document/ImageWriter.h"
#include "document/Loader.h"
#include "processing/lut/PointOperations.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

using namespace lumara;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result run(const std::string& args)
{
    const fs::path errFile = fs::temp_directory_path() / ("lumara-cli-err-" + std::to_string(::getpid()));
    const std::string cmd = std::string(LUMARA_CLI_PATH) + " " + args + " 2>" + errFile.string();
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    fs::remove(errFile);
    return r;
}

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

class Cli : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("lumara-cli-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path make(const std::string& name, int w, int h)
    {
        Bitmap b(w, h, 24);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = b.ScanLine(y) + 3 * x;
                p[0] = uint8_t(x * 7);
                p[1] = uint8_t(y * 11);
                p[2] = uint8_t(x + y);
            }
        const fs::path p = dir_ / name;
        WriteImageFile(b, p.string(), SaveTypeForExtension(name));
        return p;
    }

    static bool load(const fs::path& p, Document& doc, TLoader& loader)
    {
        doc.state.CurrentFile = doc.state.PreviousFile = p.string();
        return loader.OpenByType(LoadSettings{}) == prImage && loader.Decode(LoadSettings{});
    }

    fs::path dir_;
};

} // namespace

TEST_F(Cli, VersionAndHelp)
{
    EXPECT_EQ(run("--version").out, "Lumara 5.7\n");
    const Result h = run("--help");
    EXPECT_EQ(h.status, 0);
    for (const char* word : {"info", "convert", "apply", "run"}) EXPECT_NE(h.out.find(word), std::string::npos);
    EXPECT_EQ(run("frobnicate").status, 2);
    EXPECT_EQ(run("").status, 2);
}

TEST_F(Cli, InfoLinesAndFailures)
{
    const fs::path a = make("a.png", 31, 17);
    const fs::path b = make("b.tif", 8, 9);
    const Result r = run("info " + q(a) + " " + q(b));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, a.string() + " 31x17 24 1 PNG\n" + b.string() + " 8x9 24 1 TIFF\n");

    std::ofstream(dir_ / "bad.bmp") << "garbage";
    const Result bad = run("info " + q(a) + " " + q(dir_ / "bad.bmp") + " " + q(dir_ / "none.png"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, a.string() + " 31x17 24 1 PNG\n");
    EXPECT_NE(bad.err.find((dir_ / "bad.bmp").string() + ": "), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find((dir_ / "none.png").string() + ": No such file"), std::string::npos) << bad.err;
}

struct ConvertCase {
    const char* name;
    const char* out;
    const char* options;
    const char* kind;
};

class CliConvert : public Cli, public testing::WithParamInterface<ConvertCase> {};

TEST_P(CliConvert, WritesTheTypeAsked)
{
    const ConvertCase& c = GetParam();
    const fs::path in = make("in.png", 20, 10);
    const fs::path out = dir_ / c.out;
    const Result r = run("convert " + q(in) + " " + q(out) + " " + c.options);
    ASSERT_EQ(r.status, 0) << r.err;
    const Result info = run("info " + q(out));
    EXPECT_NE(info.out.find(std::string(" 20x10 ")), std::string::npos) << info.out;
    EXPECT_NE(info.out.find(c.kind), std::string::npos) << info.out;
    // Lossless types give the same pixels back.
    if (std::string(c.kind) != "JPEG") {
        Document x, y;
        TLoader lx(x), ly(y);
        ASSERT_TRUE(load(in, x, lx));
        ASSERT_TRUE(load(out, y, ly));
        EXPECT_TRUE(x.surface.SamePixels(y.surface));
    }
}

INSTANTIATE_TEST_SUITE_P(Types, CliConvert,
                         testing::Values(ConvertCase{"bmp", "o.bmp", "", "BMP"},
                                         ConvertCase{"pcx", "o.pcx", "", "PCX"},
                                         ConvertCase{"tga", "o.tga", "", "TGA"},
                                         ConvertCase{"tif", "o.tif", "", "TIFF"},
                                         ConvertCase{"deflateTif", "o.tif", "--type 8", "TIFF"},
                                         ConvertCase{"jpg", "o.jpg", "--quality 90", "JPEG"},
                                         ConvertCase{"progressiveJpg", "o.jpeg", "--progressive", "JPEG"},
                                         ConvertCase{"grayJpg", "o.jpg", "--type 4", "JPEG"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, ConvertFailuresKeepTheOldOutput)
{
    const fs::path in = make("in.png", 4, 4);
    const fs::path out = dir_ / "keep.tif";
    std::ofstream(out) << "old contents";
    // Fax compression needs a bilevel picture: refused, the old file stays.
    const Result r = run("convert " + q(in) + " " + q(out) + " --type 11");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(out.string() + ": "), std::string::npos) << r.err;
    std::ifstream kept(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "old contents");
    EXPECT_EQ(run("convert " + q(in) + " " + q(dir_ / "x.unknown")).status, 1);
    EXPECT_EQ(run("convert " + q(in)).status, 2);
    EXPECT_EQ(run("convert " + q(in) + " " + q(out) + " --quality 0").status, 2);
    EXPECT_EQ(run("convert " + q(dir_ / "missing.png") + " " + q(out)).status, 1);
}

TEST_F(Cli, ApplyPerformsBatchLinesAsTheEngineDoes)
{
    const fs::path in = make("in.png", 16, 8);
    const fs::path out = dir_ / "out.png";
    const Result r = run("apply " + q(in) + " " + q(out) + " GAMMA=150,150,150 'FOO=1' BRIGHTNESS=200,0,0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("command line:2: unknown keyword"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("command line:3: value out of range"), std::string::npos) << r.err;
    Document expected, got;
    TLoader le(expected), lg(got);
    ASSERT_TRUE(load(in, expected, le));
    expected.Ensure24();
    ApplyGamma(expected.surface, expected.maps, 150, 150, 150);
    ASSERT_TRUE(load(out, got, lg));
    got.Ensure24();
    EXPECT_TRUE(got.surface.SamePixels(expected.surface));
}

TEST_F(Cli, RunOverManyFilesReportsFailuresByName)
{
    std::string inputs;
    for (int i = 0; i < 6; ++i) inputs += " " + q(make("f" + std::to_string(i) + ".bmp", 5 + i, 4));
    std::ofstream(dir_ / "broken.png") << "not a png";
    inputs += " " + q(dir_ / "broken.png") + " " + q(dir_ / "gone.tga");
    std::ofstream(dir_ / "script.bip") << "NEGATIVE\r\nGAMMA=80,80,80\r\nWHATEVER\r\n";
    const fs::path out = dir_ / "out";
    const Result r = run("run " + q(dir_ / "script.bip") + inputs + " -o " + q(out) + " --to png -j 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "6 converted, 2 failed\n");
    EXPECT_NE(r.err.find((dir_ / "broken.png").string() + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find((dir_ / "gone.tga").string() + ": No such file"), std::string::npos) << r.err;
    // The unknown line is reported once, not once per file.
    const std::string unknown = "script.bip:3: unknown keyword";
    const size_t first = r.err.find(unknown);
    ASSERT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(unknown, first + 1), std::string::npos) << r.err;
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(fs::exists(out / ("f" + std::to_string(i) + ".png")));
    EXPECT_FALSE(fs::exists(out / "broken.png"));
}

TEST_F(Cli, RunRefusesAMissingScriptOrFolder)
{
    const fs::path in = make("a.png", 2, 2);
    const Result r = run("run " + q(dir_ / "none.bip") + " " + q(in) + " -o " + q(dir_ / "o"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.bip: cannot read the script"), std::string::npos) << r.err;
    std::ofstream(dir_ / "s.bip") << "NEGATIVE\n";
    std::ofstream(dir_ / "file") << "x";
    const Result f = run("run " + q(dir_ / "s.bip") + " " + q(in) + " -o " + q(dir_ / "file/sub"));
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("cannot create the output folder"), std::string::npos) << f.err;
    EXPECT_EQ(run("run " + q(dir_ / "s.bip") + " " + q(in)).status, 2);
}
