// Names of the temporary files Vask and its archiver write beside their targets: "." + the target's name +
// ".vask-" + eight letters or digits. A file with such a name is work in progress (or left behind by a run
// that was killed): never a search result, and removed by the next disposal that finds it.
#pragma once

#include <string>
#include <string_view>

namespace vask {

inline constexpr std::string_view kTemporaryMarker = ".vask-";
inline constexpr std::size_t kTemporaryRandomLength = 8;

// The fixed part of a temporary name for target: "." + target + ".vask-".
inline std::string TemporaryNamePrefix(std::string_view target) {
    return "." + std::string(target) + std::string(kTemporaryMarker);
}

// True for a name of the form above.
inline bool IsVaskTemporaryName(std::string_view name) {
    const std::size_t tail = kTemporaryMarker.size() + kTemporaryRandomLength;
    if (name.size() < 2 + tail || name[0] != '.') return false;
    if (name.substr(name.size() - tail, kTemporaryMarker.size()) != kTemporaryMarker) return false;
    for (char c : name.substr(name.size() - kTemporaryRandomLength)) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum) return false;
    }
    return true;
}

}  // namespace vask
