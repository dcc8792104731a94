// File-name patterns with the rules users of the original platform expect.
#pragma once

#include <string_view>

namespace vask {

// True when the pattern can name files inside one folder: not empty, no "/" in it, not "." or "..".
bool IsUsableFilePattern(std::string_view pattern);

// Matches a file name against a pattern: "*" any run of characters, "?" exactly one character (one UTF-8
// character, or one byte that is not part of a well-formed one), ASCII letters without regard to case, other
// bytes exactly. "*.*" matches every name; a pattern ending in ".*" also matches the name without that
// extension ("read.*" matches "read"); a pattern ending in "." matches names without an extension ("*."
// matches "Makefile", not "a.txt"). An unusable pattern matches nothing.
bool MatchesFilePattern(std::string_view pattern, std::string_view name);

}  // namespace vask
