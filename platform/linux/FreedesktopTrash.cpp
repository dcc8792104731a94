#include "platform/linux/FreedesktopTrash.h"
#include "platform/linux/NameCut.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2, RENAME_NOREPLACE
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string_view>
#include <utility>

#include "platform/linux/TrashFolders.h"

namespace vask {

namespace {

using trash::UniqueFd;

constexpr char kInfoSuffix[] = ".trashinfo";
constexpr std::size_t kInfoSuffixSize = sizeof kInfoSuffix - 1;
// "<name>.2" to "<name>.100" first, as other trash tools name collisions, then a few random suffixes: a
// bounded search, whatever is already in the trash.
constexpr int kNumberedStems = 100;
constexpr int kStemAttempts = kNumberedStems + 16;

std::string RandomSuffix() {
    unsigned int value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
        value =
            static_cast<unsigned int>(::getpid()) * 2654435761u ^ static_cast<unsigned int>(::time(nullptr));
    }
    char text[16];
    std::snprintf(text, sizeof text, ".%08x", value);
    return text;
}

// The stem of attempt n: files/<stem> and info/<stem>.trashinfo, both within nameMax bytes.
std::string StemFor(const std::string& name, int attempt, std::size_t nameMax) {
    std::string suffix;
    if (attempt > 0) suffix = attempt < kNumberedStems ? "." + std::to_string(attempt + 1) : RandomSuffix();
    const std::size_t room = nameMax - kInfoSuffixSize - suffix.size();
    return name.substr(0, NameCutPoint(name, room)) + suffix;
}

Status WriteAll(int fd, const std::string& bytes, const std::string& path, bool flush = true) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return Status::Error(errno, path, "write trash info");
        }
        // write(2) returning 0 for a regular file means no room left.
        if (wrote == 0) return Status::Error(ENOSPC, path, "write trash info");
        done += static_cast<std::size_t>(wrote);
    }
    if (flush && ::fsync(fd) != 0) return Status::Error(errno, path, "fsync trash info");
    return Status::Ok();
}

}  // namespace

// The info file of one trashing. It is written and flushed before it has a name (O_TMPFILE), so that no
// .trashinfo name ever shows a partial or empty file, even after a kill; then named, without replacing,
// and renamed to the next stem when the files/ name turns out to be taken.
class FreedesktopTrash::InfoFile {
  public:
    InfoFile(int infoFd, std::string folderPath, std::string content, TemporaryJournal* journal)
        : infoFd_(infoFd),
          folderPath_(std::move(folderPath)),
          content_(std::move(content)),
          journal_(journal) {
        record_.kind = TemporaryJournal::Kind::TrashInfo;
        record_.folderPath = folderPath_;
        struct stat st;
        if (journal_ != nullptr && ::fstat(infoFd_, &st) == 0) {
            record_.folderDevice = st.st_dev;
            record_.folderInode = st.st_ino;
        }
    }
    ~InfoFile() { Remove(); }
    InfoFile(const InfoFile&) = delete;
    InfoFile& operator=(const InfoFile&) = delete;

