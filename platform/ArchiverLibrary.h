// The archiver port: the LHA archiver library (libunlha32.so, the C API of UNLHA32.DLL), loaded when a
// compression needs it and unloaded when that compression ends.
#pragma once

#include <memory>
#include <string>

namespace vask {

// One loaded copy of the library. Destroying it unloads the library.
class ArchiverLibrary {
  public:
    virtual ~ArchiverLibrary() = default;
    // "UnlhaGetRunning": non-zero while another archive operation (of any process) is running, 0 when free.
    virtual int GetRunning() = 0;
    // "Unlha": carries out the command line (for Vask "@" + the list file's name, read relative to the
    // process's current folder). 0 when it was carried out; any other value is a failure. The archiver's text
    // (at most 255 bytes, from a 256-byte buffer) is put into output; Vask does not show it.
    virtual int Run(const std::string& commandLine, std::string& output) = 0;
};

class ArchiverLoader {
  public:
    virtual ~ArchiverLoader() = default;
    // Loads the library. Null when it cannot be found or loaded, or when it lacks either function: Vask
    // then says the library is missing.
    virtual std::unique_ptr<ArchiverLibrary> Load() = 0;
};

}  // namespace vask
