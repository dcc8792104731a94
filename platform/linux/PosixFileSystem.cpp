#include "platform/linux/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/linux/FreedesktopTrash.h"
#include "platform/linux/KernelBatch.h"
#include "platform/linux/PosixFiles.h"
#include "platform/linux/PosixTemporaryFile.h"
#include "platform/linux/ProcessEnvironment.h"
#include "platform/linux/WriteAccess.h"

namespace vask {

namespace {

EntryKind KindFromDirentType(unsigned char type) {
    switch (type) {
        case DT_REG:
            return EntryKind::Regular;
        case DT_DIR:
            return EntryKind::Directory;
        case DT_LNK:
            return EntryKind::Symlink;
        case DT_UNKNOWN:
            return EntryKind::Unknown;
        default:
            return EntryKind::Other;
    }
}

// getdents64 needs room for at least one entry of the longest name.
constexpr std::size_t kMinimumListingRoom = 16384;

// The kernel's own answer for the effective ids, without opening the file: an open for writing would show up
// as IN_CLOSE_WRITE to every inotify watcher and break other processes' leases.
bool KernelGrantsWrite(int folder, const char* name) {
    return ::faccessat(folder, name, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0;
}

void CheckOneFile(int folder, FileCheck& check, const WriteAccessShortcut& shortcut) {
    struct statx sx;
    check.writable = false;
    if (::statx(folder, check.name, AT_SYMLINK_NOFOLLOW, kSearchStatxMask, &sx) != 0) {
        check.error = errno;
        return;
    }
    check.error = 0;
    check.status = FileStatusFromStatx(sx);
    if (check.status.kind == EntryKind::Regular)
        check.writable = shortcut.Grants(sx, W_OK) || KernelGrantsWrite(folder, check.name);
}

class PosixDirectory : public Directory {
  public:
    PosixDirectory(int fd, std::string path, std::shared_ptr<PosixFileSystem::TrashSession> trash,
                   std::shared_ptr<SharedWriteAccess> access)
        : fd_(fd), path_(std::move(path)), trash_(std::move(trash)), access_(std::move(access)) {}
    ~PosixDirectory() override { ::close(fd_); }
    PosixDirectory(const PosixDirectory&) = delete;
    PosixDirectory& operator=(const PosixDirectory&) = delete;

    Result<std::vector<DirectoryEntry>> ReadEntries() override {
        // getdents64 on our own descriptor: no second open as fdopendir would need. A second listing starts
        // again from the beginning.
        if (listed_ && ::lseek(fd_, 0, SEEK_SET) < 0) return Status::Error(errno, path_, "lseek");
        listed_ = true;
        std::vector<DirectoryEntry> entries;
        alignas(8) char buffer[32768];
        for (;;) {
            const ssize_t got = ::getdents64(fd_, buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR) continue;
                return Status::Error(errno, path_, "getdents64");
            }
            if (got == 0) break;
            for (ssize_t offset = 0; offset < got;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + offset);
                offset += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
                entries.push_back(DirectoryEntry{name, KindFromDirentType(entry->d_type)});
            }
        }
        return entries;
    }

    Result<FileStatus> StatSelf() override {
        struct statx sx;
        if (::statx(fd_, "", AT_EMPTY_PATH, kSearchStatxMask, &sx) != 0)
            return Status::Error(errno, path_, "fstat");
        // Kept for CanWriteInto, which the walk asks next: the folder's own status usually settles it.
        std::lock_guard<std::mutex> lock(selfMutex_);
        self_ = sx;
        return FileStatusFromStatx(sx);
    }

    Result<FileStatus> StatEntry(const std::string& name) override {
        struct stat st;
        if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return Status::Error(errno, path_ + name, "lstat");
        }
        return FileStatusFromStat(st);
    }

    Result<std::unique_ptr<Directory>> OpenSubfolder(const std::string& name) override {
        const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return Status::Error(errno, path_ + name, "open");
        return std::unique_ptr<Directory>(
            std::make_unique<PosixDirectory>(fd, path_ + name + "/", trash_, access_));
    }

