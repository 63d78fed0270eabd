#include "app/settings/SettingsLifecycle.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

using namespace lumara;

namespace {

const TRect kStart{40, 30, 840, 630};

// One complete run: entry, window creation, optional changes, close.
struct ProgramRun {
    StoredViewSettings stored;
    TOptions options;
    bool written = false;
};

ProgramRun runOnce(const std::string& path, int bitsPerPixel,
                   const std::function<void(TOptions&)>& change = {}) {
    ProgramRun run;
    SettingsStore entryStore(path);
    run.stored = ReadViewSettings(entryStore);
    SettingsStore store(path);
    run.options = OptionsAtWindowCreation(run.stored, store, bitsPerPixel, kStart);
    if (change) change(run.options);
    StoreBoundsAtClose(run.options, run.options.MainBounds, nullptr, nullptr, run.stored.Present);
    SettingsStore closeStore(path);
    run.written = WriteSettingsAtClose(closeStore, run.stored.Record, run.options);
    return run;
}

std::vector<uint8_t> storedRecord(const std::string& path) {
    return SettingsStore(path).ReadBinary(kViewSettingsValue).value_or(std::vector<uint8_t>());
}

void storeRecord(const std::string& path, const ViewSettingsBytes& bytes) {
    SettingsStore s(path);
    s.WriteBinary(kViewSettingsValue, bytes.data(), bytes.size());
    ASSERT_TRUE(s.Flush());
}

} // namespace

TEST(SettingsLifecycle, AbsentRecordReadsAsZerosForTheEntryChecks) {
    TempFolder dir;
    const StoredViewSettings stored = ReadViewSettings(SettingsStore(dir / "LUMARA.conf"));
    EXPECT_FALSE(stored.Present);
    EXPECT_EQ(stored.Record.ToBytes(), ViewSettingsBytes{});
    EXPECT_FALSE(stored.Record.MultipleViewers);
}

TEST(SettingsLifecycle, FirstRunWritesTheDefaults) {
    TempFolder dir;
    const std::string path = dir / "Korvane/LUMARA.conf";
    const ProgramRun run = runOnce(path, 24);
    EXPECT_FALSE(run.stored.Present);
    ASSERT_TRUE(run.written);

    const std::vector<uint8_t> bytes = storedRecord(path);
    ASSERT_EQ(bytes.size(), kViewSettingsSize);
    const ViewSettings s = *ViewSettings::FromBytes(bytes.data(), bytes.size());
    ViewSettings expected = DefaultViewSettings(24, kStart);
    EXPECT_EQ(s, expected);
    // Spelled out, for the fields whose first-run value matters to the user.
    EXPECT_TRUE(s.MenuBar && s.ToolBar && s.StatusBar && s.ButtonText && s.PathBox);
    EXPECT_TRUE(s.AutoReduce && s.AutoSize && s.AutoCenter);
    EXPECT_EQ(s.BackColor, 0u);
    EXPECT_EQ(s.JpegPalette, 3);
    EXPECT_EQ(s.SlideshowDelay, 1000);
    EXPECT_EQ(s.Volume, 500);
    EXPECT_EQ(s.PhotoCdStep, 3);
    EXPECT_EQ(s.EffectsSpeed, 1);
    EXPECT_TRUE(s.MultipleViewers);
    EXPECT_TRUE(s.FastRefresh);
    EXPECT_EQ(s.BatchEditorBounds, kStart);
    EXPECT_EQ(s.CommentBounds, kStart);
    EXPECT_EQ(s.MainBounds, kStart);
    // Padding and reserved bytes of a new record are zero.
    for (size_t at : {55, 74, 75, 93, 94, 95, 114, 115, 132, 137, 143, 145, 146, 147})
        EXPECT_EQ(bytes[at], 0) << "byte " << at;

    SettingsStore store(path);
    EXPECT_EQ(store.ReadString(kOpenDirValue).value_or("<absent>"), "");
    EXPECT_EQ(store.ReadString(kSaveDirValue).value_or("<absent>"), "");
    EXPECT_FALSE(store.Has(kJpegWizardValue));

    // The second run finds them.
    const ProgramRun second = runOnce(path, 24);
    EXPECT_TRUE(second.stored.Present);
    EXPECT_EQ(storedRecord(path), bytes);
}

TEST(SettingsLifecycle, FirstRunOnAnEightBitScreenStoresFastRefreshOff) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    runOnce(path, 8);
    EXPECT_EQ(storedRecord(path).at(144), 0);
}

