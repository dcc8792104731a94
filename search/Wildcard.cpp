#include "search/Wildcard.h"

#include "settings/CodePage.h"

namespace vask {

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Matches pattern against name with "*" and "?" only. Iterative with one back-track point, so a pattern of
// many stars costs O(pattern × name) at worst, never exponential time.
bool MatchStarQuestion(std::string_view pattern, std::string_view name) {
    // Whatever follows the last wildcard must be the end of the name, byte for byte after folding: a cheap
    // test that turns away most names of a folder before the general match runs.
    const std::size_t lastWildcard = pattern.find_last_of("*?");
    if (lastWildcard != std::string_view::npos) {
        const std::string_view tail = pattern.substr(lastWildcard + 1);
        if (tail.size() > name.size()) return false;
        const std::string_view nameTail = name.substr(name.size() - tail.size());
        for (std::size_t i = 0; i < tail.size(); ++i) {
            if (FoldAscii(tail[i]) != FoldAscii(nameTail[i])) return false;
        }
    }
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
            continue;
        }
        if (p < pattern.size()) {
            const std::size_t nameCharLength = Utf8CharLength(name, n);
            if (pattern[p] == '?') {
                ++p;
                n += nameCharLength;
                continue;
            }
            // A literal: compare one pattern character with one name character, byte for byte after
            // folding ASCII letters.
            const std::size_t patternCharLength = Utf8CharLength(pattern, p);
            if (patternCharLength == nameCharLength) {
                bool same = true;
                for (std::size_t i = 0; i < patternCharLength && same; ++i) {
                    same = FoldAscii(pattern[p + i]) == FoldAscii(name[n + i]);
                }
                if (same) {
                    p += patternCharLength;
                    n += nameCharLength;
                    continue;
                }
            }
        }
        if (starP == std::string_view::npos) return false;
        // Let the last star take one more character of the name.
        p = starP + 1;
        starN += Utf8CharLength(name, starN);
        n = starN;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace

bool IsUsableFilePattern(std::string_view pattern) {
    return !pattern.empty() && pattern != "." && pattern != ".." &&
           pattern.find('/') == std::string_view::npos;
}

bool MatchesFilePattern(std::string_view pattern, std::string_view name) {
    if (!IsUsableFilePattern(pattern) || name.empty()) return false;
    if (pattern == "*.*" || pattern == "*") return true;
    if (pattern.back() == '.') {
        // "name." and "*.": the extension must be absent.
        std::string_view stem = pattern;
        while (!stem.empty() && stem.back() == '.')
            stem.remove_suffix(1);
        if (stem.find('.') == std::string_view::npos && name.find('.') != std::string_view::npos)
            return false;
        return MatchStarQuestion(stem, name);
    }
    if (MatchStarQuestion(pattern, name)) return true;
    if (pattern.size() > 2 && pattern.substr(pattern.size() - 2) == ".*") {
        return MatchStarQuestion(pattern.substr(0, pattern.size() - 2), name);
    }
    return false;
}

}  // namespace vask
