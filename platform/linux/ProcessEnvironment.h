// The environment port on the process environment.
#pragma once

#include "platform/Environment.h"

namespace vask {

class ProcessEnvironment : public Environment {
  public:
    std::optional<std::string> Get(const std::string& name) override;
};

}  // namespace vask
