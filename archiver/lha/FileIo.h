// The file-system seam of the archiver. Operations go through FileIo so that tests can inject faults
// (ENOSPC, EIO, EACCES, files vanishing) between the archive logic and the real calls.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "archiver/lha/Stream.h"

namespace vask::lha {

struct FileInfo {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t mode = 0;  // st_mode: type and permission bits
    uint64_t size = 0;
    timespec mtime{};
    uint32_t uid = 0, gid = 0;
    bool IsRegular() const { return (mode & 0170000) == 0100000; }
    bool IsDirectory() const { return (mode & 0170000) == 0040000; }
    // Same file, unchanged: identity, size and modification time all equal.
    bool SameVersionAs(const FileInfo& o) const {
        return device == o.device && inode == o.inode && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

class InputFile : public ByteSource {
  public:
    virtual Result<FileInfo> Stat() = 0;
};

class OutputFile : public ByteSink {
  public:
    // Writes buffered data out and flushes it to the device (fsync).
    virtual Status Sync() = 0;
    virtual Status SetMode(uint32_t mode) = 0;
    // Sets the modification time (the access time stays). Call after Sync: a later write would change it.
    virtual Status SetTime(int64_t mtime) = 0;
    // Flushes buffers and closes; further calls fail.
    virtual Status Close() = 0;
};

// CreateTemp appends this many random letters and digits to the prefix.
inline constexpr size_t kTempSuffixLength = 8;

// A folder reached from "/" one component at a time without following a symbolic link. Entries are named
// relative to it, so that what is read, created, renamed or removed lies in this very folder whatever becomes
// of its path meanwhile. Errors carry the entry's full path.
class Folder {
  public:
    virtual ~Folder() = default;
    // The folder's absolute path as it was reached ("/" or "/a/b"), for reports.
    virtual const std::string& path() const = 0;
    // The folder itself (device and inode tell whether a folder opened again is the same one).
    virtual Result<FileInfo> Stat() = 0;
    // The subfolder name. ELOOP when it is a symbolic link (never followed), ENOTDIR when it is no folder,
    // ENOENT when absent and create is false; with create a missing one is made (mode 0777 less the umask).
    virtual Result<std::unique_ptr<Folder>> OpenFolder(const std::string& name, bool create) = 0;
    // The entry itself, a link not followed. ENOENT when absent.
    virtual Result<FileInfo> StatEntry(const std::string& name) = 0;
    // Opens a regular file for reading without following a link and without blocking; EINVAL when the entry
    // is anything but a regular file.
    virtual Result<std::unique_ptr<InputFile>> OpenFile(const std::string& name) = 0;
    virtual Status RemoveFile(const std::string& name) = 0;
    // Creates a new file named prefix plus kTempSuffixLength random letters and digits (O_EXCL, mode 0600)
    // and stores that name in *name.
    virtual Result<std::unique_ptr<OutputFile>> CreateTemp(const std::string& prefix, std::string* name) = 0;
    // Replaces the entry to with from, both in this folder (rename(2): a link named to is replaced, never
    // followed).
    virtual Status RenameEntry(const std::string& from, const std::string& to) = 0;
};

class FileIo {
  public:
    // The root folder "/", where every walk without links starts.
    virtual Result<std::unique_ptr<Folder>> OpenRoot() = 0;
    virtual ~FileIo() = default;
    // Opens an existing file for reading without following a final symbolic link.
    virtual Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) = 0;
    // Creates a new file with a unique name that starts with prefix in folder dir (O_EXCL, mode 0600) and
    // stores its path in *path.
    virtual Result<std::unique_ptr<OutputFile>> CreateTemp(const std::string& dir, const std::string& prefix,
                                                           std::string* path) = 0;
    // lstat: the entry itself, links not followed. ENOENT when absent.
    virtual Result<FileInfo> Lstat(const std::string& path) = 0;
    // Replaces to with from (rename(2)).
    virtual Status Rename(const std::string& from, const std::string& to) = 0;
    virtual Status Unlink(const std::string& path) = 0;
    // Flushes a folder's entries (after a rename into it).
    virtual Status SyncDir(const std::string& dir) = 0;
    virtual Result<std::string> CurrentDir() = 0;
    // Names of the entries of a folder, without "." and "..".
    virtual Result<std::vector<std::string>> ListNames(const std::string& dir) = 0;
    // The whole content of a list file. Only a regular file owned by this user (effective user id) and not
    // writable by every user is read, opened without following a final symbolic link and without blocking:
    // ELOOP for a link, EINVAL for a FIFO, device or folder, EPERM for another owner or a world-writable
    // file.
    virtual Result<std::string> ReadListFile(const std::string& path) = 0;
};

// The real calls.
FileIo& PosixFileIo();

}  // namespace vask::lha
