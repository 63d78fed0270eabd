#include "CodecStreams.h"

#include <cstring>

namespace lumara::gbm {

StreamBytes::StreamBytes(TStream& stream) : stream_(stream), start_(stream.Position()) {
    const int64_t remaining = stream.Size() - start_;
    if (remaining <= 0) return;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
        data_ = memory->Memory() + start_;
        size_ = size_t(remaining);
        return;
    }
    owned_.resize(size_t(remaining));
    owned_.resize(stream.Read(owned_.data(), owned_.size()));
    data_ = owned_.data();
    size_ = owned_.size();
}

void StreamBytes::Finish(size_t consumed) {
    stream_.SetPosition(start_ + int64_t(consumed));
}

PreparedStream::PreparedStream(TStream& stream) : stream_(stream) {
    if (stream.Position() == 0) return;
    copy_ = std::make_unique<TMemoryStream>();
    const int64_t remaining = stream.Remaining();
    if (remaining > 0) {
        copy_->Data().resize(size_t(remaining));
        copy_->Data().resize(stream.Read(copy_->Memory(), size_t(remaining)));
    }
    copy_->SetPosition(0);
}

void PeekBytes(TStream& stream, int64_t offset, uint8_t* buffer, size_t count) {
    std::memset(buffer, 0, count);
    stream.SetPosition(offset);
    stream.Read(buffer, count);
    stream.SetPosition(0);
}

void ReleaseMemoryStream(TMemoryStream& stream) {
    std::vector<uint8_t>().swap(stream.Data());
    stream.SetPosition(0);
}

} // namespace lumara::gbm