TEST(SettingsLifecycle, OutOfRangeValuesAreRepairedAndWrittenBackRepaired) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    ViewSettings s = DefaultViewSettings(24, kStart);
    s.SlideshowDelay = 70000;
    s.JpegPalette = 7;
    s.FaxQuality = -1;
    s.Volume = 0;
    storeRecord(path, s.ToBytes());

    const ProgramRun run = runOnce(path, 24);
    EXPECT_TRUE(run.stored.Present);
    EXPECT_EQ(run.options.SlideshowDelay, 1000);
    EXPECT_EQ(run.options.JpegPalette, 3);
    EXPECT_EQ(run.options.FaxQuality, 0);
    EXPECT_EQ(run.options.Volume, 1);
    const auto bytes = storedRecord(path);
    const ViewSettings back = *ViewSettings::FromBytes(bytes.data(), bytes.size());
    EXPECT_EQ(back.SlideshowDelay, 1000);
    EXPECT_EQ(back.JpegPalette, 3);
}

TEST(SettingsLifecycle, FastRefreshIsForcedOffOnEightBitScreens) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    ViewSettings s = DefaultViewSettings(24, kStart);
    s.FastRefresh = true;
    storeRecord(path, s.ToBytes());
    const ProgramRun run = runOnce(path, 8);
    EXPECT_FALSE(run.options.FastRefresh);
    EXPECT_EQ(storedRecord(path).at(144), 0);
}

TEST(SettingsLifecycle, RecordRoundTripsByteForByteThroughARun) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    ViewSettings s = DefaultViewSettings(24, {12, 34, 1012, 734});
    s.BatchEditorBounds = {100, 110, 500, 400};
    s.CommentBounds = {200, 210, 600, 500};
    s.Pad55 = 0x55;
    s.Pad74 = {0x74, 0x75};
    s.Pad93 = {0x93, 0x94, 0x95};
    s.Pad114 = {0x14, 0x15};
    s.Reserved132 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    s.Pad145 = {0x45, 0x46, 0x47};
    s.CommonControlsLevel = 4;
    s.MediaFrameExtra1 = -17;
    s.MediaFrameExtra2 = 123456;
    s.MediaFrameExtra3 = 7;
    s.MediaReferenceResolution = 120;
    s.BackColor = 0x00123456;
    s.FitToWindow = true;
    s.UseScreen = true;
    s.VurJukebox = true;
    s.MultipleViewers = false;
    s.SlideshowDelay = 1;
    s.Volume = 999;
    s.TextPosition = 2;
    s.SvgaPalette = 1;
    s.EffectsSpeed = 3;
    s.PhotoCdStep = 6;
    s.FaxQuality = 3;
    s.JpegPalette = 0;
    const ViewSettingsBytes original = s.ToBytes();
    storeRecord(path, original);
    {
        SettingsStore st(path);
        st.WriteString(kOpenDirValue, "/home/u/Bilder");
        st.WriteString(kSaveDirValue, "/home/u/Out put");
        st.WriteBinary(kJpegWizardValue, std::vector<uint8_t>(16, 9));
        ASSERT_TRUE(st.Flush());
    }

    const ProgramRun run = runOnce(path, 32, [](TOptions& o) {
        // The window works the level out afresh; here it finds the same one.
        o.CommonControlsLevel = 4;
    });
    EXPECT_EQ(run.options.OpenDir, "/home/u/Bilder");
    EXPECT_EQ(run.options.SaveDir, "/home/u/Out put");
    const auto bytes = storedRecord(path);
    ASSERT_EQ(bytes.size(), original.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), original.begin()));
    SettingsStore after(path);
    EXPECT_EQ(after.ReadString(kOpenDirValue).value_or(""), "/home/u/Bilder");
    EXPECT_EQ(after.ReadBinary(kJpegWizardValue).value_or(std::vector<uint8_t>()),
              std::vector<uint8_t>(16, 9));
}

TEST(SettingsLifecycle, WrongLengthRecordIsAbsentAndRewrittenWhole) {
    for (const size_t size : {size_t(0), size_t(100), size_t(147), size_t(149), size_t(296)}) {
        SCOPED_TRACE(size);
        TempFolder dir;
        const std::string path = dir / "LUMARA.conf";
        {
            SettingsStore st(path);
            st.WriteBinary(kViewSettingsValue, std::vector<uint8_t>(size, 0xEE));
            st.WriteString(kOpenDirValue, "/not/used/without/a/record");
            ASSERT_TRUE(st.Flush());
        }
        const ProgramRun run = runOnce(path, 24);
        EXPECT_FALSE(run.stored.Present);
        EXPECT_EQ(run.options.OpenDir, "");
        EXPECT_EQ(run.options.JpegPalette, 3);
        const auto bytes = storedRecord(path);
        ASSERT_EQ(bytes.size(), kViewSettingsSize);
        EXPECT_EQ(*ViewSettings::FromBytes(bytes.data(), bytes.size()),
                  DefaultViewSettings(24, kStart));
    }
}

