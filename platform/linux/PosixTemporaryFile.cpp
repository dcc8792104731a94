#include "platform/linux/PosixTemporaryFile.h"
#include "platform/linux/NameCut.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2, RENAME_NOREPLACE
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "platform/linux/PosixFiles.h"
#include "search/TemporaryNames.h"

namespace vask {

namespace {

constexpr int kNameAttempts = 8;

std::string RandomLetters() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[kTemporaryRandomLength];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        unsigned int seed =
            static_cast<unsigned int>(::getpid()) ^ static_cast<unsigned int>(::time(nullptr));
        for (unsigned char& byte : bytes)
            byte = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 16);
    }
    std::string letters;
    for (unsigned char byte : bytes)
        letters += kChars[byte % (sizeof kChars - 1)];
    return letters;
}

std::size_t NameMax(int folderFd) {
    const long limit = ::fpathconf(folderFd, _PC_NAME_MAX);
    return limit <= 0 || limit > NAME_MAX ? NAME_MAX : static_cast<std::size_t>(limit);
}

// A file of ours until it is published. Writes go through a duplicate of the descriptor (the shared
// writable-file code); the original stays open for linkat, which an unnamed file needs until it has a name.
class PosixTemporaryFile : public TemporaryFile {
  public:
    PosixTemporaryFile(int folderFd, std::string folderPath, int fd, std::string temporaryName,
                       TemporaryJournal* journal, TemporaryJournal::Record record)
        : folderFd_(folderFd),
          folderPath_(std::move(folderPath)),
          fd_(fd),
          writer_(MakePosixWritableFile(::fcntl(fd, F_DUPFD_CLOEXEC, 0), folderPath_ + record.name)),
          temporaryName_(std::move(temporaryName)),
          journal_(journal),
          record_(std::move(record)) {}

    ~PosixTemporaryFile() override {
        writer_.reset();
        if (fd_ >= 0) ::close(fd_);
        // Not published: an unnamed file vanished with its descriptor; a named one is removed here.
        if (!published_ && !temporaryName_.empty()) {
            ::unlinkat(folderFd_, temporaryName_.c_str(), 0);
            if (journal_ != nullptr) journal_->Settle(record_);
        }
        ::close(folderFd_);
    }
    PosixTemporaryFile(const PosixTemporaryFile&) = delete;
    PosixTemporaryFile& operator=(const PosixTemporaryFile&) = delete;

    Status Write(std::string_view data) override { return writer_->Write(data); }
    Status Sync() override { return writer_->Sync(); }
    Status SetTimesAndMode(std::int64_t mtimeSeconds, std::int32_t mtimeNanoseconds,
                           std::uint32_t mode) override {
        return writer_->SetTimesAndMode(mtimeSeconds, mtimeNanoseconds, mode);
    }
    Status Close() override { return writer_->Close(); }

    Status Publish(const std::string& finalName, bool replace) override {
        if (published_) return Status::Error(EINVAL, folderPath_ + finalName, "publish");
        Status status =
            temporaryName_.empty() ? PublishUnnamed(finalName, replace) : Rename(finalName, replace);
        if (!status) return status;
        published_ = true;
        if (journal_ != nullptr && !temporaryName_.empty()) journal_->Settle(record_);
        temporaryName_.clear();
        ::close(fd_);
        fd_ = -1;
        return status;
    }

