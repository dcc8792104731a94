#include "platform/linux/FlockInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vask {

namespace {

bool IsAbsolute(const std::optional<std::string>& value) {
    return value && !value->empty() && (*value)[0] == '/';
}

std::string WithSlash(std::string folder) {
    if (folder.back() != '/') folder.push_back('/');
    return folder;
}

}  // namespace

FlockInstanceLock::FlockInstanceLock(Environment& environment) : environment_(environment) {}

FlockInstanceLock::~FlockInstanceLock() {
    ReleaseAll();
}

void FlockInstanceLock::ReleaseAll() {
    for (int fd : descriptors_)
        ::close(fd);
    descriptors_.clear();
}

std::vector<std::string> FlockInstanceLock::Candidates() const {
    std::vector<std::string> paths;
    const std::optional<std::string> runtime = environment_.Get("XDG_RUNTIME_DIR");
    if (IsAbsolute(runtime)) paths.push_back(WithSlash(*runtime) + "Vask.lock");
    const std::optional<std::string> tmpdir = environment_.Get("TMPDIR");
    const std::string temporary = IsAbsolute(tmpdir) ? WithSlash(*tmpdir) : std::string("/tmp/");
    paths.push_back(temporary + "Vask-" + std::to_string(::getuid()) + ".lock");
    return paths;
}

InstanceLockResult FlockInstanceLock::Acquire() {
    ReleaseAll();
    failures_.clear();
    for (const std::string& path : Candidates()) {
        // O_NOFOLLOW and O_NONBLOCK: a link or a FIFO planted under the name in a shared folder is refused
        // instead of followed or waited on.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            failures_.push_back(path + ": " + std::strerror(errno));
            continue;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            // Someone else's file (or no file) at our name: it proves nothing either way.
            failures_.push_back(path + ": " + std::strerror(EPERM));
            ::close(fd);
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                ReleaseAll();
                return InstanceLockResult::AlreadyRunning;
            }
            failures_.push_back(path + ": " + std::strerror(error));
            continue;
        }
        descriptors_.push_back(fd);
    }
    if (!descriptors_.empty()) {
        failures_.clear();
        return InstanceLockResult::Acquired;
    }
    return InstanceLockResult::Unavailable;
}

std::string FlockInstanceLock::FailureText() const {
    std::string text;
    for (const std::string& failure : failures_) {
        if (!text.empty()) text += '\n';
        text += failure;
    }
    return text;
}

}  // namespace vask
