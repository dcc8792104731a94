// Canonical Huffman codes as LZH blocks use them: lengths of at most 16 bits, codes assigned in order of
// length and then of symbol, sent most significant bit first.
#pragma once

#include <cstdint>
#include <vector>

#include "archiver/lha/BitIo.h"

namespace vask::lha {

constexpr int kMaxCodeBits = 16;

// Code lengths for the given frequencies, none longer than kMaxCodeBits. Symbols of frequency 0 get length 0.
// With two or more used symbols the code is complete (the Kraft sum is exactly 1). With fewer than two the
// result is all zeros: such a table is sent in the single-symbol form instead.
std::vector<uint8_t> BuildCodeLengths(const std::vector<uint32_t>& freq);

// Canonical code values for the lengths (0 for unused symbols).
std::vector<uint16_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

// A decoding table. Build() rejects over-subscribed length sets; an incomplete set is accepted and its unused
// bit patterns decode as errors.
class HuffmanDecoder {
  public:
    // Every lookup yields symbol without consuming bits.
    void SetSingle(uint16_t symbol);
    bool Build(const std::vector<uint8_t>& lengths, int table_bits);
    // The next symbol, or -1 for a bit pattern that is no code.
    int Decode(BitReader& in) const {
        if (single_ >= 0) return single_;
        uint32_t entry = table_[in.Peek(table_bits_)];
        if (entry & kShort) {
            in.Skip(static_cast<int>(entry & 0x1F));
            return static_cast<int>(entry >> 5 & 0xFFFF);
        }
        return DecodeLong(in);
    }

  private:
    static constexpr uint32_t kShort = 1u << 24;
    int DecodeLong(BitReader& in) const;

    int single_ = -1;
    int table_bits_ = 1;
    std::vector<uint32_t> table_;
    // For the slow path: per length, the first code, the count and where its symbols start in sorted_.
    uint32_t first_[kMaxCodeBits + 2] = {};
    uint32_t count_[kMaxCodeBits + 2] = {};
    uint32_t offset_[kMaxCodeBits + 2] = {};
    std::vector<uint16_t> sorted_;
};

}  // namespace vask::lha