    Result<std::unique_ptr<Directory>> OpenParent() override {
        const int fd = ::openat(fd_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return Status::Error(errno, path_ + "..", "open");
        return std::unique_ptr<Directory>(
            std::make_unique<PosixDirectory>(fd, ParentPath(), trash_, access_));
    }

    Result<FileStatus> ProbeWritable(const std::string& name) override {
        // O_NONBLOCK: a FIFO swapped in after the listing must not hang the walk; O_NOCTTY: a terminal must
        // not become ours. The status comes from the open file, which spares a second lookup of the name.
        const int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return Status::Error(errno, path_ + name, "open for writing");
        struct stat st;
        const int statResult = ::fstat(fd, &st);
        const int savedErrno = errno;
        ::close(fd);
        if (statResult != 0) return Status::Error(savedErrno, path_ + name, "fstat");
        return FileStatusFromStat(st);
    }

    bool CanWriteInto() override {
        {
            std::lock_guard<std::mutex> lock(selfMutex_);
            if (self_ && access_->For(fd_).Grants(*self_, W_OK | X_OK)) return true;
        }
        return ::faccessat(fd_, ".", W_OK | X_OK, AT_EACCESS) == 0;
    }

    Status ReadListing(FolderListing& listing) override {
        // One large buffer that the kernel fills directly and that keeps the names: no copy and no allocation
        // per entry, and a folder of a few hundred entries takes one getdents64 and the one that says the
        // end.
        if (listed_ && ::lseek(fd_, 0, SEEK_SET) < 0) return Status::Error(errno, path_, "lseek");
        listed_ = true;
        listing.Clear();
        for (;;) {
            if (listing.Room() < kMinimumListingRoom) listing.Reserve(kMinimumListingRoom * 4);
            char* at = listing.Reserve(0);
            const std::size_t start = listing.Used();
            const ssize_t got = ::getdents64(fd_, at, listing.Room());
            if (got < 0) {
                if (errno == EINTR) continue;
                return Status::Error(errno, path_, "getdents64");
            }
            if (got == 0) break;
            for (ssize_t offset = 0; offset < got;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(at + offset);
                const char* name = entry->d_name;
                const std::size_t nameOffset = start + static_cast<std::size_t>(name - at);
                offset += entry->d_reclen;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
                listing.AddInPlace(nameOffset, static_cast<std::uint32_t>(std::strlen(name)),
                                   KindFromDirentType(entry->d_type));
            }
            listing.Commit(static_cast<std::size_t>(got));
        }
        return Status::Ok();
    }

    void CheckFiles(std::span<FileCheck> checks) override {
        // The lstat of a whole chunk goes to the kernel in one submission where io_uring is there. The
        // access check has no io_uring form: it is made one by one, and only where the status does not
        // already settle it (a file of this user with its write bit, see WriteAccess.h).
        const WriteAccessShortcut& shortcut = access_->For(fd_);
        KernelBatch* batch = checks.size() > 1 ? KernelBatch::ForThisThread() : nullptr;
        if (batch == nullptr || !batch->StatEntries(fd_, checks, &shortcut)) {
            for (FileCheck& check : checks)
                CheckOneFile(fd_, check, shortcut);
            return;
        }
        for (FileCheck& check : checks) {
            if (check.error == 0 && check.status.kind == EntryKind::Regular && !check.writable)
                check.writable = KernelGrantsWrite(fd_, check.name);
        }
    }

    Status RemoveFile(const std::string& name) override {
        if (::unlinkat(fd_, name.c_str(), 0) != 0) return Status::Error(errno, path_ + name, "remove");
        return Status::Ok();
    }

    Status RenameTo(const std::string& name, Directory& target, const std::string& newName,
                    bool replace) override {
        auto* posixTarget = dynamic_cast<PosixDirectory*>(&target);
        if (posixTarget == nullptr) return Status::Error(EXDEV, path_ + name, "rename");
        const unsigned flags = replace ? 0 : RENAME_NOREPLACE;
        if (::renameat2(fd_, name.c_str(), posixTarget->fd_, newName.c_str(), flags) != 0) {
            return Status::Error(errno, posixTarget->path_ + newName, "rename");
        }
        return Status::Ok();
    }

    Status SetEntryTimes(const std::string& name, std::int64_t mtimeSeconds,
                         std::int32_t mtimeNanoseconds) override {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(mtimeSeconds);
        times[0].tv_nsec = times[1].tv_nsec = mtimeNanoseconds;
        if (::utimensat(fd_, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            return Status::Error(errno, path_ + name, "set times");
        return Status::Ok();
    }

    Status CreateSubfolder(const std::string& name, std::uint32_t mode) override {
        if (::mkdirat(fd_, name.c_str(), mode) != 0) return Status::Error(errno, path_ + name, "mkdir");
        return Status::Ok();
    }

    Status RemoveSubfolder(const std::string& name) override {
        if (::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) != 0)
            return Status::Error(errno, path_ + name, "rmdir");
        return Status::Ok();
    }

    Status LinkTo(const std::string& name, Directory& target, const std::string& newName) override {
        auto* posixTarget = dynamic_cast<PosixDirectory*>(&target);
        if (posixTarget == nullptr) return Status::Error(EXDEV, path_ + name, "link");
        // Without AT_SYMLINK_FOLLOW a symbolic link is linked as itself, never its target; the caller has
        // checked that the entry is a regular file.
        if (::linkat(fd_, name.c_str(), posixTarget->fd_, newName.c_str(), 0) != 0)
            return Status::Error(errno, posixTarget->path_ + newName, "link");
        return Status::Ok();
    }

    Result<std::unique_ptr<WritableFile>> CreateFile(const std::string& name, FileCreation how,
                                                     std::uint32_t mode) override {
        int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
        if (how == FileCreation::Exclusive) flags |= O_EXCL;
        if (how == FileCreation::Truncate) flags |= O_TRUNC;
        if (how == FileCreation::Append) flags |= O_APPEND;
        const int fd = ::openat(fd_, name.c_str(), flags, mode);
        if (fd < 0) return Status::Error(errno, path_ + name, "create");
        return MakePosixWritableFile(fd, path_ + name);
    }

    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::string& name) override {
        // O_NONBLOCK keeps a FIFO swapped in for the file from hanging the open; the kind is checked below.
        const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return Status::Error(errno, path_ + name, "open");
        struct stat st;
        int error = 0;
        if (::fstat(fd, &st) != 0) {
            error = errno;
        } else if (!S_ISREG(st.st_mode)) {
            error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        }
        if (error != 0) {
            ::close(fd);
            return Status::Error(error, path_ + name, "open");
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return MakePosixReadableFile(fd, path_ + name);
    }

    Status CheckOwnFile(const std::string& name) override {
        struct stat st;
        if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return errno == ENOENT ? Status::Ok() : Status::Error(errno, path_ + name, "lstat");
        }
        return OwnFileRule(st, name);
    }

    Result<std::unique_ptr<WritableFile>> OpenOwnFile(const std::string& name, FileCreation how,
                                                      std::uint32_t mode) override {
        // Looked at before it is opened: opening a device or a FIFO for writing may have effects of its own.
        if (Status status = CheckOwnFile(name); !status) return status;
        int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        if (how == FileCreation::Exclusive) {
            // A leftover of ours goes; O_EXCL then makes sure the file is the one this call created, even if
            // someone plants a name in between (it fails instead).
            if (::unlinkat(fd_, name.c_str(), 0) != 0 && errno != ENOENT) {
                return Status::Error(errno, path_ + name, "remove");
            }
            flags |= O_EXCL;
        } else if (how == FileCreation::Append) {
            flags |= O_APPEND;
        }
        const int fd = ::openat(fd_, name.c_str(), flags, mode);
        if (fd < 0) return Status::Error(errno, path_ + name, "create");
        // The entry may have been swapped between the look and the open: the open file decides.
        struct stat st;
        Status status =
            ::fstat(fd, &st) == 0 ? OwnFileRule(st, name) : Status::Error(errno, path_ + name, "fstat");
        if (status && how == FileCreation::Truncate && ::ftruncate(fd, 0) != 0) {
            status = Status::Error(errno, path_ + name, "truncate");
        }
        if (status && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            status = Status::Error(errno, path_ + name, "fcntl");
        }
        if (!status) {
            ::close(fd);
            return status;
        }
        return MakePosixWritableFile(fd, path_ + name);
    }

    Status Sync() override {
        if (::fsync(fd_) != 0) return Status::Error(errno, path_, "fsync");
        return Status::Ok();
    }

    Status MoveToTrash(const std::string& name, const std::string& originalPath) override {
        return trash_->Session().Trash(fd_, name, originalPath);
    }

    Status StageForTrash(const std::string& name, const std::string& originalPath,
                         const FileStatus& expected) override {
        return trash_->Session().Stage(fd_, name, originalPath, expected);
    }

    const std::string& Path() const override { return path_; }

    Result<std::unique_ptr<TemporaryFile>> CreateTemporaryFile(const std::string& finalName,
                                                               std::uint32_t mode) override {
        return CreatePosixTemporaryFile(fd_, path_, finalName, mode, trash_->Journal(),
                                        trash_->UnnamedTemporaries());
    }

  private:
    Status OwnFileRule(const struct stat& st, const std::string& name) const {
        int error = 0;
        if (S_ISLNK(st.st_mode)) {
            error = ELOOP;
        } else if (S_ISDIR(st.st_mode)) {
            error = EISDIR;
        } else if (!S_ISREG(st.st_mode)) {
            error = ENXIO;
        } else if (st.st_uid != ::geteuid()) {
            error = EPERM;
        }
        return error == 0 ? Status::Ok() : Status::Error(error, path_ + name, "open own file");
    }

    std::string ParentPath() const {
        if (path_.size() <= 1) return path_;
        const std::size_t slash = path_.rfind('/', path_.size() - 2);
        return slash == std::string::npos ? std::string("/") : path_.substr(0, slash + 1);
    }

    int fd_;
    bool listed_ = false;
    std::string path_;  // for error reports only; never opened again by name
    std::shared_ptr<PosixFileSystem::TrashSession> trash_;
    std::shared_ptr<SharedWriteAccess> access_;  // shared with the folders opened from this one
    std::mutex selfMutex_;
    std::optional<struct statx> self_;  // the last StatSelf
};

}  // namespace

