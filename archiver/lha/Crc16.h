// CRC-16/ARC (polynomial 0x8005 reflected, initial value 0), the checksum LZH archives keep for headers and
// data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vask::lha {

// Continues crc over size bytes; start with 0.
uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t size);

}  // namespace vask::lha
