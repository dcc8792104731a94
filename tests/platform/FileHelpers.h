// Small helpers for tests on the real file system: reading a file, asking whether a name exists, running a
// command for its output, a file as the disposal sees it after a search, and the immutable flag.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "disposal/FileOperation.h"

namespace vask::testing {

// The file's bytes; empty when it cannot be read.
inline std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The file's bytes, or "<missing>" when it cannot be read: tells a missing file from an empty one.
inline std::string ReadOrMissing(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : std::string("<missing>");
}

// Whether the name exists, without following a final symbolic link.
inline bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// What the shell command writes to its standard output.
inline std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            out += static_cast<char>(c);
        ::pclose(pipe);
    }
    return out;
}

// The file as a search would have listed it: size and identity as they are now.
inline FileOperationItem ItemOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return FileOperationItem{
        path, static_cast<std::uint64_t>(st.st_size),
        FileIdentity{st.st_dev, st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec}};
}

// Sets or clears the file's immutable flag (root only, and only where the file system keeps the flag).
inline bool SetImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

// Where an archiver test runs: its own current folder (the list file's place) and its own archiver lock
// folder (XDG_RUNTIME_DIR), so a busy test cannot disturb other archiver users of this machine. Both are
// put back when the object goes.
class ArchiverWorkPlace {
  public:
    ArchiverWorkPlace() = default;
    ArchiverWorkPlace(const ArchiverWorkPlace&) = delete;
    ArchiverWorkPlace& operator=(const ArchiverWorkPlace&) = delete;
    ~ArchiverWorkPlace() {
        if (!previousFolder_.empty() && ::chdir(previousFolder_.c_str()) != 0) std::perror("chdir back");
        if (!entered_) return;
        if (previousRuntime_)
            ::setenv("XDG_RUNTIME_DIR", previousRuntime_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

    // False when the current folder cannot be changed.
    bool Enter(const std::string& folder, const std::string& runtime) {
        char previous[4096];
        if (::getcwd(previous, sizeof previous) == nullptr) return false;
        previousFolder_ = previous;
        if (::chdir(folder.c_str()) != 0) return false;
        if (const char* run = std::getenv("XDG_RUNTIME_DIR")) previousRuntime_ = run;
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        entered_ = true;
        return true;
    }

  private:
    std::string previousFolder_;
    std::optional<std::string> previousRuntime_;
    bool entered_ = false;
};

}  // namespace vask::testing
