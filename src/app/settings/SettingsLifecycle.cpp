#include "SettingsLifecycle.h"

#include <climits>

namespace lumara {

namespace {

int absolute(int v) {
    return v == INT_MIN ? INT_MAX : (v < 0 ? -v : v);
}

TRect withAbsoluteOrigin(TRect r) {
    r.Left = absolute(r.Left);
    r.Top = absolute(r.Top);
    return r;
}

} // namespace

StoredViewSettings ReadViewSettings(const SettingsStore& store) {
    StoredViewSettings stored;
    if (const auto bytes = store.ReadBinary(kViewSettingsValue)) {
        if (auto record = ViewSettings::FromBytes(bytes->data(), bytes->size())) {
            stored.Record = *record;
            stored.Present = true;
        }
    }
    return stored;
}

TOptions OptionsAtWindowCreation(StoredViewSettings& stored, const SettingsStore& store,
                                 int displayBitsPerPixel, const TRect& startBounds) {
    TOptions options;
    if (stored.Present) {
        RepairViewSettings(stored.Record, displayBitsPerPixel);
        OptionsFromViewSettings(stored.Record, options);
        options.OpenDir = store.ReadString(kOpenDirValue).value_or(std::string());
        options.SaveDir = store.ReadString(kSaveDirValue).value_or(std::string());
    } else {
        stored.Record = DefaultViewSettings(displayBitsPerPixel, startBounds);
        OptionsFromViewSettings(stored.Record, options);
    }
    return options;
}

void StoreBoundsAtClose(TOptions& options, const TRect& mainBounds, const TRect* commentBounds,
                        const TRect* batchEditorBounds, bool settingsWerePresent) {
    options.MainBounds = withAbsoluteOrigin(mainBounds);
    if (commentBounds)
        options.CommentBounds = withAbsoluteOrigin(*commentBounds);
    else if (!settingsWerePresent)
        options.CommentBounds = options.MainBounds;
    if (batchEditorBounds)
        options.BatchEditorBounds = withAbsoluteOrigin(*batchEditorBounds);
    else if (!settingsWerePresent)
        options.BatchEditorBounds = options.MainBounds;
}

bool WriteSettingsAtClose(SettingsStore& store, ViewSettings& record, const TOptions& options) {
    store.WriteString(kOpenDirValue, options.OpenDir);
    store.WriteString(kSaveDirValue, options.SaveDir);
    OptionsToViewSettings(options, record);
    record.MainBounds = withAbsoluteOrigin(record.MainBounds);
    record.CommentBounds = withAbsoluteOrigin(record.CommentBounds);
    record.BatchEditorBounds = withAbsoluteOrigin(record.BatchEditorBounds);
    const ViewSettingsBytes bytes = record.ToBytes();
    store.WriteBinary(kViewSettingsValue, bytes.data(), bytes.size());
    return store.Flush();
}

} // namespace lumara
