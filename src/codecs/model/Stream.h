#pragma once
// Byte streams for the codecs: memory and file, with the position/size model
// the codecs expect. Short reads of a required block raise EReadError.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lumara {

enum class SeekOrigin { Begin, Current, End };

class TStream {
  public:
    virtual ~TStream() = default;
    // Reads up to count bytes; returns how many were read.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes count bytes; returns how many were written.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t pos) { Seek(pos, SeekOrigin::Begin); }
    virtual int64_t Size();
    int64_t Remaining() { return Size() - Position(); }

    // Exact reads and writes: anything short raises EReadError / EWriteError.
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);
    uint8_t ReadByte();
    uint16_t ReadU16LE();
    uint32_t ReadU32LE();
    uint16_t ReadU16BE();
    uint32_t ReadU32BE();
    void WriteU8(uint8_t v) { WriteBuffer(&v, 1); }
    void WriteU16LE(uint16_t v);
    void WriteU32LE(uint32_t v);
    // Copies count bytes (all remaining when count is 0) from source.
    int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
    TMemoryStream(const void* data, size_t size);

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

    void Clear();
    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const; // atomic, see AtomicFile
    const std::vector<uint8_t>& Data() const { return data_; }
    std::vector<uint8_t>& Data() { return data_; }
    uint8_t* Memory() { return data_.data(); }

  private:
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
};

// A file opened for reading, or for writing through a temporary file in the
// same folder that replaces the target only on Commit(), so a failed write
// never destroys what was there.
class TFileStream : public TStream {
  public:
    enum class Mode { Read, AtomicWrite };
    TFileStream(const std::string& path, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override;

    // Flushes, syncs and renames the temporary file over the target.
    // Raises EWriteError (with the path and reason) on failure.
    void Commit();
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    Mode mode_;
    // C streams need a seek between a write and a following read (and back).
    enum class LastOp { None, Read, Write };
    LastOp lastOp_ = LastOp::None;
    bool failed_ = false;
    int errno_ = 0;
};

// Reads a whole file into memory; raises EFOpenError naming the file.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
// Writes data atomically (temporary file, then rename); raises EWriteError naming the file.
void WriteWholeFile(const std::string& path, const void* data, size_t size);

} // namespace lumara
