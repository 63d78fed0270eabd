#include "app/settings/SettingsStore.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumara;

namespace {

const std::string kHeaderLine = "[Korvane LUMARA settings]\n";

std::string allBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += static_cast<char>(i);
    return s;
}

} // namespace

TEST(SettingsStore, MissingFileIsAnEmptyStore) {
    TempFolder dir;
    SettingsStore store(dir / "Korvane/LUMARA.conf");
    EXPECT_EQ(store.State(), SettingsStore::LoadState::Missing);
    EXPECT_TRUE(store.ValueNames().empty());
    EXPECT_FALSE(store.Has(kViewSettingsValue));
    // Reading creates nothing.
    EXPECT_FALSE(std::filesystem::exists(dir / "Korvane"));
}

TEST(SettingsStore, StringsRoundTripExactly) {
    const std::vector<std::string> texts = {
        "",
        "/home/user/Pictures",
        "a=b=c",
        "first line\nsecond line",
        "carriage\rreturn\r\n",
        std::string("nul\0inside", 10),
        std::string(1, '\0'),
        "tab\there",
        "back\\slash\\",
        "\\x41 looks like an escape",
        "\\",
        "  blanks around  ",
        "#not a comment",
        "s:b:=",
        "Bilder/Ferien \xC3\xA9t\xC3\xA9 \xE2\x9C\x93",
        "\xFF\xFE not UTF-8 \x80",
        "\x7F\x01\x1F",
    };
    TempFolder dir;
    const std::string path = dir / "Korvane/LUMARA.conf";
    {
        SettingsStore store(path);
        for (size_t i = 0; i < texts.size(); ++i)
            store.WriteString("s" + std::to_string(i), texts[i]);
        ASSERT_TRUE(store.Flush());
    }
    SettingsStore again(path);
    EXPECT_EQ(again.State(), SettingsStore::LoadState::Read);
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        const auto v = again.ReadString("s" + std::to_string(i));
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(*v, texts[i]);
        EXPECT_FALSE(again.ReadBinary("s" + std::to_string(i)).has_value());
    }
}

TEST(SettingsStore, BinaryValuesRoundTripExactly) {
    const std::vector<std::string> blocks = {
        "", std::string(1, '\0'), std::string(148, '\0'), allBytes(), "=\n\r\\", "\xC3\xA9\xFF",
    };
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    {
        SettingsStore store(path);
        for (size_t i = 0; i < blocks.size(); ++i)
            store.WriteBinary("b" + std::to_string(i), blocks[i].data(), blocks[i].size());
        ASSERT_TRUE(store.Flush());
    }
    SettingsStore again(path);
    for (size_t i = 0; i < blocks.size(); ++i) {
        SCOPED_TRACE(i);
        const auto v = again.ReadBinary("b" + std::to_string(i));
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(std::string(v->begin(), v->end()), blocks[i]);
        EXPECT_FALSE(again.ReadString("b" + std::to_string(i)).has_value());
    }
}

TEST(SettingsStore, NamesRoundTripExactly) {
    const std::vector<std::string> names = {
        kViewSettingsValue,
        kOpenDirValue,
        kSaveDirValue,
        kJpegWizardValue,
        kEffectSelectionValue,
        "Wallpaper",
        "with=equals",
        "with space",
        "new\nline",
        "\\",
        "#hash",
        "a#",
        "n\xC3\xA4me",
        "",
        std::string("z\0z", 3),
    };
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    {
        SettingsStore store(path);
        for (const auto& n : names)
            store.WriteString(n, "value of " + n);
        ASSERT_TRUE(store.Flush());
    }
    SettingsStore again(path);
    EXPECT_EQ(again.ValueNames().size(), names.size());
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        EXPECT_EQ(again.ReadString(n).value_or("<absent>"), "value of " + n);
    }
}