    // Writes the content to an unnamed file, flushed unless the caller flushes the file system itself
    // before naming it. File systems without O_TMPFILE get the content at Name().
    Status Prepare(bool unnamed, bool flush = true) {
        if (!unnamed) return Status::Ok();
        unnamed_ = UniqueFd(::openat(infoFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        if (!unnamed_.valid()) {
            if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return Status::Ok();
            return Status::Error(errno, folderPath_, "create trash info");
        }
        Status written = WriteAll(unnamed_.get(), content_, folderPath_, flush);
        if (!written) unnamed_.Reset();
        return written;
    }

    // The descriptor of the unnamed file, or -1 when the content is written at Name().
    int UnnamedFd() const { return unnamed_.valid() ? unnamed_.get() : -1; }

    // Gives the info file the name infoName. EEXIST when the name is taken (nothing changed then). Each name
    // is recorded in the journal before it is given, with the file's identity wherever it is known.
    Status Name(const std::string& infoName) {
        const std::string path = folderPath_ + infoName;
        TemporaryJournal::Record next = record_;
        next.name = infoName.substr(0, infoName.size() - kInfoSuffixSize);
        if (!name_.empty()) {
            Note(next);
            if (::renameat2(infoFd_, name_.c_str(), infoFd_, infoName.c_str(), RENAME_NOREPLACE) != 0) {
                const int error = errno;
                Settle(next);
                return Status::Error(error, path, "rename trash info");
            }
            Settle(record_);
            record_ = next;
            name_ = infoName;
            return Status::Ok();
        }
        if (unnamed_.valid()) {
            struct stat st;
            if (::fstat(unnamed_.get(), &st) == 0) {
                next.fileDevice = st.st_dev;
                next.fileInode = st.st_ino;
            }
            Note(next);
            // linkat of an O_TMPFILE file through /proc needs no privilege (AT_EMPTY_PATH would) and, like
            // every link, fails with EEXIST rather than replace.
            const std::string self = "/proc/self/fd/" + std::to_string(unnamed_.get());
            if (::linkat(AT_FDCWD, self.c_str(), infoFd_, infoName.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                unnamed_.Reset();
                record_ = next;
                name_ = infoName;
                return Status::Ok();
            }
            const int error = errno;
            Settle(next);
            if (error != ENOENT || ::access("/proc/self/fd", F_OK) == 0) {
                return Status::Error(error, path, "link trash info");
            }
            unnamed_.Reset();  // no /proc (a bare chroot): written in place below instead
            next.fileDevice = next.fileInode = 0;
        }
        Note(next);  // without identity: a name about to exist, never removed on this record alone
        UniqueFd fd(
            ::openat(infoFd_, infoName.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            const int error = errno;
            Settle(next);
            return Status::Error(error, path, "create trash info");
        }
        struct stat st;
        if (::fstat(fd.get(), &st) == 0) {
            next.fileDevice = st.st_dev;
            next.fileInode = st.st_ino;
            Note(next);
        }
        record_ = next;
        name_ = infoName;
        Status written = WriteAll(fd.get(), content_, path);
        if (!written) Remove();
        return written;
    }

    // The entry is in files/: the info file stays, a real one now.
    void Keep() {
        if (!name_.empty()) Settle(record_);
        name_.clear();
    }

    // Removes the named info file (best effort: a failure leaves a complete info file without data, which
    // the journal still names).
    void Remove() {
        if (!name_.empty() && ::unlinkat(infoFd_, name_.c_str(), 0) == 0) Settle(record_);
        name_.clear();
    }

  private:
    void Note(const TemporaryJournal::Record& record) {
        // The journal only helps a later run clean up after a crash; an entry it cannot note must not stop
        // the trashing itself.
        if (journal_ != nullptr) (void)journal_->Note(record, false);
    }
    void Settle(const TemporaryJournal::Record& record) {
        if (journal_ != nullptr) journal_->Settle(record);
    }

    int infoFd_;
    std::string folderPath_;
    std::string content_;
    UniqueFd unnamed_;
    std::string name_;  // the current name in info/, empty while it has none
    TemporaryJournal* journal_;
    TemporaryJournal::Record record_;  // of the current name
};

namespace {

// Moves the entry to files/<stem> without replacing. Where renameat2 or RENAME_NOREPLACE is not supported
// (EINVAL, ENOSYS: some network and FUSE file systems), a hard link and an unlink do the same without
// replacing; a kill between them leaves the file under both names, complete.
int MoveIntoFiles(int folderFd, const std::string& name, int filesFd, const std::string& stem) {
    if (::renameat2(folderFd, name.c_str(), filesFd, stem.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (::linkat(folderFd, name.c_str(), filesFd, stem.c_str(), 0) != 0) return errno;
    if (::unlinkat(folderFd, name.c_str(), 0) != 0) {
        const int saved = errno;
        ::unlinkat(filesFd, stem.c_str(), 0);
        return saved;
    }
    return 0;
}

bool ValidEntry(const std::string& name, const std::string& originalPath) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return false;
    if (name.find('\0') != std::string::npos || originalPath.empty() || originalPath[0] != '/') return false;
    return originalPath.size() > name.size() && originalPath.ends_with(name) &&
           originalPath[originalPath.size() - name.size() - 1] == '/';
}

}  // namespace

struct FreedesktopTrash::Folder : trash::TrashFolder {
    explicit Folder(trash::TrashFolder&& folder) : trash::TrashFolder(std::move(folder)) {}
    std::size_t nameMax = 0;  // of info/, asked once
};

FreedesktopTrash::FreedesktopTrash(TrashContext context) : context_(std::move(context)) {}

FreedesktopTrash::~FreedesktopTrash() {
    DiscardStaged();
    // A destructor has no one to tell; a run flushes explicitly at its end and reports that failure.
    (void)Flush();
}

Result<FreedesktopTrash::Folder*> FreedesktopTrash::FolderFor(int folderFd, const std::string& originalPath) {
    auto placement = trash::PlacementOf(folderFd, originalPath);
    if (!placement) return placement.status();
    if (!context_.homeTrash.empty()) {
        if (!homeMount_) {
            auto home = trash::ProbeHomeTrash(context_.homeTrash);
            if (!home) return home.status();
            homeMount_ = home.value().mount;
        }
        if (placement.value().mount == *homeMount_) {
            if (!home_) {
                auto opened = trash::OpenHomeTrash(context_.homeTrash);
                if (!opened) return opened.status();
                home_ = std::make_unique<Folder>(std::move(opened.value()));
            }
            return home_.get();
        }
    }
    auto found = topdirs_.find(placement.value().mount);
    if (found != topdirs_.end()) return found->second.get();
    auto opened = trash::OpenTopdirTrash(folderFd, originalPath, context_.userId);
    if (!opened) return opened.status();
    auto& slot = topdirs_[placement.value().mount];
    slot = std::make_unique<Folder>(std::move(opened.value()));
    return slot.get();
}

Status FreedesktopTrash::Trash(int folderFd, const std::string& name, const std::string& originalPath) {
    if (!ValidEntry(name, originalPath))
        return Status::Error(EINVAL, originalPath, "trash (bad name or path)");
    const std::string date =
        context_.deletionDate ? context_.deletionDate() : LocalDeletionDate(::time(nullptr));
    for (bool retried = false;; retried = true) {
        auto found = FolderFor(folderFd, originalPath);
        if (!found) return found.status();
        Folder& folder = *found.value();
        Status result;
        {
            std::string shownPath = originalPath;
            if (!folder.pathPrefix.empty() && originalPath.starts_with(folder.pathPrefix)) {
                shownPath = originalPath.substr(folder.pathPrefix.size());
            }
            InfoFile info(
                folder.info.get(), folder.path + "info/",
                "[Trash Info]\nPath=" + PercentEncodePath(shownPath) + "\nDeletionDate=" + date + "\n",
                context_.journal);
            result = info.Prepare(context_.unnamedInfoFiles);
            if (result) result = MoveIn(folder, info, folderFd, name, originalPath);
        }  // a failed info file is removed here, while its folder is still open
        // A trash folder kept open since an earlier entry may have been removed meanwhile (someone emptied
        // the trash by deleting it); it is opened afresh, once.
        if (result || retried || !Removed(folder)) return result;
        Forget(&folder);
    }
}

Status FreedesktopTrash::MoveIn(Folder& folder, InfoFile& info, int folderFd, const std::string& name,
                                const std::string& originalPath) {
    if (folder.nameMax == 0) {
        const long limit = ::fpathconf(folder.info.get(), _PC_NAME_MAX);
        folder.nameMax = limit <= 0 || limit > NAME_MAX ? NAME_MAX : static_cast<std::size_t>(limit);
    }
    const std::size_t nameMax = folder.nameMax;
    if (nameMax < kInfoSuffixSize + 16) {
        return Status::Error(ENAMETOOLONG, folder.path + "info/", "trash (names too short)");
    }

    // The info file comes first, named without replacing; then the entry, renamed without replacing. On
    // the journaling file systems the name of the info file reaches the disk no later than the rename, so
    // that even after a crash no trashed file is without its info; Flush makes both durable.
    for (int attempt = 0; attempt < kStemAttempts; ++attempt) {
        const std::string stem = StemFor(name, attempt, nameMax);
        Status named = info.Name(stem + kInfoSuffix);
        if (!named) {
            if (named.code() == EEXIST) continue;
            return named;
        }
        folder.changed = true;
        const int error = MoveIntoFiles(folderFd, name, folder.files.get(), stem);
        if (error == 0) {
            info.Keep();
            movedInAs_ = stem;
            return Status::Ok();
        }
        if (error != EEXIST) return Status::Error(error, originalPath, "move to " + folder.path + "files/");
    }
    return Status::Error(EEXIST, folder.path + "info/", "find a free name in the trash");
}

bool FreedesktopTrash::Removed(const Folder& folder) {
    struct stat st;
    for (const trash::UniqueFd* fd : {&folder.files, &folder.info}) {
        if (::fstat(fd->get(), &st) == 0 && st.st_nlink == 0) return true;
    }
    return false;
}

void FreedesktopTrash::Forget(Folder* folder) {
    if (home_.get() == folder) {
        home_.reset();
        return;
    }
    std::erase_if(topdirs_, [folder](const auto& entry) { return entry.second.get() == folder; });
}

struct FreedesktopTrash::StagedEntry {
    UniqueFd folder;  // a duplicate of the caller's descriptor: the entry's folder
    std::string name;
    std::string originalPath;
    FileStatus expected;
    Folder* trash = nullptr;
    std::unique_ptr<InfoFile> info;
};

Status FreedesktopTrash::Stage(int folderFd, const std::string& name, const std::string& originalPath,
                               const FileStatus& expected) {
    if (!ValidEntry(name, originalPath))
        return Status::Error(EINVAL, originalPath, "trash (bad name or path)");
    auto found = FolderFor(folderFd, originalPath);
    if (!found) return found.status();
    auto entry = std::make_unique<StagedEntry>();
    entry->folder = UniqueFd(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!entry->folder.valid()) return Status::Error(errno, originalPath, "trash");
    entry->name = name;
    entry->originalPath = originalPath;
    entry->expected = expected;
    entry->trash = found.value();
    std::string shownPath = originalPath;
    if (!entry->trash->pathPrefix.empty() && originalPath.starts_with(entry->trash->pathPrefix)) {
        shownPath = originalPath.substr(entry->trash->pathPrefix.size());
    }
    const std::string date =
        context_.deletionDate ? context_.deletionDate() : LocalDeletionDate(::time(nullptr));
    entry->info = std::make_unique<InfoFile>(
        entry->trash->info.get(), entry->trash->path + "info/",
        "[Trash Info]\nPath=" + PercentEncodePath(shownPath) + "\nDeletionDate=" + date + "\n",
        context_.journal);
    const Status prepared = entry->info->Prepare(context_.unnamedInfoFiles, false);
    if (!prepared) return prepared;
    staged_.push_back(std::move(entry));
    return Status::Ok();
}

std::vector<Status> FreedesktopTrash::CommitStaged(const TrashMovedIn& movedIn) {
    std::vector<Status> results;
    results.reserve(staged_.size());
    // One syncfs per file system makes every unnamed info file on it durable before any of them gets its
    // name; a file system syncfs cannot flush gets each info file flushed on its own.
    std::vector<int> flushedInfoFolders;
    std::vector<int> flushError(staged_.size(), 0);
    for (std::size_t i = 0; i < staged_.size(); ++i) {
        StagedEntry& entry = *staged_[i];
        const int unnamed = entry.info->UnnamedFd();
        if (unnamed < 0) continue;  // written and flushed when named
        const int infoFolder = entry.trash->info.get();
        bool done = false;
        for (int flushed : flushedInfoFolders)
            done = done || flushed == infoFolder;
        if (!done && ::syncfs(infoFolder) == 0) {
            flushedInfoFolders.push_back(infoFolder);
            done = true;
        }
        if (!done && ::fsync(unnamed) != 0) flushError[i] = errno;
    }
    for (std::size_t i = 0; i < staged_.size(); ++i) {
        StagedEntry& entry = *staged_[i];
        if (flushError[i] != 0) {
            results.push_back(Status::Error(flushError[i], entry.trash->path + "info/", "fsync trash info"));
            continue;
        }
        // Still the file that was checked? Otherwise it stays where it is.
        struct stat st;
        const bool same = ::fstatat(entry.folder.get(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISREG(st.st_mode) && st.st_dev == entry.expected.device &&
                          st.st_ino == entry.expected.inode &&
                          static_cast<std::uint64_t>(st.st_size) == entry.expected.size &&
                          st.st_mtim.tv_sec == entry.expected.mtimeSeconds &&
                          st.st_mtim.tv_nsec == entry.expected.mtimeNanoseconds;
        if (!same) {
            results.push_back(Status::Changed(entry.originalPath, "changed since the search"));
            continue;
        }
        results.push_back(
            MoveIn(*entry.trash, *entry.info, entry.folder.get(), entry.name, entry.originalPath));
        if (results.back() && movedIn) movedIn(i, TrashPlace{entry.trash->path, movedInAs_});
    }
    staged_.clear();  // info files not kept are removed here
    return results;
}

void FreedesktopTrash::DiscardStaged() {
    staged_.clear();
}

Status FreedesktopTrash::Flush() {
    Status first;
    auto flush = [&first](Folder& folder) {
        if (!folder.changed) return;
        for (const UniqueFd* fd : {&folder.files, &folder.info}) {
            if (::fsync(fd->get()) != 0 && first.ok()) first = Status::Error(errno, folder.path, "fsync");
        }
        folder.changed = false;
    };
    if (home_) flush(*home_);
    for (auto& [mount, folder] : topdirs_)
        flush(*folder);
    if (context_.journal != nullptr) context_.journal->CloseIfSettled();
    return first;
}

Status TrashEntry(int folderFd, const std::string& name, const std::string& originalPath,
                  const TrashContext& context) {
    FreedesktopTrash trash(context);
    Status trashed = trash.Trash(folderFd, name, originalPath);
    if (!trashed) return trashed;
    return trash.Flush();
}

}  // namespace vask
