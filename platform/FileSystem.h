// The file-system port. Core code reaches files and folders only through these interfaces, so that tests
// can run on an in-memory tree (platform/fakes/MemoryFileSystem.h) and fail any call on demand.
//
// Folders are handled as open handles, in the manner of openat(2): a walk opens each subfolder relative to
// its parent, never by re-resolving a full path, so a folder swapped for a symbolic link between two steps
// cannot lead it outside the tree it started in. No call here follows a symbolic link.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace vask {

enum class EntryKind : std::uint8_t {
    Unknown,  // the listing did not say; ask StatEntry
    Regular,
    Directory,
    Symlink,
    Other,  // FIFO, socket, device
};

struct DirectoryEntry {
    std::string name;  // bytes as the file system returned them; never "." or ".."
    EntryKind kind = EntryKind::Unknown;
};

// What lstat says of one entry.
struct FileStatus {
    EntryKind kind = EntryKind::Unknown;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeSeconds = 0;      // seconds since 1970-01-01 UTC
    std::int32_t mtimeNanoseconds = 0;  // 0 .. 999,999,999
    std::uint32_t mode = 0;             // permission bits including sticky (07777)
    std::uint32_t ownerId = 0;
};

// One folder's entries as a walk reads them: every name in one buffer, so listing a folder costs no heap
// allocation per entry, and the buffers are kept for the next folder (Clear keeps the capacity).
class FolderListing {
  public:
    struct Entry {
        std::uint32_t nameOffset = 0;  // into the buffer; the name is followed by a NUL
        std::uint32_t nameLength = 0;
        EntryKind kind = EntryKind::Unknown;
    };

    FolderListing() = default;
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;
    FolderListing(FolderListing&&) = default;
    FolderListing& operator=(FolderListing&&) = default;

    std::size_t Size() const { return entries_.size(); }
    const Entry& operator[](std::size_t index) const { return entries_[index]; }
    std::string_view Name(std::size_t index) const {
        return {buffer_.get() + entries_[index].nameOffset, entries_[index].nameLength};
    }
    // The name as a C string, valid until the listing is cleared or refilled.
    const char* CName(std::size_t index) const { return buffer_.get() + entries_[index].nameOffset; }

    // Forgets every entry; the storage stays for the next folder.
    void Clear() {
        entries_.clear();
        used_ = 0;
    }
    // Appends an entry, copying its name.
    void Add(std::string_view name, EntryKind kind) {
        char* at = Reserve(name.size() + 1);
        std::memcpy(at, name.data(), name.size());
        at[name.size()] = '\0';
        AddInPlace(used_, static_cast<std::uint32_t>(name.size()), kind);
        Commit(name.size() + 1);
    }

    // For adapters that read entries straight into the buffer: Reserve returns room for at least bytes more
    // at the current end (aligned to 8 bytes while every Commit was a multiple of 8), Commit marks bytes of
    // it as used, AddInPlace records an entry whose NUL-terminated name already lies in the buffer at offset.
    char* Reserve(std::size_t bytes) {
        if (used_ + bytes > capacity_) {
            std::size_t capacity = capacity_ == 0 ? 16384 : capacity_ * 2;
            while (capacity < used_ + bytes)
                capacity *= 2;
            auto grown = std::make_unique_for_overwrite<char[]>(capacity);
            if (used_ > 0) std::memcpy(grown.get(), buffer_.get(), used_);
            buffer_ = std::move(grown);
            capacity_ = capacity;
        }
        return buffer_.get() + used_;
    }
    std::size_t Room() const { return capacity_ - used_; }
    std::size_t Used() const { return used_; }
    void Commit(std::size_t bytes) { used_ += bytes; }
    void AddInPlace(std::size_t offset, std::uint32_t length, EntryKind kind) {
        entries_.push_back(Entry{static_cast<std::uint32_t>(offset), length, kind});
    }
    const char* Data() const { return buffer_.get(); }

  private:
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::vector<Entry> entries_;
};

// The search's test of one entry that may become a result (Directory::CheckFiles).
struct FileCheck {
    const char* name = nullptr;  // in: the entry's name, NUL-terminated
    int error = 0;               // out: errno of the lstat, 0 when status holds
    FileStatus status;           // out: what lstat says
    bool writable = false;       // out: a regular file this user may write (see CheckFiles)
};

// A file open for writing. Owned by whoever created it; the destructor closes it without flushing.
class WritableFile {
  public:
    virtual ~WritableFile() = default;
    // Writes all of data (short writes are continued). ENOSPC and EIO come back as errors.
    virtual Status Write(std::string_view data) = 0;
    // Flushes the file's data and size to the disk (fsync).
    virtual Status Sync() = 0;
    // Sets the modification time (and the access time to the same value) and the permission bits.
    virtual Status SetTimesAndMode(std::int64_t mtimeSeconds, std::int32_t mtimeNanoseconds,
                                   std::uint32_t mode) = 0;
    // Closes the file; an error the file system reports only at close (NFS, quota) comes back here.
    virtual Status Close() = 0;
};

