// Names of the temporary files Vask and its archiver write beside their targets: "." + the target's name
// (cut to fit the name limit) + ".vask-" + eight letters or digits. A file with such a name may be work in
// progress (or left behind by a run that was killed): never a search result. It is removed only by what
// created it, or by a later run whose journal proves it Vask's own: never for its name alone.
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
