// Compression and decompression of one member's data with the static-Huffman sliding-dictionary methods
// (-lh4- to -lh7-) and the stored method (-lh0-).
#pragma once

#include <cstdint>

#include "archiver/lha/Method.h"
#include "archiver/lha/Stream.h"

namespace vask::lha {

// Block layout constants shared by the encoder and the decoder.
inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 256;
inline constexpr int kNumC = 256 + kMaxMatch - kMinMatch + 1;  // literals, then match lengths 3..256
inline constexpr int kNumT = 19;                               // code-length alphabet
inline constexpr int kTBits = 5;
inline constexpr int kCBits = 9;
inline int PositionBits(Method m) {
    return m == Method::kLh6 || m == Method::kLh7 ? 5 : 4;
}
inline int NumPositionCodes(Method m) {
    return m == Method::kLh6 || m == Method::kLh7 ? DictionaryBits(m) + 1 : 14;
}

struct EncodeResult {
    uint64_t original_size = 0;
    uint64_t packed_size = 0;
    uint16_t crc = 0;
    // False when the compressed data reached stop_after bytes: the caller should store the data instead.
    bool shrunk = true;
    // False when encoding stopped early: sizes and CRC then cover only part of the data.
    bool complete = true;
};

struct EncoderOptions {
    // Give up once the output would be at least this many bytes (0: never).
    uint64_t stop_after = 0;
    // The size the input is expected to have (0: unknown). Only sets up buffers; any size is still encoded.
    uint64_t size_hint = 0;
};

// Compresses everything source yields with m (-lh5-, -lh6- or -lh7-) and appends it to sink.
Result<EncodeResult> Encode(Method m, ByteSource& source, ByteSink& sink, const EncoderOptions& options = {});

// Copies source to sink unchanged (-lh0-), counting and checksumming.
Result<EncodeResult> Store(ByteSource& source, ByteSink& sink);

// Decodes one member: packed holds exactly its compressed data, original_size bytes are written to sink and
// their CRC-16 is returned. Damaged data gives EPROTO ("data is damaged"), never a crash or a hang: each
// symbol produces at least one byte, and reading past the end of the packed data is detected.
Result<uint16_t> Decode(Method m, ByteSource& packed, uint64_t original_size, ByteSink& sink);

// Accepts and drops bytes: for testing an archive without writing anything.
class NullSink : public ByteSink {
  public:
    Status Write(const uint8_t*, size_t size) override {
        size_ += size;
        return Status::Ok();
    }
    Status WriteAt(uint64_t, const uint8_t*, size_t) override { return Status::Ok(); }
    Status Truncate(uint64_t offset) override {
        size_ = offset;
        return Status::Ok();
    }
    uint64_t Size() const override { return size_; }

  private:
    uint64_t size_ = 0;
};

}  // namespace vask::lha