TEST(SettingsStore, FileFormatIsPlainText) {
    SettingsStore::Values values;
    values["OpenDir"] = {false, "/a b/c=d\n"};
    values["selFX01"] = {true, std::string("\x00\x01\xFF", 3)};
    values["x=y"] = {false, ""};
    values["#x#"] = {false, "#"};
    EXPECT_EQ(SettingsStore::FormatText(values), kHeaderLine + "\\x23x#=s:#\n" +
                                                     "OpenDir=s:/a b/c=d\\n\n" +
                                                     "selFX01=b:0001ff\n" + "x\\x3dy=s:\n");
}

TEST(SettingsStore, ParsesWhatItWrites) {
    SettingsStore::Values values;
    values["a"] = {false, allBytes()};
    values["b"] = {true, allBytes()};
    values[allBytes().substr(1)] = {false, "name of every byte but NUL"};
    SettingsStore::Values back;
    ASSERT_TRUE(SettingsStore::ParseText(SettingsStore::FormatText(values), back));
    EXPECT_EQ(back, values);
}

TEST(SettingsStore, AcceptsCommentsBlankLinesAndCrlf) {
    SettingsStore::Values values;
    ASSERT_TRUE(
        SettingsStore::ParseText("[Korvane LUMARA settings]\r\n# note\r\n\r\nOpenDir=s:/x\r\n"
                                 "k=b:0A\r\n",
                                 values));
    EXPECT_EQ(values.at("OpenDir"), (SettingsStore::Value{false, "/x"}));
    EXPECT_EQ(values.at("k"), (SettingsStore::Value{true, "\n"}));
}

TEST(SettingsStore, RefusesWhatIsNotAStore) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty file", ""},
        {"foreign ini", "[General]\nOpenDir=/x\n"},
        {"header later", "\n" + kHeaderLine},
        {"header with blanks", " [Korvane LUMARA settings]\n"},
        {"no equals", kHeaderLine + "OpenDir\n"},
        {"no kind", kHeaderLine + "OpenDir=/x\n"},
        {"unknown kind", kHeaderLine + "OpenDir=d:12\n"},
        {"kind without colon", kHeaderLine + "OpenDir=s/x\n"},
        {"odd hex", kHeaderLine + "VControls5700=b:abc\n"},
        {"bad hex", kHeaderLine + "VControls5700=b:zz\n"},
        {"bad escape", kHeaderLine + "OpenDir=s:\\q\n"},
        {"escape at end", kHeaderLine + "OpenDir=s:abc\\\n"},
        {"short hex escape", kHeaderLine + "OpenDir=s:\\x4\n"},
        {"bad hex escape", kHeaderLine + "OpenDir=s:\\xg1\n"},
        {"duplicate", kHeaderLine + "OpenDir=s:/a\nOpenDir=s:/b\n"},
        {"binary junk", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        SettingsStore::Values values;
        EXPECT_FALSE(SettingsStore::ParseText(text, values));
    }
}

TEST(SettingsStore, CorruptFileReadsAsEmptyAndIsReplacedByTheNextWrite) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    writeFile(path, kHeaderLine + "OpenDir=s:/good\nVControls5700=b:0g\n");
    SettingsStore store(path);
    EXPECT_EQ(store.State(), SettingsStore::LoadState::Invalid);
    EXPECT_FALSE(store.Has(kOpenDirValue));
    store.WriteString(kSaveDirValue, "/saved");
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(readFile(path), kHeaderLine + "SaveDir=s:/saved\n");
}

TEST(SettingsStore, OversizedFileIsNotRead) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    writeFile(path, kHeaderLine + "OpenDir=s:/x\n");
    std::filesystem::resize_file(path, SettingsStore::kMaxFileSize + 1);
    SettingsStore store(path);
    EXPECT_EQ(store.State(), SettingsStore::LoadState::Invalid);
    EXPECT_TRUE(store.ValueNames().empty());
}

