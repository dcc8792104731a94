// Shortening a file name to fit the file system's name limit, shared by the adapters that add a suffix to a
// user's file name (trash entries, temporary copies).
#pragma once

#include <cstddef>
#include <string>

namespace vask {

// Where a name may be cut: at most `limit` bytes, and not inside a UTF-8 character. Bytes that are not
// valid UTF-8 have no characters to respect and are cut anywhere.
inline std::size_t NameCutPoint(const std::string& name, std::size_t limit) {
    if (name.size() <= limit) return name.size();
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(name[i]); };
    std::size_t lead = limit;
    while (lead > 0 && limit - lead < 3 && (byte(lead) & 0xC0) == 0x80)
        --lead;
    if (lead < limit && byte(lead) >= 0xC2 && byte(lead) <= 0xF4) {
        const std::size_t length = byte(lead) >= 0xF0 ? 4 : byte(lead) >= 0xE0 ? 3 : 2;
        if (lead + length > limit) return lead;
    }
    return limit;
}

}  // namespace vask
