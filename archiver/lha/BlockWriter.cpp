#include "archiver/lha/BlockWriter.h"

#include <algorithm>

#include "archiver/lha/BlockCodes.h"
#include "archiver/lha/Huffman.h"

namespace vask::lha {
namespace {

int OnlySymbol(const std::vector<uint32_t>& freq) {
    for (size_t i = 0; i < freq.size(); ++i)
        if (freq[i]) return static_cast<int>(i);
    return 0;
}

}  // namespace

BlockWriter::BlockWriter(Method m, BitWriter& out)
    : out_(out),
      num_p_(NumPositionCodes(m)),
      p_bits_(PositionBits(m)),
      c_freq_(kNumC),
      p_freq_(num_p_),
      chunk_c_(kNumC),
      chunk_p_(num_p_) {
    symbols_.reserve(kMaxBlock + kChunk);
    // Starting guesses: literals about a byte, short matches cheap, long ones a little dearer, positions by
    // their extra bits plus a few for the code.
    prices_.c.assign(kNumC, 9);
    for (int i = 256; i < kNumC; ++i)
        prices_.c[i] = static_cast<uint16_t>(i - 256 < 8 ? 5 : 7 + BitLength(i - 256) / 2);
    prices_.p.assign(num_p_, 0);
    for (int p = 0; p < num_p_; ++p)
        prices_.p[p] = static_cast<uint16_t>(4 + std::max(0, p - 1));
}

Prices BlockWriter::PricesFor(const std::vector<uint32_t>& c_freq,
                              const std::vector<uint32_t>& p_freq) const {
    std::vector<uint8_t> c_len = BuildCodeLengths(c_freq);
    std::vector<uint8_t> p_len = BuildCodeLengths(p_freq);
    Prices prices;
    prices.c.resize(kNumC);
    prices.p.resize(num_p_);
    for (int i = 0; i < kNumC; ++i)
        prices.c[i] = c_len[i] ? c_len[i] : (c_freq[i] ? 1 : 14);
    for (int p = 0; p < num_p_; ++p)
        prices.p[p] =
            static_cast<uint16_t>((p_len[p] ? p_len[p] : (p_freq[p] ? 1 : 10)) + std::max(0, p - 1));
    return prices;
}

void BlockWriter::UpdatePrices(const std::vector<uint8_t>& c_len, const std::vector<uint8_t>& p_len) {
    // A symbol unused in the last block may well turn up; price it like a rare one rather than as free.
    for (int i = 0; i < kNumC; ++i)
        prices_.c[i] = c_len[i] ? c_len[i] : 14;
    for (int p = 0; p < num_p_; ++p)
        prices_.p[p] = static_cast<uint16_t>((p_len[p] ? p_len[p] : 10) + std::max(0, p - 1));
}

uint64_t BlockWriter::EstimateBits(const std::vector<uint32_t>& c, const std::vector<uint32_t>& p) const {
    std::vector<uint8_t> c_len = BuildCodeLengths(c);
    std::vector<uint8_t> p_len = BuildCodeLengths(p);
    uint64_t bits = 16 + 3 * kTBits + 60;  // size field and the T table, roughly
    for (size_t i = 0; i < c.size(); ++i)
        if (c[i]) bits += static_cast<uint64_t>(c[i]) * (c_len[i] ? c_len[i] : 0) + 4;
    for (size_t i = 0; i < p.size(); ++i)
        if (p[i]) bits += static_cast<uint64_t>(p[i]) * (p_len[i] ? p_len[i] : 0) + 3;
    return bits;
}

void BlockWriter::Checkpoint() {
    if (block_len_ > 0) {
        std::vector<uint32_t> c_all(c_freq_), p_all(p_freq_);
        for (size_t i = 0; i < c_all.size(); ++i)
            c_all[i] += chunk_c_[i];
        for (size_t i = 0; i < p_all.size(); ++i)
            p_all[i] += chunk_p_[i];
        uint64_t joined = EstimateBits(c_all, p_all);
        uint64_t apart = EstimateBits(c_freq_, p_freq_) + EstimateBits(chunk_c_, chunk_p_);
        if (apart < joined || block_len_ >= kMaxBlock) {
            WriteBlock(block_len_, c_freq_, p_freq_);
            symbols_.erase(symbols_.begin(), symbols_.begin() + static_cast<std::ptrdiff_t>(block_len_));
            block_len_ = 0;
            std::fill(c_freq_.begin(), c_freq_.end(), 0);
            std::fill(p_freq_.begin(), p_freq_.end(), 0);
        }
    }
    for (size_t i = 0; i < c_freq_.size(); ++i)
        c_freq_[i] += chunk_c_[i];
    for (size_t i = 0; i < p_freq_.size(); ++i)
        p_freq_[i] += chunk_p_[i];
    std::fill(chunk_c_.begin(), chunk_c_.end(), 0);
    std::fill(chunk_p_.begin(), chunk_p_.end(), 0);
    block_len_ = symbols_.size();
    if (live_prices_) prices_ = PricesFor(c_freq_, p_freq_);
}

void BlockWriter::Flush() {
    if (symbols_.size() > block_len_) Checkpoint();
    if (block_len_ > 0) WriteBlock(block_len_, c_freq_, p_freq_);
    symbols_.clear();
    block_len_ = 0;
    std::fill(c_freq_.begin(), c_freq_.end(), 0);
    std::fill(p_freq_.begin(), p_freq_.end(), 0);
}

void BlockWriter::WriteBlock(size_t count, const std::vector<uint32_t>& c_freq,
                             const std::vector<uint32_t>& p_freq) {
    out_.Put(static_cast<uint32_t>(count), 16);

    std::vector<uint8_t> c_len = BuildCodeLengths(c_freq);
    std::vector<uint16_t> c_code = CanonicalCodes(c_len);
    bool single_c = std::all_of(c_len.begin(), c_len.end(), [](uint8_t l) { return l == 0; });
    if (single_c) {
        // One symbol in the whole block: empty T table, then the C table in its single-symbol form.
        out_.Put(0, kTBits);
        out_.Put(0, kTBits);
        out_.Put(0, kCBits);
        out_.Put(static_cast<uint32_t>(OnlySymbol(c_freq)), kCBits);
    } else {
        std::vector<TStep> steps = CLengthSteps(c_len);
        std::vector<uint32_t> t_freq(kNumT, 0);
        for (const TStep& s : steps)
            ++t_freq[s.symbol];
        std::vector<uint8_t> t_len = BuildCodeLengths(t_freq);
        std::vector<uint16_t> t_code = CanonicalCodes(t_len);
        WritePtLengths(out_, t_len, kTBits, 3, OnlySymbol(t_freq));
        size_t n = c_len.size();
        while (n > 0 && c_len[n - 1] == 0)
            --n;
        out_.Put(static_cast<uint32_t>(n), kCBits);
        for (const TStep& s : steps) {
            out_.Put(t_code[s.symbol], t_len[s.symbol]);
            if (s.extra_bits) out_.Put(s.extra, s.extra_bits);
        }
    }

    std::vector<uint8_t> p_len = BuildCodeLengths(p_freq);
    std::vector<uint16_t> p_code = CanonicalCodes(p_len);
    WritePtLengths(out_, p_len, p_bits_, -1, OnlySymbol(p_freq));

    for (size_t k = 0; k < count; ++k) {
        uint32_t s = symbols_[k];
        uint32_t c = s & 0xFFFF;
        out_.Put(c_code[c], c_len[c]);
        if (c >= 256) {
            uint32_t d = s >> 16;
            int p = BitLength(d);
            out_.Put(p_code[p], p_len[p]);
            if (p > 1) out_.Put(d, p - 1);  // Put keeps only the low p-1 bits: the top bit is implied
        }
    }
    if (single_c) c_len[OnlySymbol(c_freq)] = 1;
    if (std::all_of(p_len.begin(), p_len.end(), [](uint8_t l) { return l == 0; }))
        p_len[OnlySymbol(p_freq)] = 1;
    UpdatePrices(c_len, p_len);
}

}  // namespace vask::lha
