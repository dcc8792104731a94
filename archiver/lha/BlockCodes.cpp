#include "archiver/lha/BlockCodes.h"

#include <algorithm>

#include "archiver/lha/Codec.h"

namespace vask::lha {

std::vector<TStep> CLengthSteps(const std::vector<uint8_t>& c_len) {
    size_t n = c_len.size();
    while (n > 0 && c_len[n - 1] == 0)
        --n;
    std::vector<TStep> steps;
    size_t i = 0;
    while (i < n) {
        uint8_t k = c_len[i++];
        if (k != 0) {
            steps.push_back({static_cast<uint8_t>(k + 2), 0, 0});
            continue;
        }
        unsigned run = 1;
        while (i < n && c_len[i] == 0) {
            ++i;
            ++run;
        }
        // Runs of 1-2 as single zeros, 3-18 with a 4-bit count, 19 split as 1 + 18, longer with a 9-bit
        // count.
        if (run <= 2) {
            for (unsigned r = 0; r < run; ++r)
                steps.push_back({0, 0, 0});
        } else if (run <= 18) {
            steps.push_back({1, static_cast<uint16_t>(run - 3), 4});
        } else if (run == 19) {
            steps.push_back({0, 0, 0});
            steps.push_back({1, 15, 4});
        } else {
            steps.push_back({2, static_cast<uint16_t>(run - 20), kCBits});
        }
    }
    return steps;
}

void WritePtLengths(BitWriter& out, const std::vector<uint8_t>& lengths, int nbit, int special,
                    int only_symbol) {
    int n = static_cast<int>(lengths.size());
    while (n > 0 && lengths[n - 1] == 0)
        --n;
    if (n == 0) {
        out.Put(0, nbit);
        out.Put(static_cast<uint32_t>(only_symbol), nbit);
        return;
    }
    out.Put(static_cast<uint32_t>(n), nbit);
    int i = 0;
    while (i < n) {
        int k = lengths[i++];
        if (k <= 6)
            out.Put(static_cast<uint32_t>(k), 3);
        else
            out.Put((1u << (k - 3)) - 2, k - 3);  // "111", k-7 ones, a closing zero
        if (i == special) {
            int j = i;
            while (j < std::min(n, 6) && lengths[j] == 0)
                ++j;
            out.Put(static_cast<uint32_t>(j - i), 2);
            i = j;
        }
    }
}

bool ReadPtLengths(BitReader& in, int count, int nbit, int special, HuffmanDecoder& decoder) {
    int n = static_cast<int>(in.Get(nbit));
    if (n == 0) {
        int c = static_cast<int>(in.Get(nbit));
        if (c >= count) return false;
        decoder.SetSingle(static_cast<uint16_t>(c));
        return true;
    }
    if (n > count) return false;
    std::vector<uint8_t> lengths(count, 0);
    int i = 0;
    while (i < n) {
        int c = static_cast<int>(in.Get(3));
        if (c == 7) {
            while (in.Get(1)) {
                if (++c > kMaxCodeBits) return false;
            }
        }
        lengths[i++] = static_cast<uint8_t>(c);
        if (i == special) {
            int zeros = static_cast<int>(in.Get(2));
            if (i + zeros > count) return false;
            i += zeros;  // already zero
        }
    }
    return decoder.Build(lengths, 8);
}

bool ReadCLengths(BitReader& in, const HuffmanDecoder& t, HuffmanDecoder& decoder) {
    int n = static_cast<int>(in.Get(kCBits));
    if (n == 0) {
        int c = static_cast<int>(in.Get(kCBits));
        if (c >= kNumC) return false;
        decoder.SetSingle(static_cast<uint16_t>(c));
        return true;
    }
    if (n > kNumC) return false;
    std::vector<uint8_t> lengths(kNumC, 0);
    int i = 0;
    while (i < n) {
        int c = t.Decode(in);
        if (c < 0) return false;
        if (c <= 2) {
            int run = c == 0   ? 1
                      : c == 1 ? static_cast<int>(in.Get(4)) + 3
                               : static_cast<int>(in.Get(kCBits)) + 20;
            if (i + run > kNumC) return false;
            i += run;
        } else {
            lengths[i++] = static_cast<uint8_t>(c - 2);
        }
    }
    return decoder.Build(lengths, 12);
}

}  // namespace vask::lha
