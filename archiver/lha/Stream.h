// Byte streams the archive core reads and writes through. The core never touches the file system itself:
// files, memory buffers (tests, fuzzing) and fault-injecting wrappers all come in through these two types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace vask::lha {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes; fewer only at the end of the stream. Returns the count read (0 at the end).
    virtual Result<size_t> Read(uint8_t* data, size_t size) = 0;
    // Moves the read position to offset bytes from the start. Offsets past the end make later reads return 0.
    virtual Status Seek(uint64_t offset) = 0;
    virtual uint64_t Tell() const = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Writes all size bytes or fails.
    virtual Status Write(const uint8_t* data, size_t size) = 0;
    // Overwrites bytes already written at offset (offset + size must not pass the end).
    virtual Status WriteAt(uint64_t offset, const uint8_t* data, size_t size) = 0;
    // Drops everything from offset on; the write position becomes offset.
    virtual Status Truncate(uint64_t offset) = 0;
    virtual uint64_t Size() const = 0;
};

// Reads a caller-owned buffer, which must outlive the source.
class MemorySource : public ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit MemorySource(const std::vector<uint8_t>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
    Result<size_t> Read(uint8_t* data, size_t size) override;
    Status Seek(uint64_t offset) override;
    uint64_t Tell() const override { return pos_; }

  private:
    const uint8_t* data_;
    size_t size_;
    uint64_t pos_ = 0;
};

class MemorySink : public ByteSink {
  public:
    Status Write(const uint8_t* data, size_t size) override;
    Status WriteAt(uint64_t offset, const uint8_t* data, size_t size) override;
    Status Truncate(uint64_t offset) override;
    uint64_t Size() const override { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

// Reads at most limit bytes of another source starting at its current position: one member's data.
class LimitedSource : public ByteSource {
  public:
    LimitedSource(ByteSource& inner, uint64_t limit) : inner_(inner), start_(inner.Tell()), limit_(limit) {}
    Result<size_t> Read(uint8_t* data, size_t size) override;
    Status Seek(uint64_t offset) override;
    uint64_t Tell() const override { return pos_; }

  private:
    ByteSource& inner_;
    uint64_t start_;
    uint64_t limit_;
    uint64_t pos_ = 0;
};

// Reads exactly size bytes; a short read is an error (EPROTO: the data ends early).
Status ReadExact(ByteSource& source, uint8_t* data, size_t size, const std::string& what);

}  // namespace vask::lha