  private:
    // An unnamed file is linked to its name, which cannot replace anything. To replace, it is linked to a
    // recorded temporary name first and renamed over the old file.
    Status PublishUnnamed(const std::string& finalName, bool replace) {
        if (!replace) return Link(finalName);
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            record_.name = TemporaryNameFor(finalName, RandomLetters(), NameMax(folderFd_));
            if (journal_ != nullptr) (void)journal_->Note(record_, true);  // a help for cleanup only
            const Status linked = Link(record_.name);
            if (linked) {
                temporaryName_ = record_.name;
                return Rename(finalName, true);
            }
            if (journal_ != nullptr) journal_->Settle(record_);
            if (linked.code() != EEXIST) return linked;
        }
        return Status::Error(EEXIST, folderPath_, "find a free temporary name");
    }

    Status Link(const std::string& name) {
        // linkat through /proc needs no privilege (AT_EMPTY_PATH would) and, like every link, never replaces.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        if (::linkat(AT_FDCWD, self.c_str(), folderFd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return Status::Ok();
        int error = errno;
        if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
            if (::linkat(fd_, "", folderFd_, name.c_str(), AT_EMPTY_PATH) == 0) return Status::Ok();
            error = errno;
        }
        return Status::Error(error, folderPath_ + name, "link");
    }

    Status Rename(const std::string& finalName, bool replace) {
        if (::renameat2(folderFd_, temporaryName_.c_str(), folderFd_, finalName.c_str(),
                        replace ? 0 : RENAME_NOREPLACE) == 0) {
            return Status::Ok();
        }
        if (replace || (errno != EINVAL && errno != ENOSYS)) {
            return Status::Error(errno, folderPath_ + finalName, "rename");
        }
        // No RENAME_NOREPLACE here (some network and FUSE file systems): a link never replaces either.
        if (::linkat(folderFd_, temporaryName_.c_str(), folderFd_, finalName.c_str(), 0) != 0) {
            return Status::Error(errno, folderPath_ + finalName, "link");
        }
        ::unlinkat(folderFd_, temporaryName_.c_str(), 0);
        return Status::Ok();
    }

    int folderFd_;
    std::string folderPath_;
    int fd_;
    std::unique_ptr<WritableFile> writer_;
    std::string temporaryName_;  // the name it has until published; empty while unnamed
    TemporaryJournal* journal_;
    TemporaryJournal::Record record_;
    bool published_ = false;
};

}  // namespace

std::string TemporaryNameFor(const std::string& finalName, const std::string& random, std::size_t nameMax) {
    const std::size_t fixed = 1 + kTemporaryMarker.size() + random.size();
    const std::size_t room = nameMax > fixed + 1 ? nameMax - fixed : 1;
    return TemporaryNamePrefix(finalName.substr(0, NameCutPoint(finalName, room))) + random;
}

Result<std::unique_ptr<TemporaryFile>> CreatePosixTemporaryFile(int folderFd, const std::string& folderPath,
                                                                const std::string& finalName,
                                                                std::uint32_t mode, TemporaryJournal* journal,
                                                                bool unnamed) {
    struct stat folderStatus;
    if (::fstat(folderFd, &folderStatus) != 0) return Status::Error(errno, folderPath, "fstat");
    TemporaryJournal::Record record;
    record.kind = TemporaryJournal::Kind::Copy;
    record.folderPath = folderPath;
    record.folderDevice = folderStatus.st_dev;
    record.folderInode = folderStatus.st_ino;
    const int folder = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (folder < 0) return Status::Error(errno, folderPath, "dup");
    const auto made = [&](int fd, std::string temporaryName) -> Result<std::unique_ptr<TemporaryFile>> {
        struct stat st;
        if (::fstat(fd, &st) == 0) {
            record.fileDevice = st.st_dev;
            record.fileInode = st.st_ino;
        }
        return std::unique_ptr<TemporaryFile>(std::make_unique<PosixTemporaryFile>(
            folder, folderPath, fd, std::move(temporaryName), journal, record));
    };

    if (unnamed) {
        record.name = finalName;  // for messages until it has a name of its own
        const int fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) return made(fd, std::string());
        // Only "not supported here" falls back to a named file; EACCES, ENOSPC, EROFS... are the answer.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            const int error = errno;
            ::close(folder);
            return Status::Error(error, folderPath + finalName, "create");
        }
    }
    // A named temporary: recorded without identity before it exists, then with the identity it got, and
    // flushed, before a byte is written to it.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        record.name = TemporaryNameFor(finalName, RandomLetters(), NameMax(folder));
        record.fileDevice = record.fileInode = 0;
        // A journal entry only helps a later run clean up after a crash; the file is made either way.
        if (journal != nullptr) (void)journal->Note(record, false);
        const int fd = ::openat(folder, record.name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode);
        if (fd < 0) {
            const int error = errno;
            if (journal != nullptr) journal->Settle(record);
            if (error == EEXIST) continue;
            ::close(folder);
            return Status::Error(error, folderPath + record.name, "create");
        }
        auto file = made(fd, record.name);
        if (journal != nullptr) (void)journal->Note(record, true);  // as above: a help for cleanup only
        return file;
    }
    ::close(folder);
    return Status::Error(EEXIST, folderPath, "find a free temporary name");
}

}  // namespace vask
