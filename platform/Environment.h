// The environment port: the process's environment variables, so that folder rules ($TMPDIR, $HOME,
// $XDG_*) can be tested without touching the real environment.
#pragma once

#include <optional>
#include <string>

namespace vask {

class Environment {
  public:
    virtual ~Environment() = default;
    // The variable's value, or nothing when it is unset. An empty value is returned as empty.
    virtual std::optional<std::string> Get(const std::string& name) = 0;
};

}  // namespace vask
