// The folders one command works in, reached from "/" without following a symbolic link in any component.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "archiver/lha/FileIo.h"

namespace vask::lha {

// Opens each folder once and keeps it open, so that every file of a folder is read, written and removed
// relative to the same open folder, and a folder swapped for a link (or moved away) after it was opened is
// never entered. At most max_open folders stay open at a time (a run may touch thousands); one that was
// closed is opened again when needed and must then be the same folder (device and inode) as the first time,
// else a Status::changed(). Not thread-safe; one cache per command.
class FolderCache {
  public:
    explicit FolderCache(FileIo& io, size_t max_open = 128) : io_(io), max_open_(max_open) {}

    // The folder at dir, an absolute cleaned path ("/" or "/a/b", see AbsolutePath). With create, missing
    // folders on the way are made. Errors: ELOOP for a symbolic link on the way, ENOTDIR, ENOENT,
    // Status::Changed.
    Result<std::shared_ptr<Folder>> Get(const std::string& dir, bool create);

    // The folder part and the name of an absolute file path: "/a/b" gives "/a" and "b", "/b" gives "/" and
    // "b".
    static std::pair<std::string, std::string> Split(const std::string& path);

  private:
    struct Entry {
        std::shared_ptr<Folder> folder;
        std::list<std::string>::iterator order;
    };
    FileIo& io_;
    size_t max_open_;
    std::list<std::string> order_;  // open folders, most recently used first
    std::unordered_map<std::string, Entry> open_;
    std::unordered_map<std::string, std::pair<uint64_t, uint64_t>>
        seen_;  // device and inode when first opened
};

}  // namespace vask::lha
