#include "archiver/lha/Crc16.h"

#include <array>

namespace vask::lha {
namespace {

// table[k][b]: the CRC of byte b followed by k zero bytes, so that four bytes are folded per step.
constexpr std::array<std::array<uint16_t, 256>, 4> MakeTables() {
    std::array<std::array<uint16_t, 256>, 4> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
        t[0][i] = static_cast<uint16_t>(c);
    }
    for (int k = 1; k < 4; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>(t[0][t[k - 1][i] & 0xFF] ^ (t[k - 1][i] >> 8));
    return t;
}

constexpr auto kTables = MakeTables();

}  // namespace

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t size) {
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        unsigned a = (crc ^ data[i]) & 0xFF;
        unsigned b = ((crc >> 8) ^ data[i + 1]) & 0xFF;
        crc = static_cast<uint16_t>(kTables[3][a] ^ kTables[2][b] ^ kTables[1][data[i + 2]] ^
                                    kTables[0][data[i + 3]]);
    }
    for (; i < size; ++i)
        crc = static_cast<uint16_t>(kTables[0][(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

}  // namespace vask::lha
