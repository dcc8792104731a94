// A sound fake: records what would have been played.
#pragma once

#include <string>
#include <vector>

#include "platform/SoundPlayer.h"

namespace vask {

class FakeSoundPlayer : public SoundPlayer {
  public:
    void PlayToEnd(const std::string& wavePath) override { played.push_back(wavePath); }

    std::vector<std::string> played;  // every path asked for, in order
};

}  // namespace vask