Result<std::unique_ptr<Directory>> PosixFileSystem::OpenFolder(const std::string& path) {
    if (path.empty() || path[0] != '/') return Status::Error(EINVAL, path, "open");
    // Component by component from "/", following no symbolic link: the same rule every later step of a
    // search or a disposal applies, so a path that resolves here is the path the results will carry.
    // Components on the way are opened with O_PATH, which needs search permission only.
    int fd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::Error(errno, "/", "open");
    std::string opened = "/";
    std::size_t start = 1;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        if (component == "." || component == "..") {
            ::close(fd);
            return Status::Error(EINVAL, path, "open");
        }
        const int next = ::openat(fd, component.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int savedErrno = errno;
        ::close(fd);
        opened += component + "/";
        if (next < 0) return Status::Error(savedErrno, opened, "open");
        fd = next;
    }
    // The folder itself must be readable to be listed.
    const int readable = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int savedErrno = errno;
    ::close(fd);
    if (readable < 0) return Status::Error(savedErrno, opened, "open");
    return std::unique_ptr<Directory>(
        std::make_unique<PosixDirectory>(readable, opened, trash_, std::make_shared<SharedWriteAccess>()));
}

std::uint32_t PosixFileSystem::EffectiveUserId() {
    return ::geteuid();
}

