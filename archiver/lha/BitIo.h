// Most-significant-bit-first bit streams, the bit order of LZH compressed data.
#pragma once

#include <cstdint>
#include <vector>

#include "archiver/lha/Stream.h"

namespace vask::lha {

class BitWriter {
  public:
    explicit BitWriter(ByteSink& sink) : sink_(sink) { buffer_.reserve(kBufferSize + 16); }
    // Appends the low count bits of value (count <= 32).
    void Put(uint32_t value, int count) {
        acc_ = (acc_ << count) | (value & ((uint64_t{1} << count) - 1));
        fill_ += count;
        while (fill_ >= 8) {
            fill_ -= 8;
            buffer_.push_back(static_cast<uint8_t>(acc_ >> fill_));
        }
        if (buffer_.size() >= kBufferSize) Drain();
    }
    // Pads the last byte with zero bits and writes everything out. The writer stays usable.
    Status Finish() {
        if (fill_ > 0) Put(0, 8 - fill_);
        Drain();
        return status_;
    }
    // Bytes produced so far, including those still buffered.
    uint64_t BytesOut() const { return written_ + buffer_.size(); }
    const Status& status() const { return status_; }

  private:
    static constexpr size_t kBufferSize = 1 << 16;
    void Drain() {
        if (status_.ok() && !buffer_.empty()) status_ = sink_.Write(buffer_.data(), buffer_.size());
        written_ += buffer_.size();
        buffer_.clear();
    }

    ByteSink& sink_;
    std::vector<uint8_t> buffer_;
    uint64_t acc_ = 0;
    int fill_ = 0;
    uint64_t written_ = 0;
    Status status_;
};

// Reads bits from a source. Past the end it supplies zero bits and counts them, so a decoder can run its
// tables without checks at every step and find out afterwards (or at block boundaries) that the data ran out.
class BitReader {
  public:
    explicit BitReader(ByteSource& source) : source_(source), buffer_(kBufferSize) {}
    // The next count bits (count <= 24) without consuming them.
    uint32_t Peek(int count) {
        if (fill_ < count) Refill();
        return static_cast<uint32_t>(acc_ >> (64 - count));
    }
    void Skip(int count) {
        if (fill_ < count) Refill();
        acc_ <<= count;
        fill_ -= count;
    }
    uint32_t Get(int count) {
        if (count == 0) return 0;
        uint32_t v = Peek(count);
        Skip(count);
        return v;
    }
    // True once bits beyond the end of the data have been consumed.
    bool Overrun() const { return static_cast<int64_t>(padding_ * 8) > fill_; }
    const Status& status() const { return status_; }

  private:
    static constexpr size_t kBufferSize = 1 << 16;
    void Refill() {
        while (fill_ <= 56) {
            if (pos_ == end_) {
                end_ = 0;
                pos_ = 0;
                if (status_.ok()) {
                    auto got = source_.Read(buffer_.data(), buffer_.size());
                    if (got)
                        end_ = *got;
                    else
                        status_ = got.status();
                }
                if (end_ == 0) {
                    // Zero padding; keep the count bounded so that a runaway loop is still detectable.
                    if (padding_ < (1u << 30)) ++padding_;
                    fill_ += 8;
                    continue;
                }
            }
            acc_ |= static_cast<uint64_t>(buffer_[pos_++]) << (56 - fill_);
            fill_ += 8;
        }
    }

    ByteSource& source_;
    std::vector<uint8_t> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t acc_ = 0;
    int fill_ = 0;
    uint64_t padding_ = 0;
    Status status_;
};

}  // namespace vask::lha
