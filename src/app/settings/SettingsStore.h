#pragma once
// SettingsStore: the per-user store of named values (strings and binary
// blocks), one text file $XDG_CONFIG_HOME/Korvane/LUMARA.conf (default
// ~/.config). Each value keeps its own name and its exact bytes.
//
// The file is never trusted: a missing, unreadable, foreign or damaged file
// reads as an empty store, and nothing here throws or reports an error, since
// settings that cannot be read or written only cost the user their defaults.
//
// Writing goes through a temporary file in the same folder that is renamed
// over the store, so a crash while writing leaves the previous store whole.
// Flush() merges this object's changes into the file as it is on disk at that
// moment (under a lock on the folder), so values written meanwhile by another
// running instance are kept, as with separately written registry values.
//
// File format (UTF-8 text, one value a line, sorted by name):
//   [Korvane LUMARA settings]
//   <name>=s:<text>     string; "\\", "\n", "\r", "\t" and "\xHH" escapes
//   <name>=b:<hex>      binary, two lower-case hex digits a byte
// Names use the same escapes; "=" in a name and "#" at its start are written
// "\x3d" and "\x23". Blank lines and lines starting with "#" are ignored.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lumara {

// The value names the program uses.
inline constexpr const char* kViewSettingsValue = "VControls5700";
inline constexpr const char* kOpenDirValue = "OpenDir";
inline constexpr const char* kSaveDirValue = "SaveDir";
inline constexpr const char* kJpegWizardValue = "JPGwiz1";
inline constexpr const char* kEffectSelectionValue = "selFX01";

class SettingsStore {
  public:
    enum class LoadState {
        Missing,    // no file yet
        Read,       // read and understood
        Unreadable, // could not be read (permissions, a folder in its place...)
        Invalid,    // not a store of ours, damaged or too large: ignored
    };

    // $XDG_CONFIG_HOME/Korvane/LUMARA.conf; $XDG_CONFIG_HOME when unset or
    // not absolute is ~/.config.
    static std::string DefaultPath();

    // Reads the store at path at once.
    explicit SettingsStore(std::string path = DefaultPath());

    const std::string& Path() const { return path_; }
    LoadState State() const { return state_; }

    // Reads the file again; changes not flushed yet are kept on top of it.
    void Reload();

    bool Has(const std::string& name) const;
    // Empty when the value is absent or of the other kind.
    std::optional<std::string> ReadString(const std::string& name) const;
    std::optional<std::vector<uint8_t>> ReadBinary(const std::string& name) const;
    std::vector<std::string> ValueNames() const;

    void WriteString(const std::string& name, const std::string& value);
    void WriteBinary(const std::string& name, const void* data, size_t size);
    void WriteBinary(const std::string& name, const std::vector<uint8_t>& data) {
        WriteBinary(name, data.data(), data.size());
    }
    void DeleteValue(const std::string& name);

    // True when there are changes Flush() has not written yet.
    bool Pending() const { return !pending_.empty(); }
    // Writes the pending changes; false (and the changes still pending) when
    // the store could not be written. The old file is then untouched.
    bool Flush();

    // The text of a store holding values, and its reading: exposed for tests
    // and tools. ParseText returns false for anything that is not a store.
    struct Value {
        bool binary = false;
        std::string data;
        bool operator==(const Value&) const = default;
    };
    using Values = std::map<std::string, Value>;
    static std::string FormatText(const Values& values);
    static bool ParseText(const std::string& text, Values& values);

    // Larger files are not ours.
    static constexpr size_t kMaxFileSize = 16u << 20;

  private:
    void apply(Values& into) const;

    std::string path_;
    LoadState state_ = LoadState::Missing;
    Values values_;
    // Changes since the last Flush(); an empty optional deletes the value.
    std::map<std::string, std::optional<Value>> pending_;
};

} // namespace lumara