// A new file that takes its final name only when it is complete (Directory::CreateTemporaryFile). Until
// Publish succeeds it is nobody's file but this run's: the destructor removes it, and if the process is
// killed it has no name at all, or a hidden temporary one that Vask's journal records as its own.
class TemporaryFile : public WritableFile {
  public:
    // Close may come first (it reports what a file system says only at close). Then Publish gives the file
    // finalName in the folder it was created in. Without replace an existing finalName fails with EEXIST and
    // nothing changes; with replace an existing file of that name is replaced in one step. Failure: nothing
    // has the final name, and the destructor removes the file.
    virtual Status Publish(const std::string& finalName, bool replace) = 0;
};

// A regular file open for reading.
class ReadableFile {
  public:
    virtual ~ReadableFile() = default;
    // Reads up to size bytes; 0 at the end of the file.
    virtual Result<std::size_t> Read(char* buffer, std::size_t size) = 0;
    // Reads up to size bytes from offset (pread), without moving the position Read goes on from; 0 at or
    // past the end of the file.
    virtual Result<std::size_t> ReadAt(std::uint64_t offset, char* buffer, std::size_t size) = 0;
    // What fstat says of the open file.
    virtual Result<FileStatus> Stat() = 0;
};

enum class FileCreation {
    Exclusive,  // fails with EEXIST when the name exists
    Truncate,   // creates or empties
    Append,     // creates or appends to the end
};

// One open folder. Owned by whoever opened it; closing is the destructor.
class Directory {
  public:
    virtual ~Directory() = default;

    // Every entry except "." and "..", in the order the file system lists them.
    virtual Result<std::vector<DirectoryEntry>> ReadEntries() = 0;
    // The folder itself (fstat).
    virtual Result<FileStatus> StatSelf() = 0;
    // One entry, without following a symbolic link (fstatat with AT_SYMLINK_NOFOLLOW).
    virtual Result<FileStatus> StatEntry(const std::string& name) = 0;
    // Opens a subfolder by name. Fails (ELOOP or ENOTDIR) when the entry is a symbolic link or not a folder.
    virtual Result<std::unique_ptr<Directory>> OpenSubfolder(const std::string& name) = 0;
    // Opens this folder's parent (".."). The caller checks the identity it expects.
    virtual Result<std::unique_ptr<Directory>> OpenParent() = 0;
    // Opens the entry for writing (no symbolic link followed, no blocking, no controlling terminal), reads
    // its status from the open file and closes it at once; nothing is written. Fails when the entry does not
    // open so. Callers make sure the entry is a regular file first (the listing's kind or StatEntry): opening
    // a device for writing may have effects of its own.
    virtual Result<FileStatus> ProbeWritable(const std::string& name) = 0;
    // True when this user may create and remove entries in this folder (write and search permission, and a
    // writable file system).
    virtual bool CanWriteInto() = 0;

    // Reads every entry except "." and ".." into listing, replacing what it held, in the order the file
    // system lists them. On failure the listing holds what was read before the error.
    virtual Status ReadListing(FolderListing& listing) = 0;
    // For each check: lstat of the entry (no link followed) and, for a regular file, whether the kernel would
    // let this user (the effective ids) write to it: faccessat W_OK, which refuses files without write
    // permission, immutable files and read-only mounts (an adapter may take that answer from the entry's own
    // status where the status settles it). The file is never opened, so nobody watching it sees anything (no
    // inotify event, no broken lease). Errors land in each check; the call itself cannot fail.
    virtual void CheckFiles(std::span<FileCheck> checks) = 0;

    // Changes. Names are single entries of this folder; no call follows a symbolic link.

