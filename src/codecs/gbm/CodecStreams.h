#pragma once
// Stream helpers of the BMP, PCX and TGA codecs.

#include "Gbm.h"

#include "codecs/model/Stream.h"

#include <memory>
#include <vector>

namespace lumara::gbm {

// The bytes from a stream's position to its end: the memory of a memory
// stream as it is, any other stream read once.
class StreamBytes {
  public:
    explicit StreamBytes(TStream& stream);
    GbmSource Source() const { return GbmSource(data_, size_); }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    // Leaves the stream where the decoder stopped.
    void Finish(size_t consumed);

  private:
    TStream& stream_;
    int64_t start_;
    std::vector<uint8_t> owned_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// The stream a reader decodes, with its offsets counted from its start: the
// given stream when it is at its start, otherwise a memory copy of its rest.
class PreparedStream {
  public:
    explicit PreparedStream(TStream& stream);
    TStream& Get() { return copy_ ? *copy_ : stream_; }

  private:
    TStream& stream_;
    std::unique_ptr<TMemoryStream> copy_;
};

// Reads up to count bytes at an offset of the stream into buffer, zero-filling
// what the stream does not have; the stream is left at its start.
void PeekBytes(TStream& stream, int64_t offset, uint8_t* buffer, size_t count);

// Empties a memory stream and gives its memory back.
void ReleaseMemoryStream(TMemoryStream& stream);

// Empties a memory stream when leaving a scope, also on an error.
struct ReleaseMemoryStreamOnExit {
    TMemoryStream& stream;
    ~ReleaseMemoryStreamOnExit() { ReleaseMemoryStream(stream); }
};

} // namespace lumara::gbm
