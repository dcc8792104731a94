#include "platform/linux/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vask {

FileStatus FileStatusFromStat(const struct stat& st) {
    FileStatus status;
    if (S_ISREG(st.st_mode)) {
        status.kind = EntryKind::Regular;
    } else if (S_ISDIR(st.st_mode)) {
        status.kind = EntryKind::Directory;
    } else if (S_ISLNK(st.st_mode)) {
        status.kind = EntryKind::Symlink;
    } else {
        status.kind = EntryKind::Other;
    }
    status.device = st.st_dev;
    status.inode = st.st_ino;
    status.size = st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
    status.mtimeSeconds = st.st_mtim.tv_sec;
    status.mtimeNanoseconds = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
    status.mode = st.st_mode & 07777;
    status.ownerId = st.st_uid;
    return status;
}

namespace {

class PosixWritableFile : public WritableFile {
  public:
    PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixWritableFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    Status Write(std::string_view data) override {
        while (!data.empty()) {
            const ssize_t written = ::write(fd_, data.data(), data.size());
            if (written < 0) {
                if (errno == EINTR) continue;
                return Status::Error(errno, path_, "write");
            }
            // A write of 0 bytes with bytes left cannot make progress: report it as a full disk.
            if (written == 0) return Status::Error(ENOSPC, path_, "write");
            data.remove_prefix(static_cast<std::size_t>(written));
        }
        return Status::Ok();
    }

    Status Sync() override {
        if (::fsync(fd_) != 0) return Status::Error(errno, path_, "fsync");
        return Status::Ok();
    }

    Status SetTimesAndMode(std::int64_t mtimeSeconds, std::int32_t mtimeNanoseconds,
                           std::uint32_t mode) override {
        const struct timespec times[2] = {{mtimeSeconds, mtimeNanoseconds}, {mtimeSeconds, mtimeNanoseconds}};
        if (::futimens(fd_, times) != 0) return Status::Error(errno, path_, "set times");
        if (::fchmod(fd_, mode & 07777) != 0) return Status::Error(errno, path_, "chmod");
        return Status::Ok();
    }

    Status Close() override {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) return Status::Error(errno, path_, "close");
        return Status::Ok();
    }

  private:
    int fd_;
    std::string path_;
};

class PosixReadableFile : public ReadableFile {
  public:
    PosixReadableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixReadableFile() override { ::close(fd_); }

    Result<std::size_t> Read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, size);
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) return Status::Error(errno, path_, "read");
        }
    }

    Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) return Status::Error(errno, path_, "read");
        }
    }

    Result<FileStatus> Stat() override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) return Status::Error(errno, path_, "fstat");
        return FileStatusFromStat(st);
    }

  private:
    int fd_;
    std::string path_;
};

}  // namespace

std::unique_ptr<WritableFile> MakePosixWritableFile(int fd, std::string path) {
    return std::make_unique<PosixWritableFile>(fd, std::move(path));
}

std::unique_ptr<ReadableFile> MakePosixReadableFile(int fd, std::string path) {
    return std::make_unique<PosixReadableFile>(fd, std::move(path));
}

}  // namespace vask
