#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <random>
#include <vector>

#include "archiver/lha/FileIo.h"

namespace vask::lha {
namespace {

FileInfo ToInfo(const struct stat& st) {
    FileInfo info;
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.mode = st.st_mode;
    info.size = static_cast<uint64_t>(st.st_size);
    info.mtime = st.st_mtim;
    info.uid = st.st_uid;
    info.gid = st.st_gid;
    return info;
}

class PosixInput : public InputFile {
  public:
    PosixInput(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixInput() override { ::close(fd_); }
    Result<size_t> Read(uint8_t* data, size_t size) override {
        for (;;) {
            ssize_t n = ::pread(fd_, data, size, static_cast<off_t>(pos_));
            if (n >= 0) {
                pos_ += static_cast<uint64_t>(n);
                return static_cast<size_t>(n);
            }
            if (errno != EINTR) return Status::Error(errno, path_, "read");
        }
    }
    Status Seek(uint64_t offset) override {
        pos_ = offset;
        return Status::Ok();
    }
    uint64_t Tell() const override { return pos_; }
    Result<FileInfo> Stat() override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) return Status::Error(errno, path_, "stat");
        return ToInfo(st);
    }

  private:
    int fd_;
    std::string path_;
    uint64_t pos_ = 0;
};

class PosixOutput : public OutputFile {
  public:
    PosixOutput(int fd, std::string path) : fd_(fd), path_(std::move(path)) { buffer_.reserve(kBuffer); }
    ~PosixOutput() override {
        if (fd_ >= 0) ::close(fd_);
    }
    Status Write(const uint8_t* data, size_t size) override {
        if (fd_ < 0) return Status::Error(EBADF, path_, "write");
        if (buffer_.size() + size > kBuffer)
            if (Status s = Drain(); !s) return s;
        if (size >= kBuffer) {
            if (Status s = WriteAll(data, size, size_); !s) return s;
        } else {
            buffer_.insert(buffer_.end(), data, data + size);
        }
        size_ += size;
        return Status::Ok();
    }
    Status WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
        if (offset + size > size_) return Status::Error(EINVAL, path_, "write");
        if (Status s = Drain(); !s) return s;
        return WriteAll(data, size, offset);
    }
    Status Truncate(uint64_t offset) override {
        if (Status s = Drain(); !s) return s;
        if (::ftruncate(fd_, static_cast<off_t>(offset)) != 0) return Status::Error(errno, path_, "truncate");
        size_ = offset;
        return Status::Ok();
    }
    uint64_t Size() const override { return size_; }
    Status Sync() override {
        if (Status s = Drain(); !s) return s;
        if (::fsync(fd_) != 0) return Status::Error(errno, path_, "fsync");
        return Status::Ok();
    }
    Status SetMode(uint32_t mode) override {
        if (::fchmod(fd_, mode & 07777) != 0) return Status::Error(errno, path_, "chmod");
        return Status::Ok();
    }
    Status Close() override {
        Status s = Drain();
        if (fd_ >= 0 && ::close(fd_) != 0 && s.ok()) s = Status::Error(errno, path_, "close");
        fd_ = -1;
        return s;
    }

  private:
    static constexpr size_t kBuffer = 1 << 16;
    uint64_t Flushed() const { return size_ - buffer_.size(); }
    Status Drain() {
        if (buffer_.empty()) return Status::Ok();
        Status s = WriteAll(buffer_.data(), buffer_.size(), Flushed());
        buffer_.clear();
        return s;
    }
    Status WriteAll(const uint8_t* data, size_t size, uint64_t offset) {
        while (size > 0) {
            ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR) continue;
                return Status::Error(errno, path_, "write");
            }
            data += n;
            size -= static_cast<size_t>(n);
            offset += static_cast<uint64_t>(n);
        }
        return Status::Ok();
    }

    int fd_;
    std::string path_;
    std::vector<uint8_t> buffer_;
    uint64_t size_ = 0;
};

class Posix : public FileIo {
  public:
    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return Status::Error(errno, path, "open");
        return std::unique_ptr<InputFile>(new PosixInput(fd, path));
    }
    Result<std::unique_ptr<OutputFile>> CreateTemp(const std::string& dir, const std::string& prefix,
                                                   std::string* path) override {
        static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::random_device seed;
        std::mt19937 rng(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = dir + prefix;
            for (size_t i = 0; i < kTempSuffixLength; ++i)
                name += kChars[rng() % (sizeof(kChars) - 1)];
            int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0) {
                *path = name;
                return std::unique_ptr<OutputFile>(new PosixOutput(fd, name));
            }
            if (errno != EEXIST) return Status::Error(errno, dir, "create temporary file");
        }
        return Status::Error(EEXIST, dir, "create temporary file");
    }
    Result<FileInfo> Lstat(const std::string& path) override {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) return Status::Error(errno, path, "stat");
        return ToInfo(st);
    }
    Status Rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) return Status::Error(errno, to, "rename");
        return Status::Ok();
    }
    Status Unlink(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) return Status::Error(errno, path, "remove");
        return Status::Ok();
    }
    Status MakeDir(const std::string& path) override {
        if (::mkdir(path.c_str(), 0777) != 0) return Status::Error(errno, path, "create folder");
        return Status::Ok();
    }
    Status SyncDir(const std::string& dir) override {
        int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return Status::Error(errno, dir, "open folder");
        int rc = ::fsync(fd);
        int err = errno;
        ::close(fd);
        // Some file systems cannot sync a folder; that is no reason to fail.
        if (rc != 0 && err != EINVAL && err != EROFS) return Status::Error(err, dir, "fsync folder");
        return Status::Ok();
    }
    Status SetTimes(const std::string& path, int64_t mtime) override {
        timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(mtime);
        times[1].tv_nsec = 0;
        if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            return Status::Error(errno, path, "set time");
        return Status::Ok();
    }
    Result<std::string> CurrentDir() override {
        std::vector<char> buf(PATH_MAX);
        while (::getcwd(buf.data(), buf.size()) == nullptr) {
            if (errno != ERANGE) return Status::Error(errno, ".", "getcwd");
            buf.resize(buf.size() * 2);
        }
        return std::string(buf.data());
    }
    Result<std::vector<std::string>> ListNames(const std::string& dir) override {
        DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
        if (!d) return Status::Error(errno, dir, "list folder");
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
        return names;
    }
    Result<std::string> ReadListFile(const std::string& path) override {
        // Not blocking: a FIFO put in place of the list file must be refused, not waited on.
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return Status::Error(errno, path, "open list file");
        struct stat st;
        Status refused = Status::Ok();
        if (::fstat(fd, &st) != 0)
            refused = Status::Error(errno, path, "open list file");
        else if (!S_ISREG(st.st_mode))
            refused = Status::Error(EINVAL, path, "open list file (not a regular file)");
        else if (st.st_uid != ::geteuid())
            refused = Status::Error(EPERM, path, "open list file (owned by another user)");
        else if (st.st_mode & S_IWOTH)
            refused = Status::Error(EPERM, path, "open list file (writable by every user)");
        if (!refused) {
            ::close(fd);
            return refused;
        }
        std::string text;
        char buf[4096];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                Status s = Status::Error(errno, path, "read");
                ::close(fd);
                return s;
            }
            if (n == 0) break;
            text.append(buf, static_cast<size_t>(n));
        }
        ::close(fd);
        return text;
    }
};

}  // namespace

FileIo& PosixFileIo() {
    static Posix instance;
    return instance;
}

}  // namespace vask::lha
