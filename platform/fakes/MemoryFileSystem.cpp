#include "platform/fakes/MemoryFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <set>
#include <utility>

#include "platform/fakes/MemoryFiles.h"

namespace vask {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace

// A handle's path as a link to its parent's (outside the anonymous namespace: the folder handles, friends
// of the file system, hold one): opening a subfolder costs the length of its name, not of its
// path, so a walk thousands of levels deep stays linear. The whole path is spelled out only when asked for.
struct MemoryPathLink {
    std::shared_ptr<const MemoryPathLink> parent;
    std::string part;  // the full path when there is no parent, else the name and its "/"

    MemoryPathLink(std::shared_ptr<const MemoryPathLink> up, std::string text)
        : parent(std::move(up)), part(std::move(text)) {}
    MemoryPathLink(const MemoryPathLink&) = delete;
    MemoryPathLink& operator=(const MemoryPathLink&) = delete;
    // Lets go of the chain one link at a time: a deep chain would otherwise recurse once per level.
    ~MemoryPathLink() {
        std::shared_ptr<const MemoryPathLink> up = std::move(parent);
        while (up && up.use_count() == 1) {
            std::shared_ptr<const MemoryPathLink> next = std::move(const_cast<MemoryPathLink&>(*up).parent);
            up = std::move(next);
        }
    }

    std::string Spell() const {
        std::vector<const MemoryPathLink*> chain;
        std::size_t length = 0;
        for (const MemoryPathLink* link = this; link != nullptr; link = link->parent.get()) {
            chain.push_back(link);
            length += link->part.size();
        }
        std::string path;
        path.reserve(length);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            path += (*it)->part;
        return path;
    }
};

class MemoryDirectory : public Directory {
  public:
    MemoryDirectory(MemoryFileSystem& fs, std::shared_ptr<MemoryFileSystem::Node> node,
                    std::shared_ptr<const MemoryPathLink> link)
        : fs_(fs), node_(std::move(node)), link_(std::move(link)) {
        Lock lock(fs_.mutex_);
        ++fs_.openDirectories_;
        if (fs_.openDirectories_ > fs_.maxOpenDirectories_) fs_.maxOpenDirectories_ = fs_.openDirectories_;
    }
    ~MemoryDirectory() override {
        Lock lock(fs_.mutex_);
        --fs_.openDirectories_;
        node_.reset();
    }

    Result<std::vector<DirectoryEntry>> ReadEntries() override {
        Lock lock(fs_.mutex_);
        if (int error = Enter(FsOperation::ReadEntries)) return Status::Error(error, Path(), "read");
        std::vector<DirectoryEntry> entries;
        for (const auto& [name, child] : node_->children) {
            // Like a file system without d_type for "other" entries, so the caller must ask.
            EntryKind kind = child->kind == EntryKind::Other ? EntryKind::Unknown : child->kind;
            entries.push_back(DirectoryEntry{name, kind});
        }
        if (fs_.listInReverse_) std::reverse(entries.begin(), entries.end());
        return entries;
    }

    Result<FileStatus> StatSelf() override {
        Lock lock(fs_.mutex_);
        if (int error = Enter(FsOperation::StatSelf)) return Status::Error(error, Path(), "fstat");
        return StatusOf(*node_);
    }

    Result<FileStatus> StatEntry(const std::string& name) override {
        Lock lock(fs_.mutex_);
        if (int error = Enter(FsOperation::StatEntry, name))
            return Status::Error(error, Path() + name, "lstat");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, Path() + name, "lstat");
        return StatusOf(*it->second);
    }

    Result<std::unique_ptr<Directory>> OpenSubfolder(const std::string& name) override {
        Lock lock(fs_.mutex_);
        auto fail = [&](int error) { return Status::Error(error, Path() + name + "/", "open"); };
        if (int error = Enter(FsOperation::OpenSubfolder, name, "/")) return fail(error);
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return fail(ENOENT);
        if (it->second->kind == EntryKind::Symlink) return fail(ELOOP);
        if (it->second->kind != EntryKind::Directory) return fail(ENOTDIR);
        if (!fs_.HasAccess(*it->second, 0500, 0005)) return fail(EACCES);
        return std::unique_ptr<Directory>(std::make_unique<MemoryDirectory>(
            fs_, it->second, std::make_shared<MemoryPathLink>(link_, name + "/")));
    }

