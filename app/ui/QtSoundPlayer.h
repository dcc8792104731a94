// The sound port over Qt Multimedia: a WAVE file is played with QSoundEffect and waited for in a local event
// loop that repaints the windows but takes no user input, so no command can start while the sound plays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/SoundPlayer.h"

namespace vask {

class QtSoundPlayer : public SoundPlayer {
  public:
    // Returns when the sound has ended, or at the latest when its length (from the file's header) plus a
    // margin has passed, so a sound output that never reports the end cannot hold the command. A file that
    // is no readable WAVE, or that Qt reports it cannot play, gives QApplication::beep() instead.
    void PlayToEnd(const std::string& wavePath) override;

    // The playing time of the WAVE file in milliseconds (platform/WaveHeader.h); empty when the file cannot
    // be read or is no WAVE.
    static std::optional<std::int64_t> FileDurationMs(const std::string& wavePath);
};

}  // namespace vask
