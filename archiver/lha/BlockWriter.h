// Collects literals and matches and writes them as static-Huffman blocks; also tells the parser what each
// symbol cost in the last block written, so that it can choose between literals and matches by bits.
#pragma once

#include <cstdint>
#include <vector>

#include "archiver/lha/BitIo.h"
#include "archiver/lha/Codec.h"

namespace vask::lha {

inline int BitLength(uint32_t v) {
    return v == 0 ? 0 : 32 - __builtin_clz(v);
}

// Estimated bits per symbol, from the code lengths of the last block (or starting guesses before the first).
struct Prices {
    std::vector<uint16_t> c;  // literal and length symbols
    std::vector<uint16_t> p;  // position codes, extra bits included
    uint32_t Literal(uint8_t byte) const { return c[byte]; }
    uint32_t Match(int length, uint32_t dist_code) const {
        return c[256 + length - kMinMatch] + p[BitLength(dist_code)];
    }
};

// Block boundaries follow the data: symbols are gathered in chunks, and a chunk starts a new block when
// coding it apart (with its own tables) is estimated to cost fewer bits than coding it with the block so far.
class BlockWriter {
  public:
    static constexpr size_t kChunk = 2048;
    static constexpr size_t kMaxBlock = 0xFFFF - kChunk;

    BlockWriter(Method m, BitWriter& out);
    void Literal(uint8_t byte) {
        symbols_.push_back(byte);
        ++chunk_c_[byte];
        if (symbols_.size() - block_len_ >= kChunk) Checkpoint();
    }
    // dist_code is the distance minus one.
    void Match(int length, uint32_t dist_code) {
        uint32_t c = 256 + length - kMinMatch;
        symbols_.push_back(c | dist_code << 16);
        ++chunk_c_[c];
        ++chunk_p_[BitLength(dist_code)];
        if (symbols_.size() - block_len_ >= kChunk) Checkpoint();
    }
    // Writes all pending symbols (nothing when there are none).
    void Flush();
    const Prices& prices() const { return prices_; }
    // When on, prices follow the open block: they are rebuilt from its symbols at every chunk instead of
    // being taken from the last block written.
    void set_live_prices(bool on) { live_prices_ = on; }
    // Prices as the codes for these frequencies would give them.
    Prices PricesFor(const std::vector<uint32_t>& c_freq, const std::vector<uint32_t>& p_freq) const;
    int num_position_codes() const { return num_p_; }
    // Adds the frequencies of the symbols not yet written (open block and chunk) to c and p.
    void AddPending(std::vector<uint32_t>& c, std::vector<uint32_t>& p) const {
        for (size_t i = 0; i < c.size(); ++i)
            c[i] += c_freq_[i] + chunk_c_[i];
        for (size_t i = 0; i < p.size(); ++i)
            p[i] += p_freq_[i] + chunk_p_[i];
    }

  private:
    // Decides whether the chunk joins the block or the block is written first.
    void Checkpoint();
    // Estimated bits of a block with these frequencies, tables included.
    uint64_t EstimateBits(const std::vector<uint32_t>& c, const std::vector<uint32_t>& p) const;
    void WriteBlock(size_t count, const std::vector<uint32_t>& c_freq, const std::vector<uint32_t>& p_freq);
    void UpdatePrices(const std::vector<uint8_t>& c_len, const std::vector<uint8_t>& p_len);

    BitWriter& out_;
    int num_p_;
    int p_bits_;
    std::vector<uint32_t> symbols_;  // the block so far (block_len_ symbols), then the open chunk
    size_t block_len_ = 0;
    std::vector<uint32_t> c_freq_, p_freq_;    // of the block so far
    std::vector<uint32_t> chunk_c_, chunk_p_;  // of the open chunk
    Prices prices_;
    bool live_prices_ = false;
};

}  // namespace vask::lha