    Result<std::unique_ptr<Directory>> OpenParent() override {
        Lock lock(fs_.mutex_);
        if (int error = Enter(FsOperation::OpenParent)) return Status::Error(error, Path(), "open");
        auto parent = node_->parent.lock();
        if (!parent) parent = node_;  // the root is its own parent
        std::shared_ptr<const MemoryPathLink> up = link_->parent;
        if (!up) {
            std::string path = link_->part;
            if (path.size() > 1) path = path.substr(0, path.rfind('/', path.size() - 2) + 1);
            up = std::make_shared<MemoryPathLink>(nullptr, std::move(path));
        }
        return std::unique_ptr<Directory>(std::make_unique<MemoryDirectory>(fs_, parent, std::move(up)));
    }

    Result<FileStatus> ProbeWritable(const std::string& name) override {
        Lock lock(fs_.mutex_);
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::ProbeWritable, path))
            return Status::Error(error, path, "open");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, path, "open");
        const MemoryFileSystem::Node& node = *it->second;
        if (node.kind == EntryKind::Symlink) return Status::Error(ELOOP, path, "open");
        if (node.kind == EntryKind::Directory) return Status::Error(EISDIR, path, "open");
        if (node.busy) return Status::Error(ETXTBSY, path, "open");
        if (node.immutable) return Status::Error(EPERM, path, "open");
        if (!fs_.HasAccess(node, 0200, 0002)) return Status::Error(EACCES, path, "open");
        return StatusOf(node);
    }

    bool CanWriteInto() override {
        Lock lock(fs_.mutex_);
        if (Enter(FsOperation::CanWriteInto) != 0) return false;
        return fs_.HasAccess(*node_, 0300, 0003);
    }

    Status ReadListing(FolderListing& listing) override {
        listing.Clear();
        auto entries = ReadEntries();
        if (!entries) return entries.status();
        for (const DirectoryEntry& entry : entries.value())
            listing.Add(entry.name, entry.kind);
        return Status::Ok();
    }

    void CheckFiles(std::span<FileCheck> checks) override {
        Lock lock(fs_.mutex_);
        for (FileCheck& check : checks) {
            check.writable = false;
            check.error = Enter(FsOperation::CheckFile, check.name);
            if (check.error != 0) continue;
            auto it = node_->children.find(check.name);
            if (it == node_->children.end()) {
                check.error = ENOENT;
                continue;
            }
            const MemoryFileSystem::Node& node = *it->second;
            check.status = StatusOf(node);
            // As faccessat: a file held open by another program does not matter; immutable and read-only
            // volumes refuse even the superuser.
            check.writable =
                node.kind == EntryKind::Regular && !node.immutable && fs_.HasAccess(node, 0200, 0002);
        }
    }

    Status RemoveFile(const std::string& name) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::RemoveFile, path)) return Status::Error(error, path, "remove");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, path, "remove");
        if (it->second->kind == EntryKind::Directory) return Status::Error(EISDIR, path, "remove");
        if (!fs_.HasAccess(*node_, 0300, 0003)) return Status::Error(EACCES, path, "remove");
        node_->children.erase(it);
        return Status::Ok();
    }

    Status RenameTo(const std::string& name, Directory& target, const std::string& newName,
                    bool replace) override {
        auto* memoryTarget = dynamic_cast<MemoryDirectory*>(&target);
        const std::string path = (memoryTarget ? memoryTarget->Path() : std::string()) + newName;
        if (int error = fs_.Enter(FsOperation::Rename, Path() + name))
            return Status::Error(error, path, "rename");
        if (memoryTarget == nullptr) return Status::Error(EXDEV, path, "rename");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, Path() + name, "rename");
        if (it->second->device != memoryTarget->node_->device) return Status::Error(EXDEV, path, "rename");
        if (!fs_.HasAccess(*node_, 0300, 0003) || !fs_.HasAccess(*memoryTarget->node_, 0300, 0003)) {
            return Status::Error(EACCES, path, "rename");
        }
        auto& children = memoryTarget->node_->children;
        if (auto existing = children.find(newName); existing != children.end()) {
            if (existing->second == it->second) return Status::Ok();
            if (!replace) return Status::Error(EEXIST, path, "rename");
            if (existing->second->kind == EntryKind::Directory) return Status::Error(EISDIR, path, "rename");
        }
        std::shared_ptr<MemoryFileSystem::Node> moving = it->second;
        node_->children.erase(it);
        moving->parent = memoryTarget->node_;
        children[newName] = moving;
        return Status::Ok();
    }

    Status CreateSubfolder(const std::string& name, std::uint32_t mode) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::CreateSubfolder, path))
            return Status::Error(error, path, "mkdir");
        if (node_->children.count(name) != 0) return Status::Error(EEXIST, path, "mkdir");
        if (!fs_.HasAccess(*node_, 0300, 0003)) return Status::Error(EACCES, path, "mkdir");
        auto folder = fs_.MakeNode(EntryKind::Directory);
        folder->mode = mode;
        folder->device = node_->device;
        folder->parent = node_;
        node_->children[name] = folder;
        return Status::Ok();
    }

    Status RemoveSubfolder(const std::string& name) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::RemoveSubfolder, path))
            return Status::Error(error, path, "rmdir");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, path, "rmdir");
        if (it->second->kind != EntryKind::Directory) return Status::Error(ENOTDIR, path, "rmdir");
        if (!it->second->children.empty()) return Status::Error(ENOTEMPTY, path, "rmdir");
        if (!fs_.HasAccess(*node_, 0300, 0003)) return Status::Error(EACCES, path, "rmdir");
        node_->children.erase(it);
        return Status::Ok();
    }

    Status SetEntryTimes(const std::string& name, std::int64_t mtimeSeconds, std::int32_t) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::SetTimesAndMode, path))
            return Status::Error(error, path, "set times");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, path, "set times");
        it->second->mtimeSeconds = mtimeSeconds;  // the fake keeps whole seconds
        return Status::Ok();
    }

    Status LinkTo(const std::string& name, Directory& target, const std::string& newName) override {
        auto* memoryTarget = dynamic_cast<MemoryDirectory*>(&target);
        const std::string path = (memoryTarget ? memoryTarget->Path() : std::string()) + newName;
        if (int error = fs_.Enter(FsOperation::Link, Path() + name))
            return Status::Error(error, path, "link");
        if (memoryTarget == nullptr) return Status::Error(EXDEV, path, "link");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, Path() + name, "link");
        if (it->second->kind == EntryKind::Directory) return Status::Error(EPERM, Path() + name, "link");
        if (it->second->device != memoryTarget->node_->device) return Status::Error(EXDEV, path, "link");
        if (!fs_.HasAccess(*memoryTarget->node_, 0300, 0003)) return Status::Error(EACCES, path, "link");
        if (memoryTarget->node_->children.count(newName) != 0) return Status::Error(EEXIST, path, "link");
        // The node is shared, as an inode with two names; its parent stays the first folder.
        memoryTarget->node_->children[newName] = it->second;
        return Status::Ok();
    }

    Result<std::unique_ptr<WritableFile>> CreateFile(const std::string& name, FileCreation how,
                                                     std::uint32_t mode) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::CreateFile, path)) return Status::Error(error, path, "create");
        std::shared_ptr<MemoryFileSystem::Node> file;
        if (auto it = node_->children.find(name); it != node_->children.end()) {
            file = it->second;
            if (how == FileCreation::Exclusive) return Status::Error(EEXIST, path, "create");
            if (file->kind == EntryKind::Symlink) return Status::Error(ELOOP, path, "create");
            if (file->kind == EntryKind::Directory) return Status::Error(EISDIR, path, "create");
            if (!fs_.HasAccess(*file, 0200, 0002)) return Status::Error(EACCES, path, "create");
            file->content =
                how == FileCreation::Truncate ? std::string() : MemoryFileSystem::ContentOf(*file);
            file->size = file->content.size();
        } else {
            if (!fs_.HasAccess(*node_, 0300, 0003)) return Status::Error(EACCES, path, "create");
            file = fs_.MakeNode(EntryKind::Regular);
            file->mode = mode;
            file->size = 0;
            file->device = node_->device;
            file->parent = node_;
            node_->children[name] = file;
        }
        return std::unique_ptr<WritableFile>(std::make_unique<MemoryWritableFile>(fs_, file, path));
    }

    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::string& name) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::OpenForReading, path))
            return Status::Error(error, path, "open");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, path, "open");
        if (it->second->kind == EntryKind::Symlink) return Status::Error(ELOOP, path, "open");
        if (it->second->kind == EntryKind::Directory) return Status::Error(EISDIR, path, "open");
        if (it->second->kind != EntryKind::Regular) return Status::Error(EINVAL, path, "open");
        if (!fs_.HasAccess(*it->second, 0400, 0004)) return Status::Error(EACCES, path, "open");
        return std::unique_ptr<ReadableFile>(std::make_unique<MemoryReadableFile>(it->second));
    }

    Status CheckOwnFile(const std::string& name) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::CheckOwnFile, path))
            return Status::Error(error, path, "lstat");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Ok();
        const MemoryFileSystem::Node& node = *it->second;
        int error = 0;
        if (node.kind == EntryKind::Symlink) {
            error = ELOOP;
        } else if (node.kind == EntryKind::Directory) {
            error = EISDIR;
        } else if (node.kind != EntryKind::Regular) {
            error = ENXIO;
        } else if (node.ownerId != fs_.effectiveUserId_) {
            error = EPERM;
        }
        return error == 0 ? Status::Ok() : Status::Error(error, path, "open own file");
    }

    Result<std::unique_ptr<WritableFile>> OpenOwnFile(const std::string& name, FileCreation how,
                                                      std::uint32_t mode) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::OpenOwnFile, path))
            return Status::Error(error, path, "create");
        if (Status status = CheckOwnFile(name); !status) return status;
        if (how == FileCreation::Exclusive && node_->children.count(name) != 0) {
            if (Status removed = RemoveFile(name); !removed) return removed;
        }
        return CreateFile(name, how, mode);
    }

    Status Sync() override {
        if (int error = fs_.Enter(FsOperation::SyncFolder, Path()))
            return Status::Error(error, Path(), "fsync");
        return Status::Ok();
    }

    Status MoveToTrash(const std::string& name, const std::string& originalPath) override {
        const std::string path = Path() + name;
        if (int error = fs_.Enter(FsOperation::MoveToTrash, path)) return Status::Error(error, path, "trash");
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, path, "trash");
        if (it->second->kind != EntryKind::Regular) return Status::Error(EINVAL, path, "trash");
        if (!fs_.HasAccess(*node_, 0300, 0003)) return Status::Error(EACCES, path, "trash");
        fs_.trashed_.push_back(MemoryFileSystem::TrashedEntry{originalPath, it->second});
        node_->children.erase(it);
        return Status::Ok();
    }

    Status StageForTrash(const std::string& name, const std::string& originalPath,
                         const FileStatus& expected) override {
        const std::string path = Path() + name;
        auto it = node_->children.find(name);
        if (it == node_->children.end()) return Status::Error(ENOENT, path, "trash");
        fs_.staged_.push_back(MemoryFileSystem::StagedEntry{node_, Path(), name, originalPath, expected});
        return Status::Ok();
    }

    const std::string& Path() const override {
        Lock lock(fs_.mutex_);
        if (!spelled_) {
            path_ = link_->Spell();
            spelled_ = true;
        }
        return path_;
    }

    Result<std::unique_ptr<TemporaryFile>> CreateTemporaryFile(const std::string& finalName,
                                                               std::uint32_t mode) override {
        const std::string path = Path() + finalName;
        if (int error = fs_.Enter(FsOperation::CreateFile, path)) return Status::Error(error, path, "create");
        if (!fs_.HasAccess(*node_, 0300, 0003)) return Status::Error(EACCES, path, "create");
        auto file = fs_.MakeNode(EntryKind::Regular);
        file->mode = mode;
        file->device = node_->device;
        return std::unique_ptr<TemporaryFile>(
            std::make_unique<MemoryTemporaryFile>(fs_, node_, file, Path()));
    }

  private:
    // Enters the operation on the entry's path, spelling the path out only when a hook or a failure on a
    // path of that operation could look at it.
    int Enter(FsOperation op, std::string_view name = {}, std::string_view tail = {}) {
        if (!fs_.WantsPath(op)) return fs_.Enter(op, std::string());
        std::string path = Path();
        path.append(name).append(tail);
        return fs_.Enter(op, path);
    }

    MemoryFileSystem& fs_;
    std::shared_ptr<MemoryFileSystem::Node> node_;
    std::shared_ptr<const MemoryPathLink> link_;
    mutable std::string path_;  // spelled out on first use
    mutable bool spelled_ = false;
};

