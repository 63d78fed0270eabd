#include "Stream.h"

#include "Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace lumara {

int64_t TStream::Size() {
    const int64_t here = Position();
    const int64_t end = Seek(0, SeekOrigin::End);
    Seek(here, SeekOrigin::Begin);
    return end;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

uint8_t TStream::ReadByte() {
    uint8_t b;
    ReadBuffer(&b, 1);
    return b;
}

uint16_t TStream::ReadU16LE() {
    uint8_t b[2];
    ReadBuffer(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t TStream::ReadU32LE() {
    uint8_t b[4];
    ReadBuffer(b, 4);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

uint16_t TStream::ReadU16BE() {
    uint8_t b[2];
    ReadBuffer(b, 2);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t TStream::ReadU32BE() {
    uint8_t b[4];
    ReadBuffer(b, 4);
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}

void TStream::WriteU16LE(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    WriteBuffer(b, 2);
}

void TStream::WriteU32LE(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    WriteBuffer(b, 4);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) count = source.Remaining();
    // Nothing to copy, also when the source stands past its end.
    if (count <= 0) return 0;
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
    int64_t left = count;
    while (left > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(left, int64_t(buf.size())));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= int64_t(n);
    }
    return count;
}

// ---- TMemoryStream

TMemoryStream::TMemoryStream(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (pos_ >= data_.size()) return 0;
    const size_t n = std::min(count, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = int64_t(pos_);
    if (origin == SeekOrigin::End) base = int64_t(data_.size());
    const int64_t target = base + offset;
    pos_ = target < 0 ? 0 : size_t(target);
    return int64_t(pos_);
}

void TMemoryStream::Clear() {
    data_.clear();
    pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& path) {
    data_ = ReadWholeFile(path);
    pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) const {
    WriteWholeFile(path, data_.data(), data_.size());
}

// ---- TFileStream

namespace {

std::string reasonText(int err) {
    return std::strerror(err);
}

std::string makeTempPath(const std::string& target) {
    std::random_device rd;
    const std::filesystem::path p(target);
    const auto name = "." + p.filename().string() + ".lumara-" + std::to_string(rd() % 1000000);
    return (p.parent_path() / name).string();
}

} // namespace

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path), mode_(mode) {
    if (mode == Mode::Read) {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) throw EFOpenError("Cannot open file \"" + path + "\". " + reasonText(errno));
        // A folder opens like a file on Linux but has no bytes to give.
        struct stat st;
        if (fstat(fileno(file_), &st) == 0 && S_ISDIR(st.st_mode)) {
            std::fclose(file_);
            file_ = nullptr;
            throw EFOpenError("Cannot open file \"" + path + "\". " + reasonText(EISDIR));
        }
        return;
    }
    struct stat target;
    if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
        throw EFCreateError("Cannot create file \"" + path + "\". " + reasonText(EISDIR));
    // A name nobody else uses: "x" fails when the file already exists.
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        tempPath_ = makeTempPath(path);
        file_ = std::fopen(tempPath_.c_str(), "w+bx");
        if (!file_ && errno != EEXIST) break;
    }
    if (!file_) {
        const int err = errno;
        tempPath_.clear();
        throw EFCreateError("Cannot create file \"" + path + "\". " + reasonText(err));
    }
    // The replacement keeps the permissions of the file it replaces.
    if (stat(path.c_str(), &target) == 0) fchmod(fileno(file_), target.st_mode & 07777);
}

TFileStream::~TFileStream() {
    if (file_) std::fclose(file_);
    if (!tempPath_.empty()) std::remove(tempPath_.c_str()); // never committed: drop it
}

size_t TFileStream::Read(void* buffer, size_t count) {
    if (!file_) return 0;
    if (lastOp_ == LastOp::Write) fseeko(file_, 0, SEEK_CUR);
    lastOp_ = LastOp::Read;
    return std::fread(buffer, 1, count, file_);
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    if (mode_ == Mode::Read || !file_) return 0;
    if (lastOp_ == LastOp::Read) fseeko(file_, 0, SEEK_CUR);
    lastOp_ = LastOp::Write;
    const size_t n = std::fwrite(buffer, 1, count, file_);
    if (n != count && !failed_) {
        failed_ = true;
        errno_ = errno;
    }
    return n;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    if (!file_) return 0;
    if (!(origin == SeekOrigin::Current && offset == 0)) {
        fseeko(file_, offset, whence);
        lastOp_ = LastOp::None;
    }
    return ftello(file_);
}

int64_t TFileStream::Size() {
    if (!file_) return 0;
    lastOp_ = LastOp::None;
    const off_t here = ftello(file_);
    fseeko(file_, 0, SEEK_END);
    const off_t end = ftello(file_);
    fseeko(file_, here, SEEK_SET);
    return end;
}

void TFileStream::Commit() {
    if (mode_ != Mode::AtomicWrite || !file_) return;
    bool ok = !failed_ && std::fflush(file_) == 0;
    if (!ok && errno_ == 0) errno_ = errno;
    if (ok && fsync(fileno(file_)) != 0) {
        ok = false;
        errno_ = errno;
    }
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        errno_ = errno;
    }
    file_ = nullptr;
    if (ok && std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        ok = false;
        errno_ = errno;
    }
    if (!ok) {
        std::remove(tempPath_.c_str());
        tempPath_.clear();
        throw EWriteError("Cannot write file \"" + path_ + "\". " + reasonText(errno_));
    }
    tempPath_.clear();
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    TFileStream f(path, TFileStream::Mode::Read);
    const int64_t size = f.Size();
    if (size < 0) throw EFOpenError("Cannot read file \"" + path + "\".");
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (size > 0 && f.Read(data.data(), data.size()) != data.size())
        throw EReadError("Cannot read file \"" + path + "\".");
    return data;
}

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
    TFileStream f(path, TFileStream::Mode::AtomicWrite);
    f.WriteBuffer(data, size);
    f.Commit();
}

} // namespace lumara
