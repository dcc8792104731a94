// Paths as Vask shows them in messages and reports: one line, every control character visible.
#pragma once

#include <string>
#include <string_view>

namespace vask {

// The path with every control byte written as an escape, the way coreutils quotes names: \a \b \t \n \v \f
// \r by their letters, any other C0 byte, DEL and the C1 controls (U+0080..U+009F) as \xHH per byte. Bytes
// that are not valid UTF-8 are written as \xHH too; valid UTF-8 (Japanese names) stays as it is. A
// backslash stays a single backslash. Never fails.
std::string ShownPath(std::string_view path);

}  // namespace vask
