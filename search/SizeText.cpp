#include "search/SizeText.h"

namespace vask {

namespace {

// bytes / divisor to one decimal, halves rounded up. Done in integers: printf's "%.1f" rounds an exact tie
// to even on this platform ("1.2" for 1.25), which is not how sizes are shown.
std::string Tenths(std::uint64_t bytes, std::uint64_t divisor, const char* unit) {
    const std::uint64_t whole = bytes / divisor;
    const std::uint64_t rest = bytes % divisor;  // < 2^30, so rest * 10 cannot overflow
    std::uint64_t tenths = whole * 10 + (rest * 10) / divisor;
    const std::uint64_t remainder = (rest * 10) % divisor;
    if (remainder * 2 >= divisor) ++tenths;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + unit;
}

}  // namespace

std::string FormatSizeText(std::uint64_t bytes) {
    constexpr std::uint64_t kGiB = 1073741824, kMiB = 1048576, kKiB = 1024;
    if (bytes >= (std::uint64_t{1} << 32) || bytes > 1000000000) return Tenths(bytes, kGiB, "GBytes");
    if (bytes > 1000000) return Tenths(bytes, kMiB, "MBytes");
    if (bytes > 1000) return Tenths(bytes, kKiB, "KBytes");
    if (bytes > 1) return std::to_string(bytes) + "Bytes";
    return std::to_string(bytes) + "Byte";
}

std::string FormatSizeText(std::uint32_t low, std::uint32_t high) {
    return FormatSizeText((std::uint64_t{high} << 32) | low);
}

}  // namespace vask
