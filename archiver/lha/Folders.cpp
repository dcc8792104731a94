#include "archiver/lha/Folders.h"

#include <cerrno>

namespace vask::lha {

std::pair<std::string, std::string> FolderCache::Split(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

Result<std::shared_ptr<Folder>> FolderCache::Get(const std::string& dir, bool create) {
    if (auto it = open_.find(dir); it != open_.end()) {
        order_.splice(order_.begin(), order_, it->second.order);
        return it->second.folder;
    }
    std::shared_ptr<Folder> folder;
    if (dir == "/") {
        auto root = io_.OpenRoot();
        if (!root) return root.status();
        folder = std::move(*root);
    } else {
        if (dir.empty() || dir[0] != '/')
            return Status::Error(EINVAL, dir, "open folder (not an absolute path)");
        auto [parent_path, name] = Split(dir);
        // Through the open parent: each component is looked up in the folder opened just before it.
        auto parent = Get(parent_path, create);
        if (!parent) return parent.status();
        auto child = (*parent)->OpenFolder(name, create);
        if (!child) return child.status();
        folder = std::move(*child);
    }
    auto info = folder->Stat();
    if (!info) return info.status();
    auto identity = std::make_pair(info->device, info->inode);
    if (auto [it, fresh] = seen_.emplace(dir, identity); !fresh && it->second != identity)
        return Status::Changed(dir, "open folder (replaced by another folder while in use)");
    order_.push_front(dir);
    open_[dir] = {folder, order_.begin()};
    while (open_.size() > max_open_) {
        open_.erase(order_.back());
        order_.pop_back();
    }
    return folder;
}

}  // namespace vask::lha
