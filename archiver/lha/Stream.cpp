#include "archiver/lha/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vask::lha {

Result<size_t> MemorySource::Read(uint8_t* data, size_t size) {
    if (pos_ >= size_) return size_t{0};
    size_t n = std::min<uint64_t>(size, size_ - pos_);
    std::memcpy(data, data_ + pos_, n);
    pos_ += n;
    return n;
}

Status MemorySource::Seek(uint64_t offset) {
    pos_ = offset;
    return Status::Ok();
}

Status MemorySink::Write(const uint8_t* data, size_t size) {
    bytes_.insert(bytes_.end(), data, data + size);
    return Status::Ok();
}

Status MemorySink::WriteAt(uint64_t offset, const uint8_t* data, size_t size) {
    if (offset > bytes_.size() || bytes_.size() - offset < size) return Status::Error(EINVAL, "", "write at");
    std::memcpy(bytes_.data() + offset, data, size);
    return Status::Ok();
}

Status MemorySink::Truncate(uint64_t offset) {
    if (offset > bytes_.size()) return Status::Error(EINVAL, "", "truncate");
    bytes_.resize(offset);
    return Status::Ok();
}

Result<size_t> LimitedSource::Read(uint8_t* data, size_t size) {
    if (pos_ >= limit_) return size_t{0};
    size_t want = std::min<uint64_t>(size, limit_ - pos_);
    auto got = inner_.Read(data, want);
    if (got) pos_ += *got;
    return got;
}

Status LimitedSource::Seek(uint64_t offset) {
    pos_ = std::min(offset, limit_);
    return inner_.Seek(start_ + pos_);
}

Status ReadExact(ByteSource& source, uint8_t* data, size_t size, const std::string& what) {
    size_t done = 0;
    while (done < size) {
        auto got = source.Read(data + done, size - done);
        if (!got) return got.status();
        if (*got == 0) return Status::Error(EPROTO, "", what + " (data ends early)");
        done += *got;
    }
    return Status::Ok();
}

}  // namespace vask::lha
