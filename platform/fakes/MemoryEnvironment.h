// A fixed set of environment variables, for tests.
#pragma once

#include <map>

#include "platform/Environment.h"

namespace vask {

class MemoryEnvironment : public Environment {
  public:
    std::optional<std::string> Get(const std::string& name) override {
        auto it = variables.find(name);
        if (it == variables.end()) return std::nullopt;
        return it->second;
    }

    std::map<std::string, std::string> variables;
};

}  // namespace vask
