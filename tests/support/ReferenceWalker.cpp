#include "tests/support/ReferenceWalker.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "search/TemporaryNames.h"
#include "search/Wildcard.h"
#include "settings/FolderPath.h"

namespace vask::testing {

namespace {

struct Frame {
    std::unique_ptr<Directory> directory;
    std::string path;
    FileStatus self;
    std::vector<std::string> subfolders;
    std::size_t next = 0;
};

class Walk {
  public:
    Walk(FileSystem& fileSystem, const WalkerSettings& settings, SearchState& state)
        : fileSystem_(fileSystem), settings_(settings), state_(state), uid_(fileSystem.EffectiveUserId()) {
        NormalizeFolderPath(settings_.strFolderEdit);
        for (auto& folder : settings_.strOutFolderEdit)
            NormalizeFolderPath(folder);
        for (auto& folder : settings_.strAllFolderEdit)
            NormalizeFolderPath(folder);
    }

    bool Allowed(const std::string& path) const {
        if (settings_.nTrush == 1 && !settings_.strFolderEdit.empty() && path == settings_.strFolderEdit)
            return false;
        return std::find(settings_.strOutFolderEdit.begin(), settings_.strOutFolderEdit.end(), path) ==
               settings_.strOutFolderEdit.end();
    }

    bool AllFiles(const std::string& path) const {
        return std::find(settings_.strAllFolderEdit.begin(), settings_.strAllFolderEdit.end(), path) !=
               settings_.strAllFolderEdit.end();
    }

    // taken: names of this folder already listed by an earlier pattern (a file is one result).
    void Collect(Frame& frame, const std::vector<DirectoryEntry>& entries, const std::string* pattern,
                 std::set<std::string>* taken = nullptr) {
        for (const DirectoryEntry& entry : entries) {
            if (taken != nullptr && taken->count(entry.name) != 0) continue;
            if (entry.kind == EntryKind::Directory || entry.kind == EntryKind::Symlink ||
                entry.kind == EntryKind::Other)
                continue;
            if (pattern != nullptr && !MatchesFilePattern(*pattern, entry.name)) continue;
            if (IsVaskTemporaryName(entry.name)) continue;
            FileCheck check;
            check.name = entry.name.c_str();
            frame.directory->CheckFiles(std::span<FileCheck>(&check, 1));
            const FileStatus& st = check.status;
            if (check.error != 0 || st.kind != EntryKind::Regular || !check.writable) continue;
            if (pattern != nullptr && state_.ageCheck &&
                !(st.mtimeSeconds == 0 && st.mtimeNanoseconds == 0) &&
                state_.timeSearch < st.mtimeSeconds + state_.ageDays * 86400)
                continue;
            if (!frame.directory->CanWriteInto()) continue;
            if (uid_ != 0 && (frame.self.mode & 01000) != 0 && st.ownerId != uid_ &&
                frame.self.ownerId != uid_)
                continue;
            state_.results.Append(
                frame.path + entry.name, st.size,
                FileIdentity{st.device, st.inode, st.mtimeSeconds * 1000000000LL + st.mtimeNanoseconds});
            state_.sizeFoundTotal += st.size;
            if (taken != nullptr) taken->insert(entry.name);
        }
    }

    void Process(Frame& frame, bool allFilesEverywhere) {
        auto listing = frame.directory->ReadEntries();
        if (!listing) return;
        auto& entries = listing.value();
        std::sort(entries.begin(), entries.end(),
                  [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
        if (allFilesEverywhere || AllFiles(frame.path)) {
            Collect(frame, entries, nullptr);
        } else {
            std::set<std::string> taken;
            for (const std::string& pattern : state_.listPattern)
                if (IsUsableFilePattern(pattern)) Collect(frame, entries, &pattern, &taken);
        }
        for (const DirectoryEntry& entry : entries) {
            if (entry.name[0] == '.') continue;
            EntryKind kind = entry.kind;
            if (kind == EntryKind::Unknown) {
                auto status = frame.directory->StatEntry(entry.name);
                if (status) kind = status.value().kind;
            }
            if (kind == EntryKind::Directory) frame.subfolders.push_back(entry.name);
        }
    }

    void Run(const std::string& rootPath, bool allFilesEverywhere) {
        const std::string root = NormalizedFolderPath(rootPath);
        if (root.empty() || !Allowed(root)) return;
        auto opened = fileSystem_.OpenFolder(root);
        if (!opened) return;
        auto rootStatus = opened.value()->StatSelf();
        if (!rootStatus) return;
        std::vector<Frame> stack;
        stack.push_back(Frame{std::move(opened.value()), root, rootStatus.value(), {}, 0});
        const std::uint64_t volume = rootStatus.value().device;
        std::set<std::pair<std::uint64_t, std::uint64_t>> ancestors{{volume, rootStatus.value().inode}};
        Process(stack.back(), allFilesEverywhere);
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.next >= top.subfolders.size()) {
                ancestors.erase({top.self.device, top.self.inode});
                stack.pop_back();
                continue;
            }
            const std::string name = top.subfolders[top.next++];
            std::string path = NormalizedFolderPath(top.path + name);
            if (!Allowed(path)) continue;
            auto sub = top.directory->OpenSubfolder(name);
            if (!sub) continue;
            auto status = sub.value()->StatSelf();
            if (!status || status.value().kind != EntryKind::Directory || status.value().device != volume)
                continue;
            if (ancestors.count({status.value().device, status.value().inode}) != 0) continue;
            if (!settings_.bReadOnlyFolder && !sub.value()->CanWriteInto()) continue;
            ancestors.insert({status.value().device, status.value().inode});
            stack.push_back(Frame{std::move(sub.value()), std::move(path), status.value(), {}, 0});
            Process(stack.back(), allFilesEverywhere);
        }
    }

  private:
    FileSystem& fileSystem_;
    WalkerSettings settings_;
    SearchState& state_;
    std::uint32_t uid_;
};

}  // namespace

void ReferenceWalk(FileSystem& fileSystem, const WalkerSettings& settings, SearchState& state,
                   const std::string& root, bool allFilesEverywhere) {
    Walk(fileSystem, settings, state).Run(root, allFilesEverywhere);
}

}  // namespace vask::testing