    // Removes a file (or a symbolic link) entry: unlinkat.
    virtual Status RemoveFile(const std::string& name) = 0;
    // Renames the entry into target (which may be this folder) as newName. Without replace an existing
    // newName fails with EEXIST; across file systems the call fails with EXDEV and changes nothing.
    virtual Status RenameTo(const std::string& name, Directory& target, const std::string& newName,
                            bool replace) = 0;
    // Creates a subfolder; EEXIST when the name is taken.
    virtual Status CreateSubfolder(const std::string& name, std::uint32_t mode) = 0;
    // Removes an empty subfolder (unlinkat with AT_REMOVEDIR): ENOTEMPTY when anything is left in it,
    // ENOTDIR for a symbolic link or a file.
    virtual Status RemoveSubfolder(const std::string& name) = 0;
    // Gives the entry, a regular file, the further name newName in target (linkat, no link followed). It
    // never replaces anything: EEXIST when newName is taken; EXDEV across file systems. The entry keeps its
    // name here too.
    virtual Status LinkTo(const std::string& name, Directory& target, const std::string& newName) = 0;
    // Sets the entry's modification time, and its access time to the same value, without following a
    // symbolic link (utimensat with AT_SYMLINK_NOFOLLOW); the file is not opened.
    virtual Status SetEntryTimes(const std::string& name, std::int64_t mtimeSeconds,
                                 std::int32_t mtimeNanoseconds) = 0;
    // Creates or opens a regular file for writing, as how says.
    virtual Result<std::unique_ptr<WritableFile>> CreateFile(const std::string& name, FileCreation how,
                                                             std::uint32_t mode) = 0;
    // Opens a regular file for reading; a symbolic link or a folder fails.
    virtual Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::string& name) = 0;

    // Files Vask keeps by bare name in the current folder (Vask.Log, the archiver's list file, the pattern
    // list file) are reached only under one rule, so that a name planted by someone else can neither hang
    // Vask nor redirect what it writes: no symbolic link is followed, nothing blocks (a FIFO is refused, not
    // waited for), and an existing entry is used only when it is a regular file owned by this user
    // (EffectiveUserId, root included).
    //
    // Checks name under that rule without opening or changing it. Ok when the entry is absent or a regular
    // file of this user; otherwise ELOOP (a symbolic link), EISDIR (a folder), ENXIO (a FIFO, socket or
    // device), EPERM (a file of another user), or the error of the lookup itself.
    virtual Status CheckOwnFile(const std::string& name) = 0;
    // Opens name for writing under that rule (the same errors as CheckOwnFile, checked again on the open
    // file).
    //  Exclusive: a leftover regular file of this user is removed first; the file is then created anew with
    //    O_EXCL and mode (before the umask). A name that is taken again in between fails with EEXIST.
    //  Truncate, Append: created with mode when absent; an existing file is emptied (Truncate) only after the
    //    checks passed, so a file that is refused is never changed.
    // The returned file blocks on writes as any regular file does.
    virtual Result<std::unique_ptr<WritableFile>> OpenOwnFile(const std::string& name, FileCreation how,
                                                              std::uint32_t mode) = 0;
    // Flushes this folder's entries (a rename or removal in it) to the disk.
    virtual Status Sync() = 0;
    // Moves the entry, a regular file, to the trash of its volume, recorded with originalPath (its absolute
    // path). On any failure the entry stays where it is, complete; it is never deleted instead.
    virtual Status MoveToTrash(const std::string& name, const std::string& originalPath) = 0;
    // MoveToTrash in two steps, so that a run's files share the flushes of their info files: stages the entry
    // (expected: its status as checked), to be moved by FileSystem::CommitStagedTrash. A failed stage changes
    // nothing.
    virtual Status StageForTrash(const std::string& name, const std::string& originalPath,
                                 const FileStatus& expected) = 0;
    // The folder's path as it was opened, ending in "/" (for messages; never opened again by name).
    virtual const std::string& Path() const = 0;
    // Creates a file in this folder that is to become finalName once complete (a copy). It is unnamed
    // where the file system allows (O_TMPFILE); else, and while it replaces an existing file, it carries a
    // hidden name ".NAME.vask-XXXXXXXX" (NAME cut to fit the file system's name limit), recorded in the
    // journal of FileSystem::RemoveOwnLeftovers before it is created. mode: the permission bits it is
    // created with.
    virtual Result<std::unique_ptr<TemporaryFile>> CreateTemporaryFile(const std::string& finalName,
                                                                       std::uint32_t mode) = 0;
};

// Where a trashed entry went: the trash folder (ending in "/") and the entry's name in its files/ folder;
// the info file is that name + ".trashinfo" in info/.
struct TrashPlace {
    std::string trashFolder;
    std::string name;
};

using TrashMovedIn = std::function<void(std::size_t index, const TrashPlace& place)>;

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens an absolute folder path ("/" separated, a trailing "/" allowed), component by component,
    // following no symbolic link on the way.
    virtual Result<std::unique_ptr<Directory>> OpenFolder(const std::string& path) = 0;
    // The user identity that permission rules are checked for (0 is the superuser).
    virtual std::uint32_t EffectiveUserId() = 0;
    // The process's current folder, where Vask keeps its log and list files by bare name.
    virtual Result<std::unique_ptr<Directory>> OpenCurrentFolder() = 0;
    // Flushes the trash folders changed by MoveToTrash since the last call (the trashed entries' names in
    // files/ and info/ reach the disk). A disposal run calls it once at its end.
    virtual Status FlushTrash() = 0;
    // Moves every staged entry to the trash, in the order staged; one Status each, in that order
    // (Status::changed(): no longer the file that was checked; it stays where it is). Nothing stays staged.
    // movedIn, when given, is called right after each entry is in the trash, with its index among the staged
    // entries and its place, before the next one is moved: a run killed in mid-batch has told of every
    // entry it moved but the last at most.
    virtual std::vector<Status> CommitStagedTrash(const TrashMovedIn& movedIn = nullptr) = 0;
    // Forgets the staged entries; they stay where they are.
    virtual void DiscardStagedTrash() = 0;
    // Removes what runs that were killed left behind: temporary copies and trash info files without their
    // entry, but only those Vask's journal proves to be its own (the same file it recorded, in the same
    // folder). A file is never removed for its name alone. Returns how many were removed.
    virtual std::size_t RemoveOwnLeftovers() = 0;
};

}  // namespace vask
