// An in-memory file system for tests, with failures on demand.
//
// Folders, regular files, symbolic links and "other" entries (FIFOs, devices) live in a tree of nodes. An
// open Directory keeps its node alive, as an open descriptor does, so a folder removed or renamed during a
// walk behaves as on a real system. Permissions follow the owner/other bits for the effective user (0 passes
// every check but a read-only volume). Any operation can be made to fail: on one path, or on its Nth call;
// and a hook runs before every operation, so a test can change the tree or press Abort in mid-walk.
//
// The walk reads folders on a second thread: every operation of the port holds one lock for its whole run
// (hooks run inside it), so two threads may use it at once. Builders and queries are for the test's thread
// while no walk runs, or for hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace vask {

enum class FsOperation {
    OpenFolder,
    ReadEntries,
    StatSelf,
    StatEntry,
    OpenSubfolder,
    OpenParent,
    ProbeWritable,
    CanWriteInto,
    RemoveFile,
    Rename,
    CreateSubfolder,
    CreateFile,
    OpenForReading,
    Write,  // each WritableFile::Write call (CreateTemporaryFile counts as CreateFile, Publish as Rename)
    SyncFile,
    SetTimesAndMode,
    CloseFile,
    SyncFolder,
    MoveToTrash,
    OpenCurrentFolder,
    CheckOwnFile,
    OpenOwnFile,  // also counted as CreateFile, whose failures it takes too
    CheckFile,    // each file of a Directory::CheckFiles call
    RemoveSubfolder,
    Link,
};

class MemoryFileSystem : public FileSystem {
  public:
    struct Node {
        EntryKind kind = EntryKind::Directory;
        std::uint64_t device = 1;
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
        std::int64_t mtimeSeconds = 1000000000;
        std::uint32_t mode = 0755;
        std::uint32_t ownerId = 1000;
        bool readOnlyVolume = false;
        bool busy = false;       // open by another program in a way that refuses writers
        bool immutable = false;  // refuses every write, whoever asks (chattr +i)
        std::string content;     // the bytes of a file written or read through the port; see ContentOf
        bool synced = true;      // false from a write until the file's Sync
        std::map<std::string, std::shared_ptr<Node>> children;  // folders only
        std::weak_ptr<Node> parent;

        Node() = default;
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;
        // Frees the subtree this node alone owns without recursion, so a tree of any depth can go.
        ~Node();
    };

    MemoryFileSystem();
    // Frees the whole tree, also when a test linked a folder into itself.
    ~MemoryFileSystem() override;

    // Builders. Paths are absolute; missing parent folders are created (mode 0755, the current owner).
    std::shared_ptr<Node> AddFolder(const std::string& path, std::uint32_t mode = 0755);
    std::shared_ptr<Node> AddFile(const std::string& path, std::uint64_t size = 0,
                                  std::int64_t mtimeSeconds = 1000000000, std::uint32_t mode = 0644);
    std::shared_ptr<Node> AddSymlink(const std::string& path);
    std::shared_ptr<Node> AddOther(const std::string& path);  // FIFO, socket or device
    // The node at a path, or null. Symbolic links are not followed.
    std::shared_ptr<Node> Find(const std::string& path) const;
    // Removes the entry from its folder (open handles keep the node).
    bool Remove(const std::string& path);
    // Marks a folder and everything below it as another volume.
    void SetDevice(const std::string& path, std::uint64_t device);

    void SetEffectiveUserId(std::uint32_t uid) { effectiveUserId_ = uid; }
    void SetDefaultOwner(std::uint32_t uid) { defaultOwner_ = uid; }
    // Entries are listed in this order: insertion order reversed by default, so tests see the walker sort.
    void SetListInReverse(bool reverse) { listInReverse_ = reverse; }

    // Failures: every call of op on this path fails with errorCode.
    void FailOnPath(FsOperation op, const std::string& path, int errorCode);
    // The nth call (1-based, counted from now) of op fails with errorCode.
    void FailNthCall(FsOperation op, int nth, int errorCode);
    // Runs before each operation with its path; may change the tree.
    void SetHook(std::function<void(FsOperation, const std::string&)> hook) { hook_ = std::move(hook); }

    int CallCount(FsOperation op) const;

    // A file's bytes: its content when it was written through the port, else size zero bytes.
    static std::string ContentOf(const Node& node);
    // What MoveToTrash moved, with the original path it was given, in order.
    struct TrashedEntry {
        std::string originalPath;
        std::shared_ptr<Node> node;
    };
    const std::vector<TrashedEntry>& Trashed() const { return trashed_; }
    // Path of the process's current folder (default "/cwd/", created on first use).
    void SetCurrentFolder(const std::string& path) { currentFolder_ = path; }
    int TrashFlushes() const { return trashFlushes_; }
    int OpenDirectoryCount() const { return openDirectories_; }
    int MaxOpenDirectoryCount() const { return maxOpenDirectories_; }

    Result<std::unique_ptr<Directory>> OpenFolder(const std::string& path) override;
    std::uint32_t EffectiveUserId() override { return effectiveUserId_; }
    Result<std::unique_ptr<Directory>> OpenCurrentFolder() override;
    Status FlushTrash() override {
        ++trashFlushes_;
        return Status::Ok();
    }
    std::vector<Status> CommitStagedTrash(const TrashMovedIn& movedIn = nullptr) override;
    void DiscardStagedTrash() override { staged_.clear(); }
    // The fake's trash is a list, not a folder: it reports "/trash/" and the entry's number in Trashed().
    // The fake's temporary files are unnamed until published, so no run leaves anything to remove; the
    // journal's rules are tested on real files. Counts the calls.
    std::size_t RemoveOwnLeftovers() override {
        ++leftoverCleanups_;
        return 0;
    }
    int LeftoverCleanups() const { return leftoverCleanups_; }

  private:
    friend class MemoryDirectory;
    friend class MemoryWritableFile;
    friend class MemoryTemporaryFile;

    std::shared_ptr<Node> MakeNode(EntryKind kind);
    std::shared_ptr<Node> Insert(const std::string& path, std::shared_ptr<Node> node);
    // Counts the call, runs the hook and returns the injected error for it, or 0.
    int Enter(FsOperation op, const std::string& path);
    // Whether Enter could look at the path of op: a hook is set, or some path fails for op.
    bool WantsPath(FsOperation op) const;
    bool HasAccess(const Node& node, std::uint32_t ownerBits, std::uint32_t otherBits) const;
    std::unique_ptr<Directory> MakeHandle(std::shared_ptr<Node> node, std::string path);

    mutable std::recursive_mutex mutex_;
    std::shared_ptr<Node> root_;
    std::uint64_t nextInode_ = 2;
    std::uint32_t effectiveUserId_ = 1000;
    std::uint32_t defaultOwner_ = 1000;
    bool listInReverse_ = true;
    std::map<std::pair<FsOperation, std::string>, int> pathFailures_;
    std::map<FsOperation, std::vector<std::pair<int, int>>> nthFailures_;  // (call number, errno)
    std::map<FsOperation, int> callCounts_;
    std::function<void(FsOperation, const std::string&)> hook_;
    std::vector<TrashedEntry> trashed_;
    struct StagedEntry {
        std::shared_ptr<Node> folder;
        std::string folderPath;
        std::string name;
        std::string originalPath;
        FileStatus expected;
    };
    std::vector<StagedEntry> staged_;
    std::string currentFolder_ = "/cwd/";
    int trashFlushes_ = 0;
    int leftoverCleanups_ = 0;
    int openDirectories_ = 0;
    int maxOpenDirectories_ = 0;
};

}  // namespace vask
