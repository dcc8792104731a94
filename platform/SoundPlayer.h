// The sound port: the end-of-delete sound.
#pragma once

#include <string>

namespace vask {

class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    // Plays the WAVE file wavePath and returns when it has ended (the command waits for it). When the file
    // cannot be played (missing, unreadable, not a sound, no sound output) the desktop's default beep sounds
    // instead and the call returns at once. No user input is handled while it waits; the window is still
    // repainted.
    virtual void PlayToEnd(const std::string& wavePath) = 0;
};

}  // namespace vask
