// Archiver fakes: a library that is missing, busy, failing, or one that moves the listed files of a
// MemoryFileSystem into an archive file as the real library moves real files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ArchiverLibrary.h"
#include "platform/fakes/MemoryFileSystem.h"

namespace vask {

class FakeArchiverLoader : public ArchiverLoader {
  public:
    enum class Behaviour {
        Missing,  // Load returns null
        Busy,     // GetRunning says another archive operation runs
        Fail,     // Run returns failCode and changes nothing
        Move,     // Run carries out "m" on fileSystem (needs a MemoryFileSystem)
    };

    explicit FakeArchiverLoader(Behaviour behaviour, MemoryFileSystem* fileSystem = nullptr)
        : behaviour_(behaviour), fileSystem_(fileSystem) {}

    std::unique_ptr<ArchiverLibrary> Load() override;

    // What the tests look at.
    int loads = 0;                          // successful loads
    int liveLibraries = 0;                  // loaded and not yet unloaded
    int getRunningCalls = 0;                // calls of GetRunning
    std::vector<std::string> commandLines;  // every Run, in order
    std::vector<std::string>
        listFileTexts;  // the list file's bytes as each Run read them ("<missing>" if none)
    int failCode = 4;   // Fail: what Run returns

    // Move: the archive is a file whose content is the member paths, one per line, appended to what the
    // archive held before (the real library updates an existing archive). A listed file that is missing or
    // not a regular file fails the run with 2 and nothing is moved; an unparsable list returns 1.
    int Move(const std::string& listText);

  private:
    class Library;

    Behaviour behaviour_;
    MemoryFileSystem* fileSystem_;
};

}  // namespace vask
