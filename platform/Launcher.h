// The launcher port: opens things with the desktop's programs. Nothing here waits for the program it starts.
#pragma once

#include <string>

namespace vask {

class Launcher {
  public:
    virtual ~Launcher() = default;
    // Opens a file with the desktop's default application for it. False when nothing could be started.
    virtual bool OpenFile(const std::string& path) = 0;
    // Opens the desktop's trash view (trash:///). False when nothing can show it.
    virtual bool OpenTrash() = 0;
    // Opens Vask's own help page. False when it cannot be found or shown.
    virtual bool OpenHelp() = 0;
};

}  // namespace vask
