// The file-system port. Core code reaches files and folders only through these interfaces, so that tests
// can run on an in-memory tree (platform/fakes/MemoryFileSystem.h) and fail any call on demand.
//
// Folders are handled as open handles, in the manner of openat(2): a walk opens each subfolder relative to
// its parent, never by re-resolving a full path, so a folder swapped for a symbolic link between two steps
// cannot lead it outside the tree it started in. No call here follows a symbolic link.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
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
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens an absolute folder path ("/" separated, a trailing "/" allowed), component by component,
    // following no symbolic link on the way.
    virtual Result<std::unique_ptr<Directory>> OpenFolder(const std::string& path) = 0;
    // The user identity that permission rules are checked for (0 is the superuser).
    virtual std::uint32_t EffectiveUserId() = 0;
};

}  // namespace vask
