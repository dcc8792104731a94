// The code-table part of an LZH block, shared by encoder and decoder: how the code lengths of the literal and
// length alphabet ("C"), of the positions ("P") and of the code-length alphabet ("T") are sent.
#pragma once

#include <cstdint>
#include <vector>

#include "archiver/lha/BitIo.h"
#include "archiver/lha/Huffman.h"

namespace vask::lha {

// One step of the run-length form of the C lengths: a T symbol plus extra bits.
struct TStep {
    uint8_t symbol;
    uint16_t extra;
    uint8_t extra_bits;
};

// The T-symbol sequence that describes c_len (trailing zero lengths are not sent).
std::vector<TStep> CLengthSteps(const std::vector<uint8_t>& c_len);

// Writes a T or P length table; special is the index after which a 2-bit zero-run count follows (3 for T, -1
// for none). A table with fewer than two used symbols is written in its single-symbol form.
void WritePtLengths(BitWriter& out, const std::vector<uint8_t>& lengths, int nbit, int special,
                    int only_symbol);

// Reads what WritePtLengths wrote into decoder. False on damaged data.
bool ReadPtLengths(BitReader& in, int count, int nbit, int special, HuffmanDecoder& decoder);
// Reads the C lengths, coded with t, into decoder. False on damaged data.
bool ReadCLengths(BitReader& in, const HuffmanDecoder& t, HuffmanDecoder& decoder);

}  // namespace vask::lha