TEST(SettingsLifecycle, RecordStoredAsAStringIsAbsent) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    SettingsStore st(path);
    st.WriteString(kViewSettingsValue, std::string(148, 'x'));
    ASSERT_TRUE(st.Flush());
    EXPECT_FALSE(ReadViewSettings(SettingsStore(path)).Present);
}

TEST(SettingsLifecycle, CorruptStoreGivesDefaults) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    writeFile(path, "\x00\x01garbage\nVControls5700=b:00\n");
    const ProgramRun run = runOnce(path, 24);
    EXPECT_FALSE(run.stored.Present);
    TOptions defaults;
    OptionsFromViewSettings(DefaultViewSettings(24, kStart), defaults);
    TOptions got = run.options;
    EXPECT_EQ(got, defaults);
    EXPECT_TRUE(run.written);
    EXPECT_EQ(SettingsStore(path).State(), SettingsStore::LoadState::Read);
}

TEST(SettingsLifecycle, UnwritableStoreIsQuiet) {
    TempFolder dir;
    writeFile(dir / "file", "x");
    const ProgramRun run = runOnce(dir / "file/Korvane/LUMARA.conf", 24);
    EXPECT_FALSE(run.written);
    EXPECT_EQ(run.options.Volume, 500);
}

TEST(SettingsLifecycle, BoundsAtClose) {
    const TRect main{-30, -40, 770, 560};
    const TRect comment{-5, 7, 300, 200};
    const TRect batch{15, -25, 415, 325};
    const TRect storedComment{1, 2, 3, 4};
    const TRect storedBatch{5, 6, 7, 8};
    struct Case {
        const char* name;
        bool commentOpen, batchOpen, present;
        TRect wantComment, wantBatch;
    };
    const Case cases[] = {
        {"both open", true, true, true, {5, 7, 300, 200}, {15, 25, 415, 325}},
        {"closed, settings present", false, false, true, storedComment, storedBatch},
        {"closed, first run", false, false, false, {30, 40, 770, 560}, {30, 40, 770, 560}},
        {"comment open, first run", true, false, false, {5, 7, 300, 200}, {30, 40, 770, 560}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TOptions o;
        o.CommentBounds = storedComment;
        o.BatchEditorBounds = storedBatch;
        StoreBoundsAtClose(o, main, c.commentOpen ? &comment : nullptr,
                           c.batchOpen ? &batch : nullptr, c.present);
        EXPECT_EQ(o.MainBounds, (TRect{30, 40, 770, 560}));
        EXPECT_EQ(o.CommentBounds, c.wantComment);
        EXPECT_EQ(o.BatchEditorBounds, c.wantBatch);
    }
}

TEST(SettingsLifecycle, CloseWritesAbsoluteOrigins) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    SettingsStore st(path);
    ViewSettings record;
    TOptions o;
    o.MainBounds = {-8, -8, 1000, 700};
    o.CommentBounds = {-1, 0, 10, 10};
    o.BatchEditorBounds = {INT32_MIN, 3, 10, 10};
    ASSERT_TRUE(WriteSettingsAtClose(st, record, o));
    const auto bytes = storedRecord(path);
    const ViewSettings s = *ViewSettings::FromBytes(bytes.data(), bytes.size());
    EXPECT_EQ(s.MainBounds, (TRect{8, 8, 1000, 700}));
    EXPECT_EQ(s.CommentBounds, (TRect{1, 0, 10, 10}));
    EXPECT_EQ(s.BatchEditorBounds.Left, INT32_MAX);
}

TEST(SettingsLifecycle, CloseWritesOtherValuesOfTheSameStoreTogether) {
    TempFolder dir;
    const std::string path = dir / "LUMARA.conf";
    SettingsStore st(path);
    ViewSettings record;
    TOptions o;
    o.OpenDir = "/in";
    o.SaveDir = "/out";
    const std::vector<uint8_t> wizard = {75, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    st.WriteBinary(kJpegWizardValue, wizard);
    ASSERT_TRUE(WriteSettingsAtClose(st, record, o));
    EXPECT_FALSE(st.Pending());
    SettingsStore after(path);
    EXPECT_EQ(after.ValueNames(), (std::vector<std::string>{kJpegWizardValue, kOpenDirValue,
                                                            kSaveDirValue, kViewSettingsValue}));
    EXPECT_EQ(after.ReadBinary(kJpegWizardValue).value_or(std::vector<uint8_t>()), wizard);
    EXPECT_EQ(after.ReadString(kSaveDirValue).value_or(""), "/out");
}