MemoryFileSystem::Node::~Node() {
    // Each node owns its children, so the default destructor would recurse once per level and overflow the
    // stack on a deep tree. Instead the children move to a list; a child whose last owner is that list hands
    // its own children over before it goes, so every node dies childless. Nodes still held elsewhere (an
    // open Directory, a trashed entry, a test) keep their subtree and free it the same way later.
    std::vector<std::shared_ptr<Node>> pending;
    for (auto& entry : children)
        pending.push_back(std::move(entry.second));
    children.clear();
    while (!pending.empty()) {
        std::shared_ptr<Node> node = std::move(pending.back());
        pending.pop_back();
        if (node.use_count() == 1) {
            for (auto& entry : node->children)
                pending.push_back(std::move(entry.second));
            node->children.clear();
        }
    }
}

MemoryFileSystem::MemoryFileSystem() : root_(std::make_shared<Node>()) {
    root_->inode = 1;
    root_->ownerId = 0;
}

MemoryFileSystem::~MemoryFileSystem() {
    // Tests may hang a folder inside itself (a bind mount); that cycle of owners would never be freed. So
    // every node reachable from here, the trash included, gives up its children; the nodes then go one by
    // one.
    std::vector<std::shared_ptr<Node>> reached;
    std::set<const Node*> seen;
    auto reach = [&](const std::shared_ptr<Node>& node) {
        if (node && seen.insert(node.get()).second) reached.push_back(node);
    };
    reach(root_);
    for (const TrashedEntry& entry : trashed_)
        reach(entry.node);
    for (const StagedEntry& entry : staged_)
        reach(entry.folder);
    for (std::size_t i = 0; i < reached.size(); ++i) {
        for (const auto& entry : reached[i]->children)
            reach(entry.second);
    }
    for (const auto& node : reached)
        node->children.clear();
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::MakeNode(EntryKind kind) {
    auto node = std::make_shared<Node>();
    node->kind = kind;
    node->inode = nextInode_++;
    node->ownerId = defaultOwner_;
    return node;
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::Insert(const std::string& path,
                                                                 std::shared_ptr<Node> node) {
    const auto parts = SplitPath(path);
    std::shared_ptr<Node> folder = root_;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto& child = folder->children[parts[i]];
        if (!child) {
            child = std::make_shared<Node>();
            child->inode = nextInode_++;
            child->ownerId = defaultOwner_;
            child->device = folder->device;
            child->parent = folder;
        }
        folder = child;
    }
    if (parts.empty()) return root_;
    node->parent = folder;
    node->device = folder->device;
    folder->children[parts.back()] = node;
    return node;
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::AddFolder(const std::string& path,
                                                                    std::uint32_t mode) {
    if (auto existing = Find(path); existing && existing->kind == EntryKind::Directory) {
        existing->mode = mode;
        return existing;
    }
    auto node = MakeNode(EntryKind::Directory);
    node->mode = mode;
    return Insert(path, node);
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::AddFile(const std::string& path, std::uint64_t size,
                                                                  std::int64_t mtimeSeconds,
                                                                  std::uint32_t mode) {
    auto node = MakeNode(EntryKind::Regular);
    node->size = size;
    node->mtimeSeconds = mtimeSeconds;
    node->mode = mode;
    return Insert(path, node);
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::AddSymlink(const std::string& path) {
    auto node = MakeNode(EntryKind::Symlink);
    node->mode = 0777;
    return Insert(path, node);
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::AddOther(const std::string& path) {
    auto node = MakeNode(EntryKind::Other);
    node->mode = 0666;
    return Insert(path, node);
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::Find(const std::string& path) const {
    std::shared_ptr<Node> node = root_;
    for (const auto& part : SplitPath(path)) {
        if (node->kind != EntryKind::Directory) return nullptr;
        auto it = node->children.find(part);
        if (it == node->children.end()) return nullptr;
        node = it->second;
    }
    return node;
}

bool MemoryFileSystem::Remove(const std::string& path) {
    Lock lock(mutex_);
    auto node = Find(path);
    if (!node || node == root_) return false;
    auto parent = node->parent.lock();
    const auto parts = SplitPath(path);
    return parent && parent->children.erase(parts.back()) == 1;
}

void MemoryFileSystem::SetDevice(const std::string& path, std::uint64_t device) {
    // A list, not recursion: trees in tests may be thousands of levels deep or contain themselves.
    std::vector<Node*> pending;
    std::set<Node*> seen;
    if (auto node = Find(path)) pending.push_back(node.get());
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        if (!seen.insert(node).second) continue;
        node->device = device;
        for (auto& entry : node->children)
            pending.push_back(entry.second.get());
    }
}

void MemoryFileSystem::FailOnPath(FsOperation op, const std::string& path, int errorCode) {
    pathFailures_[{op, path}] = errorCode;
}

void MemoryFileSystem::FailNthCall(FsOperation op, int nth, int errorCode) {
    nthFailures_[op].push_back({callCounts_[op] + nth, errorCode});
}

std::string MemoryFileSystem::ContentOf(const Node& node) {
    if (node.content.size() == node.size) return node.content;
    return std::string(node.size, '\0');
}

Result<std::unique_ptr<Directory>> MemoryFileSystem::OpenCurrentFolder() {
    if (int error = Enter(FsOperation::OpenCurrentFolder, currentFolder_)) {
        return Status::Error(error, currentFolder_, "open");
    }
    auto folder = Find(currentFolder_);
    if (!folder) folder = AddFolder(currentFolder_);
    return MakeHandle(folder, currentFolder_);
}

std::vector<Status> MemoryFileSystem::CommitStagedTrash(const TrashMovedIn& movedIn) {
    std::vector<Status> results;
    std::vector<StagedEntry> staged;
    staged.swap(staged_);
    for (const StagedEntry& entry : staged) {
        const std::string path = entry.folderPath + entry.name;
        if (int error = Enter(FsOperation::MoveToTrash, path)) {
            results.push_back(Status::Error(error, path, "trash"));
            continue;
        }
        auto it = entry.folder->children.find(entry.name);
        if (it == entry.folder->children.end() || it->second->kind != EntryKind::Regular ||
            it->second->inode != entry.expected.inode || it->second->size != entry.expected.size ||
            it->second->mtimeSeconds != entry.expected.mtimeSeconds) {
            results.push_back(Status::Changed(path, "changed since the search"));
            continue;
        }
        if (!HasAccess(*entry.folder, 0300, 0003)) {
            results.push_back(Status::Error(EACCES, path, "trash"));
            continue;
        }
        const std::size_t index = results.size();
        const TrashPlace place{"/trash/", std::to_string(trashed_.size())};
        trashed_.push_back(TrashedEntry{entry.originalPath, it->second});
        entry.folder->children.erase(it);
        results.push_back(Status::Ok());
        if (movedIn) movedIn(index, place);
    }
    return results;
}

int MemoryFileSystem::CallCount(FsOperation op) const {
    Lock lock(mutex_);
    auto it = callCounts_.find(op);
    return it == callCounts_.end() ? 0 : it->second;
}

bool MemoryFileSystem::WantsPath(FsOperation op) const {
    if (hook_) return true;
    auto it = pathFailures_.lower_bound({op, std::string()});
    return it != pathFailures_.end() && it->first.first == op;
}

int MemoryFileSystem::Enter(FsOperation op, const std::string& path) {
    const int call = ++callCounts_[op];
    if (hook_) hook_(op, path);
    if (auto it = pathFailures_.find({op, path}); it != pathFailures_.end()) return it->second;
    for (const auto& [nth, error] : nthFailures_[op]) {
        if (nth == call) return error;
    }
    return 0;
}

bool MemoryFileSystem::HasAccess(const Node& node, std::uint32_t ownerBits, std::uint32_t otherBits) const {
    const bool wantsWrite = (ownerBits & 0200) != 0;
    if (wantsWrite && node.readOnlyVolume) return false;
    if (effectiveUserId_ == 0) return true;
    if (node.ownerId == effectiveUserId_) return (node.mode & ownerBits) == ownerBits;
    return (node.mode & otherBits) == otherBits;
}

std::unique_ptr<Directory> MemoryFileSystem::MakeHandle(std::shared_ptr<Node> node, std::string path) {
    return std::make_unique<MemoryDirectory>(*this, std::move(node),
                                             std::make_shared<MemoryPathLink>(nullptr, std::move(path)));
}

Result<std::unique_ptr<Directory>> MemoryFileSystem::OpenFolder(const std::string& path) {
    Lock lock(mutex_);
    std::string normal = path;
    if (normal.empty() || normal.back() != '/') normal.push_back('/');
    if (int error = Enter(FsOperation::OpenFolder, normal)) return Status::Error(error, normal, "open");
    if (path.empty() || path[0] != '/') return Status::Error(EINVAL, path, "open");
    std::shared_ptr<Node> node = root_;
    for (const auto& part : SplitPath(path)) {
        if (part == "." || part == "..") return Status::Error(EINVAL, path, "open");
        auto it = node->children.find(part);
        if (it == node->children.end()) return Status::Error(ENOENT, normal, "open");
        if (it->second->kind == EntryKind::Symlink) return Status::Error(ELOOP, normal, "open");
        if (it->second->kind != EntryKind::Directory) return Status::Error(ENOTDIR, normal, "open");
        node = it->second;
    }
    if (!HasAccess(*node, 0500, 0005)) return Status::Error(EACCES, normal, "open");
    return MakeHandle(node, normal);
}

}  // namespace vask
