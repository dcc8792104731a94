#include <algorithm>
#include <memory>
#include <vector>

#include "archiver/lha/BlockCodes.h"
#include "archiver/lha/Codec.h"
#include "archiver/lha/Crc16.h"

namespace vask::lha {
namespace {

Status Damaged() {
    return Status::Error(EPROTO, "", "decode (data is damaged)");
}

class Expander {
  public:
    Expander(Method m, ByteSource& packed, ByteSink& sink)
        : in_(packed),
          sink_(sink),
          num_p_(NumPositionCodes(m)),
          p_bits_(PositionBits(m)),
          // Position codes can reach 2^(num_p - 1) back, so the ring covers that even for -lh4-.
          ring_size_(1u << std::max(DictionaryBits(m), num_p_ - 1)),
          mask_(ring_size_ - 1),
          // Other encoders start from a dictionary of blanks; a reference before the start reads those.
          ring_(ring_size_, ' ') {}

    Result<uint16_t> Run(uint64_t original_size);

  private:
    Status FlushRing() {
        if (used_ == 0) return Status::Ok();
        crc_ = Crc16Update(crc_, ring_.data() + flushed_, used_ - flushed_);
        Status s = sink_.Write(ring_.data() + flushed_, used_ - flushed_);
        flushed_ = used_ == ring_size_ ? 0 : used_;
        if (used_ == ring_size_) used_ = 0;
        return s;
    }
    bool ReadTables() {
        if (!ReadPtLengths(in_, kNumT, kTBits, 3, t_)) return false;
        if (!ReadCLengths(in_, t_, c_)) return false;
        return ReadPtLengths(in_, num_p_, p_bits_, -1, p_);
    }

    BitReader in_;
    ByteSink& sink_;
    int num_p_;
    int p_bits_;
    uint32_t ring_size_;
    uint32_t mask_;
    std::vector<uint8_t> ring_;
    uint32_t used_ = 0;     // write index into ring_
    uint32_t flushed_ = 0;  // ring_[flushed_, used_) is not yet written out
    uint16_t crc_ = 0;
    HuffmanDecoder t_, c_, p_;
};

Result<uint16_t> Expander::Run(uint64_t original_size) {
    uint64_t remaining = original_size;
    uint32_t block_left = 0;
    while (remaining > 0) {
        if (block_left == 0) {
            if (in_.Overrun()) return Damaged();
            block_left = in_.Get(16);
            if (block_left == 0 || !ReadTables()) return Damaged();
        }
        --block_left;
        int c = c_.Decode(in_);
        if (c < 0) return Damaged();
        if (c < 256) {
            ring_[used_++] = static_cast<uint8_t>(c);
            --remaining;
            if (used_ == ring_size_)
                if (Status s = FlushRing(); !s) return s;
            continue;
        }
        uint32_t length = static_cast<uint32_t>(c) - 256 + kMinMatch;
        int p = p_.Decode(in_);
        if (p < 0) return Damaged();
        uint32_t dist = p <= 1 ? p : (1u << (p - 1)) + in_.Get(p - 1);
        uint32_t from = (used_ - dist - 1) & mask_;
        if (length > remaining) length = static_cast<uint32_t>(remaining);
        remaining -= length;
        if (from + length <= ring_size_ && used_ + length < ring_size_) {
            // No wrap on either side. A forward byte copy is what an overlapping match means.
            uint8_t* dst = ring_.data() + used_;
            const uint8_t* src = ring_.data() + from;
            for (uint32_t k = 0; k < length; ++k)
                dst[k] = src[k];
            used_ += length;
            continue;
        }
        while (length-- > 0) {
            ring_[used_++] = ring_[from];
            from = (from + 1) & mask_;
            if (used_ == ring_size_)
                if (Status s = FlushRing(); !s) return s;
        }
    }
    if (Status s = FlushRing(); !s) return s;
    if (!in_.status().ok()) return in_.status();
    if (in_.Overrun()) return Damaged();
    return crc_;
}

}  // namespace

Result<uint16_t> Decode(Method m, ByteSource& packed, uint64_t original_size, ByteSink& sink) {
    if (m == Method::kStored || m == Method::kDirectory) {
        std::vector<uint8_t> buffer(1 << 16);
        uint64_t remaining = original_size;
        uint16_t crc = 0;
        while (remaining > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, buffer.size()));
            if (Status s = ReadExact(packed, buffer.data(), want, "read stored data"); !s) return s;
            if (Status s = sink.Write(buffer.data(), want); !s) return s;
            crc = Crc16Update(crc, buffer.data(), want);
            remaining -= want;
        }
        return crc;
    }
    auto expander = std::make_unique<Expander>(m, packed, sink);
    return expander->Run(original_size);
}

}  // namespace vask::lha
