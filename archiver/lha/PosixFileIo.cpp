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
    Status SetTime(int64_t mtime) override {
        if (Status s = Drain(); !s) return s;
        timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(mtime), 0}};
        if (::futimens(fd_, times) != 0) return Status::Error(errno, path_, "set time");
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

// Creates name prefix + random characters in the folder dirfd (AT_FDCWD: prefix holds the folder's path).
Result<int> CreateTempAt(int dirfd, const std::string& shown_dir, const std::string& prefix,
                         std::string* name) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 rng(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix;
        for (size_t i = 0; i < kTempSuffixLength; ++i)
            candidate += kChars[rng() % (sizeof(kChars) - 1)];
        int fd = ::openat(dirfd, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            *name = candidate;
            return fd;
        }
        if (errno != EEXIST) return Status::Error(errno, shown_dir, "create temporary file");
    }
    return Status::Error(EEXIST, shown_dir, "create temporary file");
}

// Folders are opened with O_PATH: walking through a folder needs only search permission, and every *at call
// used here accepts such a descriptor.
class PosixFolder : public Folder {
  public:
    PosixFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixFolder() override { ::close(fd_); }
    const std::string& path() const override { return path_; }
    Result<FileInfo> Stat() override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) return Status::Error(errno, path_, "stat folder");
        return ToInfo(st);
    }
    Result<std::unique_ptr<Folder>> OpenFolder(const std::string& name, bool create) override {
        const std::string full = Join(name);
        if (!PlainName(name)) return Status::Error(EINVAL, full, "open folder (not a plain name)");
        for (int attempt = 0; attempt < 2; ++attempt) {
            int fd = ::openat(fd_, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) return std::unique_ptr<Folder>(new PosixFolder(fd, full));
            int err = errno;
            if (err == ENOENT && create && attempt == 0) {
                // Another process may make it first; then it is opened like any folder that was there.
                if (::mkdirat(fd_, name.c_str(), 0777) != 0 && errno != EEXIST)
                    return Status::Error(errno, full, "create folder");
                continue;
            }
            struct stat st;
            if ((err == ENOTDIR || err == ELOOP) &&
                ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                return Status::Error(ELOOP, full, "open folder (a symbolic link, not followed)");
            return Status::Error(err, full, "open folder");
        }
        return Status::Error(ENOENT, full, "open folder");
    }
    Result<FileInfo> StatEntry(const std::string& name) override {
        struct stat st;
        if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Status::Error(errno, Join(name), "stat");
        return ToInfo(st);
    }
    Result<std::unique_ptr<InputFile>> OpenFile(const std::string& name) override {
        const std::string full = Join(name);
        int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            int err = errno;
            return Status::Error(err == ELOOP ? ELOOP : err, full,
                                 err == ELOOP ? "open (a symbolic link, not followed)" : "open");
        }
        auto file = std::unique_ptr<InputFile>(new PosixInput(fd, full));
        auto info = file->Stat();
        if (!info) return info.status();
        if (!info->IsRegular()) return Status::Error(EINVAL, full, "open (not a regular file)");
        return file;
    }
    Status RemoveFile(const std::string& name) override {
        if (::unlinkat(fd_, name.c_str(), 0) != 0) return Status::Error(errno, Join(name), "remove");
        return Status::Ok();
    }
    Result<std::unique_ptr<OutputFile>> CreateTemp(const std::string& prefix, std::string* name) override {
        auto fd = CreateTempAt(fd_, path_, prefix, name);
        if (!fd) return fd.status();
        return std::unique_ptr<OutputFile>(new PosixOutput(*fd, Join(*name)));
    }
    Status RenameEntry(const std::string& from, const std::string& to) override {
        if (::renameat(fd_, from.c_str(), fd_, to.c_str()) != 0)
            return Status::Error(errno, Join(to), "rename");
        return Status::Ok();
    }

  private:
    static bool PlainName(const std::string& name) {
        return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
    }
    std::string Join(const std::string& name) const { return path_ == "/" ? "/" + name : path_ + "/" + name; }

    int fd_;
    std::string path_;
};

class Posix : public FileIo {
  public:
    Result<std::unique_ptr<Folder>> OpenRoot() override {
        int fd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return Status::Error(errno, "/", "open folder");
        return std::unique_ptr<Folder>(new PosixFolder(fd, "/"));
    }
    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return Status::Error(errno, path, "open");
        return std::unique_ptr<InputFile>(new PosixInput(fd, path));
    }
    Result<std::unique_ptr<OutputFile>> CreateTemp(const std::string& dir, const std::string& prefix,
                                                   std::string* path) override {
        std::string name;
        auto fd = CreateTempAt(AT_FDCWD, dir, dir + prefix, &name);
        if (!fd) return fd.status();
        *path = name;
        return std::unique_ptr<OutputFile>(new PosixOutput(*fd, name));
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
