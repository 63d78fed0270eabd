#include "app/shell/InstanceAtoms.h"
#include "app/shell/ShellServices.h"
#include "app/shell/StartupCommandLine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace lumara;
namespace fs = std::filesystem;

TEST(CommandLine, NoArgumentsIsEmpty)
{
    const auto c = ParseCommandLine({}, "/tmp");
    EXPECT_TRUE(c.empty);
    EXPECT_TRUE(c.path.empty());
}

TEST(CommandLine, ArgumentsAreJoinedWithSingleBlanksAndKeepTheirCase)
{
    const auto c = ParseCommandLine({"/Photos/My", "Summer", "Pics.JPeg"}, "/tmp");
    EXPECT_FALSE(c.empty);
    EXPECT_EQ(c.path, "/Photos/My Summer Pics.JPeg");
    EXPECT_EQ(c.extension, ".JPEG");
}

TEST(CommandLine, RelativePathIsResolvedAgainstTheWorkingFolder)
{
    const auto c = ParseCommandLine({"a/../Img.bmp"}, "/work/Folder");
    EXPECT_EQ(c.path, "/work/Folder/Img.bmp");
    EXPECT_EQ(c.extension, ".BMP");
}

TEST(CommandLine, ExistingFolderIsCanonical)
{
    const fs::path dir = fs::temp_directory_path() / "lumara-cmdline-Test";
    fs::create_directories(dir);
    const auto link = fs::temp_directory_path() / "lumara-cmdline-link";
    fs::remove(link);
    fs::create_directory_symlink(dir, link);
    const auto c = ParseCommandLine({(link / "x.png").string()}, "/");
    EXPECT_EQ(c.path, (fs::canonical(dir) / "x.png").string());
    fs::remove(link);
    fs::remove_all(dir);
}

struct FitCase {
    const char* name;
    TRect saved;
    int sw, sh;
    bool tooSmall;
    TRect expected;
};

class FitBounds : public testing::TestWithParam<FitCase> {};

TEST_P(FitBounds, FitsAsTheRulesSay)
{
    const FitCase& c = GetParam();
    bool small = false;
    const TRect r = FitBoundsToScreen(c.saved, c.sw, c.sh, &small);
    EXPECT_EQ(small, c.tooSmall);
    if (!c.tooSmall) EXPECT_EQ(r, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitBounds,
    testing::Values(
        FitCase{"inside", {10, 20, 810, 620}, 1024, 768, false, {10, 20, 810, 620}},
        FitCase{"fiftyByFifty", {100, 100, 150, 150}, 1024, 768, true, {}},
        FitCase{"narrowOnly", {0, 0, 63, 500}, 1024, 768, true, {}},
        FitCase{"offRight", {600, 10, 1400, 410}, 1024, 768, false, {224, 10, 1024, 410}},
        FitCase{"tallerThanScreen", {0, 100, 500, 1200}, 1024, 768, false, {0, 0, 500, 768}},
        FitCase{"negativeLeftTop", {-300, -20, 200, 480}, 1024, 768, false, {0, 0, 200, 480}},
        FitCase{"widerThanScreen", {50, 0, 2050, 300}, 1024, 768, false, {0, 0, 1024, 300}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShellServices, DiskSpaceWarningText)
{
    EXPECT_EQ(DiskSpaceWarningText(1048576, 2047, "Batch stopped."),
              "Insufficient disk space.\nReq.: 1024 Kb\nFree: 1 Kb\n\nBatch stopped.");
}

TEST(ShellServices, FreeSpaceIsCappedAndUnknownPathsGiveZero)
{
    const int64_t free = FreeSpaceOf("/");
    EXPECT_GT(free, 0);
    EXPECT_LE(free, 2147483647);
    EXPECT_LE(DiskSizeOf("/"), 2147483647);
    EXPECT_GE(DiskSizeOf("/"), free);
    EXPECT_EQ(FreeSpaceOf("/no/such/folder/at/all"), 0);
}

TEST(ShellServices, CheckAppPathFindsProgramsOnPathAndCreatesNothing)
{
    EXPECT_TRUE(CheckAppPath("sh"));
    EXPECT_TRUE(CheckAppPath("sh.exe"));
    EXPECT_TRUE(CheckAppPath("SH.EXE") == CheckAppPath("SH"));
    EXPECT_FALSE(CheckAppPath("no-such-program-lumara"));
    EXPECT_FALSE(CheckAppPath(""));
    EXPECT_FALSE(CheckAppPath("../bin/sh"));
}

TEST(ShellServices, PathHelpers)
{
    EXPECT_EQ(AddTrailingSeparator("/a/b"), "/a/b/");
    EXPECT_EQ(AddTrailingSeparator("/a/b/"), "/a/b/");
    EXPECT_EQ(TrimLeadingBlanks("   /x y"), "/x y");
    EXPECT_EQ(TrimLeadingBlanks("   "), "");
    EXPECT_EQ(UpperExtension("/a.b/file.tar.Gz"), ".GZ");
    EXPECT_EQ(UpperExtension("/a.b/file"), "");
    EXPECT_EQ(UpperExtension("Photo.jpg"), ".JPG");
}

class Atoms : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("lumara-atoms-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(Atoms, AddDeleteExists)
{
    EXPECT_EQ(AtomDirectory(), (dir_ / "lumara").string());
    EXPECT_FALSE(AtomExists(kInstanceAtom));
    EXPECT_TRUE(AddAtom(kInstanceAtom));
    EXPECT_TRUE(AtomExists(kInstanceAtom));
    DeleteAtom(kInstanceAtom);
    EXPECT_FALSE(AtomExists(kInstanceAtom));
}

struct StartCase {
    const char* name;
    bool instanceAtom, albumAtom, multiple, emptyCommandLine;
    StartDecision decision;
    bool holds, instanceAtomAfter;
};

class InstanceStart : public Atoms, public testing::WithParamInterface<StartCase> {};

TEST_P(InstanceStart, FollowsTheRule)
{
    const StartCase& c = GetParam();
    if (c.instanceAtom) AddAtom(kInstanceAtom);
    if (c.albumAtom) AddAtom(kAlbumShowAtom);
    bool holds = true;
    EXPECT_EQ(DecideInstanceStart(c.multiple, c.emptyCommandLine, &holds), c.decision);
    EXPECT_EQ(holds, c.holds);
    EXPECT_EQ(AtomExists(kInstanceAtom), c.instanceAtomAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstanceStart,
    testing::Values(
        StartCase{"firstStart", false, false, false, true, StartDecision::Run, true, true},
        StartCase{"secondWithoutFileClearsStale", true, false, false, true,
                  StartDecision::EndSilently, false, false},
        StartCase{"secondWithFileKeepsAtom", true, false, false, false, StartDecision::EndSilently,
                  false, true},
        StartCase{"albumShowRunning", false, true, false, false, StartDecision::EndSilently, false,
                  false},
        StartCase{"albumShowEvenWithMultiple", false, true, true, true, StartDecision::EndSilently,
                  false, false},
        StartCase{"multipleViewersAllowed", true, false, true, true, StartDecision::Run, false,
                  true}),
    [](const auto& info) { return std::string(info.param.name); });
