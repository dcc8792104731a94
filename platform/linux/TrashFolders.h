// Finding and opening the trash folders of FreedesktopTrash (internal to the Linux adapter; the rules are in
// FreedesktopTrash.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/Status.h"

namespace vask::trash {

// An owned file descriptor, closed by the destructor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = other.Release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset();

  private:
    int fd_ = -1;
};

// Where a folder lives: its mount (the statx mount id where the kernel gives one, else the device, which
// bind mounts of one file system share) and its own identity.
struct Placement {
    std::uint64_t mount = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};
Result<Placement> PlacementOf(int fd, const std::string& pathForErrors);

// An open trash folder.
struct TrashFolder {
    UniqueFd files;          // Trash/files
    UniqueFd info;           // Trash/info
    std::string path;        // "/.../Trash/" for error reports; never opened again by name
    std::string pathPrefix;  // what Path= is relative to ("/mnt/usb/"); empty: Path= is absolute
    bool changed = false;    // something was renamed in since the last flush
};

// The placement of the home trash: of Trash/files, or of the nearest folder above it that exists (where it
// would be created). Creates nothing.
Result<Placement> ProbeHomeTrash(const std::string& homeTrash);
// Opens the home trash, creating the missing folders 0700. The folders up to the data folder holding
// "Trash" may be symbolic links (the user's own layout, e.g. a linked /home); Trash, files and info may not.
Result<TrashFolder> OpenHomeTrash(const std::string& homeTrash);
// Opens the trash of the top directory of the mount that folderFd (the folder of originalPath's entry) is
// on: $topdir/.Trash/$uid or $topdir/.Trash-$uid as FreedesktopTrash.h describes.
Result<TrashFolder> OpenTopdirTrash(int folderFd, const std::string& originalPath, std::uint32_t userId);

}  // namespace vask::trash
