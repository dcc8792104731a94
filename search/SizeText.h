// The one rule by which every byte count is shown to the user.
#pragma once

#include <cstdint>
#include <string>

namespace vask {

// "0Byte", "1Byte", "2Bytes" … "1000Bytes", then "%.1fKBytes" above 1,000, "%.1fMBytes" above 1,000,000 and
// "%.1fGBytes" above 1,000,000,000 (or from 2^32 on). The thresholds are powers of ten, the divisors powers
// of two, and the tenth is rounded half up from the exact quotient (1,280 bytes are "1.3KBytes").
std::string FormatSizeText(std::uint32_t low, std::uint32_t high);
std::string FormatSizeText(std::uint64_t bytes);

}  // namespace vask
