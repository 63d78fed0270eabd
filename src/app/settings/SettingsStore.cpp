#include "SettingsStore.h"

#include "codecs/model/Exceptions.h"
#include "codecs/model/Stream.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumara {

namespace {

constexpr const char* kHeader = "[Korvane LUMARA settings]";
constexpr const char* kHex = "0123456789abcdef";

void appendEscaped(std::string& out, const std::string& text, bool isName) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // A name may not contain "=" nor start like a comment line.
            if (c < 0x20 || c == 0x7F || (isName && (c == '=' || (c == '#' && i == 0)))) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += ch;
            }
        }
    }
}

int hexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

bool unescape(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            if (i + 2 >= text.size()) return false;
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi << 4 | lo);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

bool unhex(std::string_view text, std::string& out) {
    if (text.size() % 2 != 0) return false;
    out.clear();
    out.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi << 4 | lo);
    }
    return true;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return "/tmp";
}

enum class FileRead { Missing, Read, Unreadable, TooLarge };

FileRead readStoreFile(const std::string& path, std::string& text) {
    text.clear();
    // Non-blocking, so a pipe put where the store belongs cannot stall the start.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::Unreadable;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return FileRead::Unreadable;
    }
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > SettingsStore::kMaxFileSize) {
        ::close(fd);
        return FileRead::TooLarge;
    }
    text.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            text.clear();
            return FileRead::Unreadable;
        }
        if (n == 0) break; // the file shrank meanwhile
        done += static_cast<size_t>(n);
    }
    text.resize(done);
    // Nothing beyond the size we saw: a file still growing is not one of ours.
    char extra;
    const ssize_t more = ::read(fd, &extra, 1);
    ::close(fd);
    if (more > 0) return FileRead::TooLarge;
    return FileRead::Read;
}

// Holds an exclusive lock on the store's folder while merging and writing, so
// two instances closing together do not drop each other's values. Waits a
// little for another holder, then goes on without the lock rather than hang.
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder) {
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::close(fd_);
        fd_ = -1;
    }
    ~FolderLock() {
        if (fd_ >= 0) {
            flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_ = -1;
};

} // namespace

std::string SettingsStore::DefaultPath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else
        base = std::filesystem::path(homeFolder()) / ".config";
    return (base / "Korvane" / "LUMARA.conf").string();
}

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {
    Reload();
}

void SettingsStore::Reload() {
    values_.clear();
    std::string text;
    switch (readStoreFile(path_, text)) {
    case FileRead::Missing:
        state_ = LoadState::Missing;
        break;
    case FileRead::Unreadable:
        state_ = LoadState::Unreadable;
        break;
    case FileRead::TooLarge:
        state_ = LoadState::Invalid;
        break;
    case FileRead::Read:
        if (ParseText(text, values_)) {
            state_ = LoadState::Read;
        } else {
            values_.clear();
            state_ = LoadState::Invalid;
        }
        break;
    }
    apply(values_);
}

bool SettingsStore::Has(const std::string& name) const {
    return values_.count(name) != 0;
}

std::optional<std::string> SettingsStore::ReadString(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end() || it->second.binary) return std::nullopt;
    return it->second.data;
}

std::optional<std::vector<uint8_t>> SettingsStore::ReadBinary(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end() || !it->second.binary) return std::nullopt;
    return std::vector<uint8_t>(it->second.data.begin(), it->second.data.end());
}

std::vector<std::string> SettingsStore::ValueNames() const {
    std::vector<std::string> names;
    names.reserve(values_.size());
    for (const auto& [name, value] : values_)
        names.push_back(name);
    return names;
}

void SettingsStore::WriteString(const std::string& name, const std::string& value) {
    Value v{false, value};
    values_[name] = v;
    pending_[name] = v;
}

void SettingsStore::WriteBinary(const std::string& name, const void* data, size_t size) {
    Value v{true, size ? std::string(static_cast<const char*>(data), size) : std::string()};
    values_[name] = v;
    pending_[name] = v;
}

void SettingsStore::DeleteValue(const std::string& name) {
    values_.erase(name);
    pending_[name] = std::nullopt;
}

void SettingsStore::apply(Values& into) const {
    for (const auto& [name, change] : pending_) {
        if (change)
            into[name] = *change;
        else
            into.erase(name);
    }
}

bool SettingsStore::Flush() {
    if (pending_.empty()) return true;
    std::error_code ec;
    std::filesystem::path target(path_);
    // A store that is a link (kept with the user's other dotfiles) is
    // replaced where it really lives, so the link survives. The link may
    // point to a file that does not exist yet.
    for (int depth = 0; depth < 40; ++depth) {
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) break;
        const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    ec.clear();
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder, ec);
    if (ec) return false;

    FolderLock lock(folder.string());
    // Merge into the store as it is now, which another instance may have changed.
    Values merged;
    std::string text;
    if (readStoreFile(target.string(), text) == FileRead::Read && !ParseText(text, merged))
        merged.clear();
    apply(merged);
    const std::string out = FormatText(merged);
    try {
        WriteWholeFile(target.string(), out.data(), out.size());
    } catch (const Exception&) {
        return false;
    }
    values_ = std::move(merged);
    pending_.clear();
    state_ = LoadState::Read;
    return true;
}

std::string SettingsStore::FormatText(const Values& values) {
    std::string out = kHeader;
    out += '\n';
    for (const auto& [name, value] : values) {
        appendEscaped(out, name, true);
        if (value.binary) {
            out += "=b:";
            for (const char ch : value.data) {
                const auto c = static_cast<unsigned char>(ch);
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
        } else {
            out += "=s:";
            appendEscaped(out, value.data, false);
        }
        out += '\n';
    }
    return out;
}

bool SettingsStore::ParseText(const std::string& text, Values& values) {
    values.clear();
    size_t pos = 0;
    bool headerSeen = false;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        // Every line we write ends in "\n" and escapes "\r", so a bare "\r"
        // at the end is a line-ending conversion: drop it.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!headerSeen) {
            if (line != kHeader) return false;
            headerSeen = true;
            continue;
        }
        if (line.empty() || line.front() == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) return false;
        std::string name; // may be empty, like a key's default value
        if (!unescape(line.substr(0, eq), name)) return false;
        const std::string_view rest = line.substr(eq + 1);
        if (rest.size() < 2 || rest[1] != ':') return false;
        Value v;
        if (rest[0] == 'b') {
            v.binary = true;
            if (!unhex(rest.substr(2), v.data)) return false;
        } else if (rest[0] == 's') {
            if (!unescape(rest.substr(2), v.data)) return false;
        } else {
            return false;
        }
        if (!values.emplace(std::move(name), std::move(v)).second) return false; // duplicate
    }
    return headerSeen;
}

} // namespace lumara