TEST(SettingsStore, UnreadableStoreMeansDefaultsAndAFailedWriteIsQuiet) {
    TempFolder dir;
    // A folder where the file should be: it can be neither read nor replaced.
    const std::string path = dir / "LUMARA.conf";
    std::filesystem::create_directories(path);
    SettingsStore store(path);
    EXPECT_EQ(store.State(), SettingsStore::LoadState::Unreadable);
    store.WriteString(kOpenDirValue, "/x");
    EXPECT_FALSE(store.Flush());
    EXPECT_TRUE(store.Pending());
    EXPECT_TRUE(std::filesystem::is_directory(path));
    // Only the folder is there: no temporary file left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(SettingsStore, WriteFailsQuietlyWhenTheFolderCannotExist) {
    TempFolder dir;
    writeFile(dir / "plain", "a regular file");
    SettingsStore store(dir / "plain/Korvane/LUMARA.conf");
    EXPECT_EQ(store.State(), SettingsStore::LoadState::Missing);
    store.WriteBinary(kViewSettingsValue, std::vector<uint8_t>(148, 1));
    EXPECT_FALSE(store.Flush());
    EXPECT_EQ(readFile(dir / "plain"), "a regular file");
}

TEST(SettingsStore, FailedWriteKeepsTheOldStoreWhole) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    {
        SettingsStore store(path);
        store.WriteString(kOpenDirValue, "/old");
        ASSERT_TRUE(store.Flush());
    }
    const std::string before = readFile(path);

    // Make every write past 64 bytes fail, as a full disk would, while the
    // new store is several kilobytes.
    SettingsStore store(path);
    store.WriteBinary("big", std::vector<uint8_t>(4096, 0x5A));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = store.Flush();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    // The change is still pending and goes through once writing works again.
    EXPECT_TRUE(store.Flush());
    EXPECT_EQ(SettingsStore(path).ReadBinary("big")->size(), 4096u);
    EXPECT_EQ(SettingsStore(path).ReadString(kOpenDirValue).value_or(""), "/old");
}

TEST(SettingsStore, FlushMergesWithValuesWrittenMeanwhile) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    SettingsStore first(path);
    SettingsStore second(path);
    first.WriteString(kOpenDirValue, "/first");
    second.WriteBinary(kEffectSelectionValue, std::vector<uint8_t>(256, 3));
    ASSERT_TRUE(first.Flush());
    ASSERT_TRUE(second.Flush());
    SettingsStore reader(path);
    EXPECT_EQ(reader.ReadString(kOpenDirValue).value_or(""), "/first");
    EXPECT_EQ(reader.ReadBinary(kEffectSelectionValue).value_or(std::vector<uint8_t>()).size(),
              256u);
    // The second object now also sees the first one's value.
    EXPECT_EQ(second.ReadString(kOpenDirValue).value_or(""), "/first");
}

TEST(SettingsStore, DeleteAndOverwrite) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    {
        SettingsStore s(path);
        s.WriteString("a", "1");
        s.WriteString("b", "2");
        ASSERT_TRUE(s.Flush());
    }
    {
        SettingsStore s(path);
        s.DeleteValue("a");
        s.WriteBinary("b", "\x02", 1); // another kind under the same name
        EXPECT_FALSE(s.Has("a"));
        ASSERT_TRUE(s.Flush());
    }
    SettingsStore s(path);
    EXPECT_FALSE(s.Has("a"));
    EXPECT_FALSE(s.ReadString("b").has_value());
    EXPECT_EQ(s.ReadBinary("b").value_or(std::vector<uint8_t>()), std::vector<uint8_t>{2});
}

TEST(SettingsStore, UnflushedChangesSurviveReload) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    writeFile(path, kHeaderLine + "OpenDir=s:/disk\nSaveDir=s:/disk\n");
    SettingsStore s(path);
    s.WriteString(kOpenDirValue, "/mine");
    writeFile(path, kHeaderLine + "OpenDir=s:/other\nSaveDir=s:/other\n");
    s.Reload();
    EXPECT_EQ(s.ReadString(kOpenDirValue).value_or(""), "/mine");
    EXPECT_EQ(s.ReadString(kSaveDirValue).value_or(""), "/other");
}