Result<std::unique_ptr<Directory>> PosixFileSystem::OpenCurrentFolder() {
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::Error(errno, "./", "open");
    return std::unique_ptr<Directory>(
        std::make_unique<PosixDirectory>(fd, "./", trash_, std::make_shared<SharedWriteAccess>()));
}

namespace {

std::shared_ptr<TemporaryJournal> ProcessJournal() {
    ProcessEnvironment environment;
    return std::make_shared<TemporaryJournal>(TemporaryJournalFolder(environment));
}

}  // namespace

PosixFileSystem::PosixFileSystem()
    : trash_(std::make_shared<TrashSession>(std::nullopt, ProcessJournal(), true)) {}

PosixFileSystem::PosixFileSystem(TrashContext trashContext)
    : trash_(std::make_shared<TrashSession>(std::move(trashContext), ProcessJournal(), true)) {}

PosixFileSystem::PosixFileSystem(TrashContext trashContext, std::string journalFolder,
                                 bool unnamedTemporaries)
    : trash_(std::make_shared<TrashSession>(std::move(trashContext),
                                            std::make_shared<TemporaryJournal>(std::move(journalFolder)),
                                            unnamedTemporaries)) {}

std::size_t PosixFileSystem::RemoveOwnLeftovers() {
    return trash_->Journal()->RemoveLeftovers();
}

Status PosixFileSystem::FlushTrash() {
    return trash_->Flush();
}

std::vector<Status> PosixFileSystem::CommitStagedTrash(const TrashMovedIn& movedIn) {
    return trash_->Session().CommitStaged(movedIn);
}


void PosixFileSystem::DiscardStagedTrash() {
    trash_->Session().DiscardStaged();
}

PosixFileSystem::TrashSession::TrashSession(std::optional<TrashContext> context,
                                            std::shared_ptr<TemporaryJournal> journal,
                                            bool unnamedTemporaries)
    : context_(std::move(context)), journal_(std::move(journal)), unnamedTemporaries_(unnamedTemporaries) {}

PosixFileSystem::TrashSession::~TrashSession() = default;

FreedesktopTrash& PosixFileSystem::TrashSession::Session() {
    if (!session_) {
        // The trash folders are looked up when the first file goes to the trash, not at start-up: most runs
        // never trash anything, and the environment is read as it is at that moment.
        if (!context_) {
            ProcessEnvironment environment;
            context_ = SystemTrashContext(environment);
        }
        TrashContext context = *context_;
        context.journal = journal_.get();
        if (!unnamedTemporaries_) context.unnamedInfoFiles = false;
        session_ = std::make_unique<FreedesktopTrash>(std::move(context));
    }
    return *session_;
}

Status PosixFileSystem::TrashSession::Flush() {
    if (!session_) return Status::Ok();
    const Status status = session_->Flush();
    session_.reset();  // the next disposal opens the trash folders afresh
    return status;
}

}  // namespace vask
