#include "archiver/lha/Lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vask::lha {

std::string LockFilePath() {
    std::string dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        dir = run;
    else if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp)
        dir = tmp;
    else
        dir = "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir + "unlha32-" + std::to_string(::getuid()) + ".lock";
}

OperationLock::~OperationLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

Status OperationLock::TryAcquire(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return Status::Error(errno, path, "open lock file");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return Status::Busy(path, "lock");
        return Status::Error(err, path, "lock");
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return Status::Ok();
}

bool LockIsHeld(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;  // no lock file: nobody ever locked
    bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // releases the probe lock if it was taken
    return held;
}

}  // namespace vask::lha
