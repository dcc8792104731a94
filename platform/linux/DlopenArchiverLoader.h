// The archiver port on dlopen: loads libunlha32.so by absolute path from Vask's own folders, never through
// the system's library search, so a library of the same name elsewhere is never picked up.
#pragma once

#include <string>
#include <vector>

#include "platform/ArchiverLibrary.h"

namespace vask {

class DlopenArchiverLoader : public ArchiverLoader {
  public:
    // Searches DefaultCandidates().
    DlopenArchiverLoader();
    // Searches the given library paths, in order.
    explicit DlopenArchiverLoader(std::vector<std::string> candidates);

    // Where Vask's library lives, relative to the folder of the running executable (EXE), in this order:
    //   1. EXE/../lib/libunlha32.so       installed: bin/vask beside lib/
    //   2. EXE/libunlha32.so              a copy kept beside the executable
    //   3. EXE/../archiver/libunlha32.so  the build tree (build/app/vask and build/tests/* next to
    //                                     build/archiver/)
    // Empty when the executable's path cannot be read.
    static std::vector<std::string> DefaultCandidates();

    // The first candidate that loads (RTLD_NOW | RTLD_LOCAL) and has both "Unlha" and "UnlhaGetRunning";
    // a copy that lacks either is unloaded and the search goes on. Null when none does.
    std::unique_ptr<ArchiverLibrary> Load() override;

    // Why each candidate was passed over in the last Load, for diagnostics.
    const std::string& LastError() const { return lastError_; }

  private:
    std::vector<std::string> candidates_;
    std::string lastError_;
};

}  // namespace vask
