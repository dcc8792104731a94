// The compression methods of LZH archives this library knows.
#pragma once

#include <optional>
#include <string>

namespace vask::lha {

enum class Method { kStored, kLh4, kLh5, kLh6, kLh7, kDirectory };

// "-lh0-" ... "-lh7-", "-lhd-".
std::string MethodId(Method m);
// The method for a 5-byte id, or nothing for ids this library cannot decode.
std::optional<Method> ParseMethodId(const std::string& id);
// Dictionary size in bits for the sliding-dictionary methods (12 for -lh4- ... 16 for -lh7-), 0 otherwise.
int DictionaryBits(Method m);

}  // namespace vask::lha
