#include "archiver/lha/Huffman.h"

#include <algorithm>
#include <numeric>

namespace vask::lha {

std::vector<uint8_t> BuildCodeLengths(const std::vector<uint32_t>& freq) {
    const size_t n = freq.size();
    std::vector<uint8_t> lengths(n, 0);
    // Sorted by frequency, then by symbol: the frequency in the high half of each key, the symbol below.
    std::vector<uint64_t> keys;
    for (size_t i = 0; i < n; ++i)
        if (freq[i] != 0) keys.push_back(static_cast<uint64_t>(freq[i]) << 32 | i);
    if (keys.size() < 2) return lengths;
    std::sort(keys.begin(), keys.end());
    std::vector<uint32_t> used(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        used[i] = static_cast<uint32_t>(keys[i]);

    // Plain Huffman construction over the sorted list (two-queue method), giving each leaf's depth.
    const size_t m = used.size();
    std::vector<uint64_t> weight(2 * m);
    std::vector<uint32_t> parent(2 * m, 0);
    for (size_t i = 0; i < m; ++i)
        weight[i] = freq[used[i]];
    size_t leaf = 0, inner = m, next = m;
    auto take = [&]() {
        if (leaf < m && (inner >= next || weight[leaf] <= weight[inner])) return leaf++;
        return inner++;
    };
    for (; next < 2 * m - 1; ++next) {
        size_t a = take();
        size_t b = take();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<uint32_t>(next);
    }
    std::vector<uint32_t> depth(2 * m, 0);
    for (size_t i = 2 * m - 2; i-- > 0;)
        depth[i] = depth[parent[i]] + 1;

    // Count leaves per depth, then fold depths over the limit back in; each step keeps the tree full.
    std::vector<uint32_t> count(std::max<size_t>(m + 1, kMaxCodeBits + 1), 0);
    uint32_t max_depth = 0;
    for (size_t i = 0; i < m; ++i) {
        ++count[depth[i]];
        max_depth = std::max(max_depth, depth[i]);
    }
    for (uint32_t d = max_depth; d > kMaxCodeBits; --d) {
        while (count[d] > 0) {
            uint32_t j = d - 2;
            while (count[j] == 0)
                --j;
            count[d] -= 2;
            count[d - 1] += 1;
            count[j + 1] += 2;
            count[j] -= 1;
        }
    }
    // Shortest codes to the most frequent symbols: walk from the most frequent end of the sorted list.
    size_t idx = m;
    for (uint32_t d = 1; d <= kMaxCodeBits; ++d) {
        for (uint32_t k = 0; k < count[d]; ++k)
            lengths[used[--idx]] = static_cast<uint8_t>(d);
    }
    return lengths;
}

std::vector<uint16_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t count[kMaxCodeBits + 1] = {};
    for (uint8_t len : lengths)
        if (len) ++count[len];
    uint32_t next[kMaxCodeBits + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        code = (code + count[len - 1]) << 1;
        if (len == 1) code = 0;
        next[len] = code;
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i]) codes[i] = static_cast<uint16_t>(next[lengths[i]]++);
    return codes;
}

void HuffmanDecoder::SetSingle(uint16_t symbol) {
    single_ = symbol;
}

bool HuffmanDecoder::Build(const std::vector<uint8_t>& lengths, int table_bits) {
    single_ = -1;
    table_bits_ = table_bits;
    std::fill(std::begin(count_), std::end(count_), 0);
    for (uint8_t len : lengths) {
        if (len > kMaxCodeBits) return false;
        if (len) ++count_[len];
    }
    // Reject over-subscription: more codes of some length than the shorter ones leave room for.
    int64_t room = 1;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        room = room * 2 - count_[len];
        if (room < 0) return false;
    }
    uint32_t code = 0, offset = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        first_[len] = code;
        offset_[len] = offset;
        code = (code + count_[len]) << 1;
        offset += count_[len];
    }
    sorted_.assign(offset, 0);
    uint32_t fill[kMaxCodeBits + 2];
    std::copy(std::begin(offset_), std::end(offset_), fill);
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) sorted_[fill[lengths[s]]++] = static_cast<uint16_t>(s);

    table_.assign(size_t{1} << table_bits, 0);
    for (int len = 1; len <= table_bits; ++len) {
        for (uint32_t k = 0; k < count_[len]; ++k) {
            uint32_t c = first_[len] + k;
            uint32_t entry = kShort | static_cast<uint32_t>(sorted_[offset_[len] + k]) << 5 | len;
            uint32_t lo = c << (table_bits - len);
            uint32_t hi = lo + (1u << (table_bits - len));
            for (uint32_t i = lo; i < hi; ++i)
                table_[i] = entry;
        }
    }
    // Entries left 0 either lead to longer codes or to no code; DecodeLong tells them apart.
    return true;
}

int HuffmanDecoder::DecodeLong(BitReader& in) const {
    uint32_t bits = in.Peek(kMaxCodeBits);
    for (int len = table_bits_ + 1; len <= kMaxCodeBits; ++len) {
        uint32_t c = bits >> (kMaxCodeBits - len);
        if (c - first_[len] < count_[len]) {
            in.Skip(len);
            return sorted_[offset_[len] + (c - first_[len])];
        }
    }
    return -1;
}

}  // namespace vask::lha
