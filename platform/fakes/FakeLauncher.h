// A launcher that records what it was asked to open and answers as told.
#pragma once

#include <string>
#include <vector>

#include "platform/Launcher.h"

namespace vask {

class FakeLauncher : public Launcher {
  public:
    bool OpenFile(const std::string& path) override {
        openedFiles.push_back(path);
        return canOpen;
    }
    bool OpenTrash() override {
        ++trashOpened;
        return canOpen;
    }
    bool OpenHelp() override {
        ++helpOpened;
        return canOpen;
    }

    bool canOpen = true;
    std::vector<std::string> openedFiles;
    int trashOpened = 0;
    int helpOpened = 0;
};

}  // namespace vask
