#include "platform/linux/ProcessEnvironment.h"

#include <cstdlib>

namespace vask {

std::optional<std::string> ProcessEnvironment::Get(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace vask