TEST(SettingsStore, FlushWithoutChangesWritesNothing) {
    TempFolder dir;
    SettingsStore s(dir / "Korvane/LUMARA.conf");
    EXPECT_TRUE(s.Flush());
    EXPECT_FALSE(std::filesystem::exists(dir / "Korvane"));
}

namespace {
class EnvGuard {
  public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v;
    }
    ~EnvGuard() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};
} // namespace

TEST(SettingsStore, DefaultPathFollowsXdgConfigHome) {
    EnvGuard xdg("XDG_CONFIG_HOME");
    EnvGuard home("HOME");
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "/cfg/Korvane/LUMARA.conf");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsStore::DefaultPath(), "/home/someone/.config/Korvane/LUMARA.conf");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "/home/someone/.config/Korvane/LUMARA.conf");
    setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "/home/someone/.config/Korvane/LUMARA.conf");
}

TEST(SettingsStore, LinkedStoreIsWrittenThroughTheLink) {
    TempFolder dir;
    std::filesystem::create_directories(dir / "dotfiles");
    std::filesystem::create_directories(dir / "Korvane");
    const std::string real = dir / "dotfiles/lumara.conf";
    const std::string link = dir / "Korvane/LUMARA.conf";
    std::filesystem::create_symlink("../dotfiles/lumara.conf", link);
    {
        SettingsStore s(link);
        EXPECT_EQ(s.State(), SettingsStore::LoadState::Missing);
        s.WriteString(kOpenDirValue, "/one");
        ASSERT_TRUE(s.Flush());
    }
    {
        SettingsStore s(link);
        s.WriteString(kSaveDirValue, "/two");
        ASSERT_TRUE(s.Flush());
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    SettingsStore s(real);
    EXPECT_EQ(s.ReadString(kOpenDirValue).value_or(""), "/one");
    EXPECT_EQ(s.ReadString(kSaveDirValue).value_or(""), "/two");
}

TEST(SettingsStore, InstancesClosingTogetherKeepEachOthersValues) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    constexpr int kRounds = 25;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const char* who = child == 0 ? "child" : "parent";
    bool allWritten = true;
    for (int i = 0; i < kRounds; ++i) {
        SettingsStore s(path);
        s.WriteString(std::string(who) + std::to_string(i), std::to_string(i));
        allWritten = s.Flush() && allWritten;
    }
    if (child == 0) _exit(allWritten ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(allWritten);
    SettingsStore s(path);
    EXPECT_EQ(s.State(), SettingsStore::LoadState::Read);
    EXPECT_EQ(s.ValueNames().size(), size_t(2 * kRounds));
}

TEST(SettingsStore, DamagedStoresNeverBreakTheReader) {
    // Start from a real store and damage it in many ways: every outcome must
    // be either a refusal or values that survive another write and read.
    SettingsStore::Values values;
    values["VControls5700"] = {true, std::string(148, '\x01')};
    values["OpenDir"] = {false, "/home/u/Bilder \xC3\xA9\n"};
    values["selFX01"] = {true, allBytes()};
    const std::string good = SettingsStore::FormatText(values);
    std::mt19937 random(12345);
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text = good;
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = random() % text.size();
            switch (random() % 4) {
            case 0:
                text[at] = static_cast<char>(random());
                break;
            case 1:
                text.erase(at, 1 + random() % 8);
                break;
            case 2:
                text.insert(at, 1, "\\=\n:#sbx0"[random() % 9]);
                break;
            case 3:
                text.resize(at);
                break;
            }
        }
        SettingsStore::Values parsed;
        if (!SettingsStore::ParseText(text, parsed)) continue;
        ++accepted;
        SettingsStore::Values again;
        ASSERT_TRUE(SettingsStore::ParseText(SettingsStore::FormatText(parsed), again));
        ASSERT_EQ(again, parsed);
    }
    EXPECT_GT(accepted, 0);
}

TEST(SettingsStore, PipeInPlaceOfTheStoreIsUnreadableAndDoesNotBlock) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    SettingsStore store(path);
    EXPECT_EQ(store.State(), SettingsStore::LoadState::Unreadable);
    EXPECT_TRUE(store.ValueNames().empty());
}
