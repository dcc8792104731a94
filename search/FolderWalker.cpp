#include "search/FolderWalker.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <set>
#include <utility>

#include "search/SizeText.h"
#include "search/TemporaryNames.h"
#include "search/Wildcard.h"
#include "settings/FolderPath.h"

namespace vask {

namespace {

constexpr std::int64_t kPumpIntervalMs = 20;
constexpr std::int64_t kStatusIntervalMs = 33;  // at most 30 refreshes a second
constexpr std::uint32_t kStickyBit = 01000;
constexpr std::int64_t kSecondsPerDay = 86400;

bool IsHiddenName(const std::string& name) {
    return !name.empty() && name[0] == '.';
}

// Byte order of the names: std::char_traits<char> compares as unsigned char, whatever the signedness of char.
bool ByteOrder(const DirectoryEntry& a, const DirectoryEntry& b) {
    return a.name < b.name;
}

}  // namespace

std::int64_t ParseLeadingDecimal(std::string_view text) {
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (char c : text) {
        if (c < '0' || c > '9') break;
        const int digit = c - '0';
        if (value > (kMax - digit) / 10) return kMax;
        value = value * 10 + digit;
    }
    return value;
}

std::string SearchProgressText(std::size_t count, std::uint64_t totalBytes) {
    return "検索中... " + std::to_string(count) +
           "個のﾌｧｲﾙが見つかりました。削除対象容量=" + FormatSizeText(totalBytes);
}

// What the walk knows about the folder whose files it is looking at; asked lazily, once per folder.
struct FolderWalker::FolderFacts {
    bool statKnown = false;
    FileStatus self;
    int writable = -1;  // -1 not asked yet
};

// One folder on the walk's stack. Its directory handle may be closed to stay within the open-folder budget;
// it is reopened through its child's ".." and checked against the identity it had.
struct FolderWalker::Frame {
    std::unique_ptr<Directory> directory;
    std::string path;  // ends in "/"
    FolderFacts facts;
    std::vector<std::string> subfolders;  // names, byte order
    std::size_t next = 0;
};

FolderWalker::FolderWalker(FileSystem& fileSystem, Clock& clock, WalkerHost& host, SearchState& state,
                           WalkerSettings settings)
    : fileSystem_(fileSystem),
      clock_(clock),
      host_(host),
      state_(state),
      settings_(std::move(settings)),
      effectiveUserId_(fileSystem.EffectiveUserId()) {
    // Stored folders are kept normalised by the options sheet; a hand-edited entry without its trailing
    // separator would otherwise never match and the walk would enter the folder it was told to avoid.
    NormalizeFolderPath(settings_.strFolderEdit);
    for (auto& folder : settings_.strOutFolderEdit)
        NormalizeFolderPath(folder);
    for (auto& folder : settings_.strAllFolderEdit)
        NormalizeFolderPath(folder);
    lastPumpMs_ = clock_.MonotonicMilliseconds();
    lastStatusMs_ = lastPumpMs_ - kStatusIntervalMs;
}

bool FolderWalker::IsFolderAllowed(const std::string& path) const {
    const std::string p = NormalizedFolderPath(path);
    if (p.empty()) return false;
    if (settings_.nTrush == 1 && !settings_.strFolderEdit.empty() && PathEquals(p, settings_.strFolderEdit)) {
        return false;
    }
    for (const auto& avoid : settings_.strOutFolderEdit) {
        if (!avoid.empty() && PathEquals(p, avoid)) return false;
    }
    return true;
}

bool FolderWalker::IsAllFilesFolder(const std::string& path) const {
    const std::string p = NormalizedFolderPath(path);
    for (const auto& folder : settings_.strAllFolderEdit) {
        if (!folder.empty() && PathEquals(p, folder)) return true;
    }
    return false;
}

bool FolderWalker::Tick() {
    if (state_.bAbort) return false;
    const std::int64_t now = clock_.MonotonicMilliseconds();
    if (now - lastPumpMs_ >= kPumpIntervalMs) {
        if (statusPending_ && now - lastStatusMs_ >= kStatusIntervalMs) FlushStatus();
        host_.PumpMessages();
        lastPumpMs_ = clock_.MonotonicMilliseconds();
    }
    return !state_.bAbort;
}

bool FolderWalker::AddResult(std::string_view path, std::uint64_t size, const FileIdentity& identity) {
    if (!rememberedPaths_.empty() && rememberedPaths_.count(std::string(path)) != 0) return false;
    if (rememberPaths_) rememberedPaths_.emplace(path);
    state_.results.Append(path, size, identity);
    state_.sizeFoundTotal += size;  // unsigned 64-bit: exact for any total a disk can hold
    const std::int64_t now = clock_.MonotonicMilliseconds();
    if (now - lastStatusMs_ >= kStatusIntervalMs) {
        lastStatusMs_ = now;
        statusPending_ = false;
        host_.ShowStatusText(SearchProgressText(state_.results.Size(), state_.sizeFoundTotal));
    } else {
        statusPending_ = true;
    }
    return true;
}

void FolderWalker::FlushStatus() {
    if (!statusPending_) return;
    statusPending_ = false;
    lastStatusMs_ = clock_.MonotonicMilliseconds();
    host_.ShowStatusText(SearchProgressText(state_.results.Size(), state_.sizeFoundTotal));
}

bool FolderWalker::PassesAgeTest(const FileStatus& file) const {
    if (!state_.ageCheck) return true;
    // A file without a known time (the epoch itself) is taken whatever its age.
    if (file.mtimeSeconds == 0 && file.mtimeNanoseconds == 0) return true;
    // The day count is at most 14000 by the request's own check; saturate anyway rather than overflow.
    const std::int64_t days = std::clamp<std::int64_t>(state_.ageDays, 0, 1000000000);
    return state_.timeSearch >= file.mtimeSeconds + days * kSecondsPerDay;
}

bool FolderWalker::IsRemovableFile(Directory& directory, FolderFacts& facts, const FileStatus& file) {
    if (file.kind != EntryKind::Regular) return false;
    // A file that opens for writing may still be impossible to dispose of: removing or renaming it needs a
    // writable folder and, in a sticky folder, ownership of the file or the folder.
    if (facts.writable < 0) facts.writable = directory.CanWriteInto() ? 1 : 0;
    if (facts.writable == 0) return false;
    if (effectiveUserId_ == 0) return true;
    if (!facts.statKnown) {
        auto self = directory.StatSelf();
        if (!self) return false;
        facts.self = self.value();
        facts.statKnown = true;
    }
    if ((facts.self.mode & kStickyBit) == 0) return true;
    return file.ownerId == effectiveUserId_ || facts.self.ownerId == effectiveUserId_;
}

bool FolderWalker::IsFileWritable(const std::string& path) {
    const std::size_t slash = FindLastChar(SystemPathRules().codePage, path, SystemPathRules().separator);
    if (slash == std::string::npos || slash + 1 == path.size()) return false;
    auto directory = fileSystem_.OpenFolder(path.substr(0, slash + 1));
    if (!directory) return false;
    const std::string name = path.substr(slash + 1);
    auto file = directory.value()->StatEntry(name);
    if (!file || file.value().kind != EntryKind::Regular) return false;
    auto probed = directory.value()->ProbeWritable(name);
    FolderFacts facts;
    return probed && IsRemovableFile(*directory.value(), facts, probed.value());
}

bool FolderWalker::CollectFromListing(Directory& directory, FolderFacts& facts, const std::string& folder,
                                      const std::vector<DirectoryEntry>& entries, const std::string* pattern,
                                      std::vector<char>* taken) {
    std::string path;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const DirectoryEntry& entry = entries[index];
        if (!Tick()) return false;
        if (taken != nullptr && (*taken)[index] != 0) continue;
        if (entry.kind == EntryKind::Directory || entry.kind == EntryKind::Symlink ||
            entry.kind == EntryKind::Other) {
            continue;
        }
        if (pattern != nullptr && !MatchesFilePattern(*pattern, entry.name)) continue;
        if (IsVaskTemporaryName(entry.name)) continue;  // a copy or archive still being written
        const bool ageTest = pattern != nullptr && state_.ageCheck;
        // Only a regular file is opened: the listing says so, or lstat does where the listing could not
        // tell; with the age test, lstat first spares the open of every file too young.
        if (entry.kind != EntryKind::Regular || ageTest) {
            auto file = directory.StatEntry(entry.name);
            if (!file || file.value().kind != EntryKind::Regular) continue;
            if (ageTest && !PassesAgeTest(file.value())) continue;
        }
        auto probed = directory.ProbeWritable(entry.name);
        if (!probed) continue;
        const FileStatus& status = probed.value();
        if (ageTest && !PassesAgeTest(status)) continue;  // written to since the lstat just before
        if (!IsRemovableFile(directory, facts, status)) continue;
        path.assign(folder).append(entry.name);
        AddResult(path, status.size,
                  FileIdentity{status.device, status.inode,
                               status.mtimeSeconds * 1000000000LL + status.mtimeNanoseconds});
        if (taken != nullptr) (*taken)[index] = 1;
    }
    return true;
}

bool FolderWalker::ProcessFolder(Frame& frame, Mode mode) {
    auto listing = frame.directory->ReadEntries();
    if (!listing) return true;  // an unreadable folder yields nothing; the walk goes on
    std::vector<DirectoryEntry>& entries = listing.value();
    std::sort(entries.begin(), entries.end(), ByteOrder);

    if (mode == Mode::AllFilesEverywhere || IsAllFilesFolder(frame.path)) {
        if (!CollectFromListing(*frame.directory, frame.facts, frame.path, entries, nullptr)) return false;
    } else {
        std::vector<char> taken(entries.size(), 0);
        for (const std::string& pattern : state_.listPattern) {
            if (!IsUsableFilePattern(pattern)) continue;
            if (!CollectFromListing(*frame.directory, frame.facts, frame.path, entries, &pattern, &taken))
                return false;
        }
    }

    for (const DirectoryEntry& entry : entries) {
        if (IsHiddenName(entry.name)) continue;
        EntryKind kind = entry.kind;
        if (kind == EntryKind::Unknown) {
            auto status = frame.directory->StatEntry(entry.name);
            if (status) kind = status.value().kind;
        }
        if (kind == EntryKind::Directory) frame.subfolders.push_back(entry.name);
    }
    return true;
}

std::unique_ptr<Directory> FolderWalker::Reopen(const Frame& frame, Directory* child) {
    // A folder closed to stay within the budget is reopened through its child's "..", or else by its path,
    // and taken back only when it is still the same folder: one renamed or replaced meanwhile is not walked.
    const auto isSameFolder = [&](Result<std::unique_ptr<Directory>>& candidate) {
        if (!candidate) return false;
        auto status = candidate.value()->StatSelf();
        return status && status.value().device == frame.facts.self.device &&
               status.value().inode == frame.facts.self.inode;
    };
    if (child != nullptr) {
        auto viaParent = child->OpenParent();
        if (isSameFolder(viaParent)) return std::move(viaParent.value());
    }
    auto viaPath = fileSystem_.OpenFolder(frame.path);
    if (isSameFolder(viaPath)) return std::move(viaPath.value());
    return nullptr;
}

void FolderWalker::Walk(const std::string& rootPath, Mode mode) {
    // The volume roots arrive as they are listed; every folder built below is normalised.
    const std::string root = NormalizedFolderPath(rootPath);
    if (root.empty() || !IsFolderAllowed(root)) return;
    if (!Tick()) return;
    auto opened = fileSystem_.OpenFolder(root);
    if (!opened) return;

    std::vector<Frame> stack;
    stack.push_back(Frame{std::move(opened.value()), root, {}, {}, 0});
    auto rootStatus = stack.back().directory->StatSelf();
    if (!rootStatus) return;
    const std::uint64_t volume = rootStatus.value().device;
    stack.back().facts.self = rootStatus.value();
    stack.back().facts.statKnown = true;
    // Folders on the current path, by identity: a bind mount of a folder inside itself must not become an
    // endless walk.
    std::set<std::pair<std::uint64_t, std::uint64_t>> ancestors{{volume, rootStatus.value().inode}};

    if (!ProcessFolder(stack.back(), mode)) return;

    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next >= top.subfolders.size()) {
            ancestors.erase({top.facts.self.device, top.facts.self.inode});
            std::unique_ptr<Directory> child = std::move(top.directory);
            stack.pop_back();
            if (stack.empty()) break;
            Frame& parent = stack.back();
            if (!parent.directory) parent.directory = Reopen(parent, child.get());
            if (!parent.directory) parent.next = parent.subfolders.size();  // gone: walk no more of it
            continue;
        }

        const std::string& name = top.subfolders[top.next++];
        if (!Tick()) return;
        std::string path = top.path + name;
        NormalizeFolderPath(path);
        if (!IsFolderAllowed(path)) continue;
        auto sub = top.directory->OpenSubfolder(name);
        if (!sub) continue;  // vanished, unreadable, or swapped for a link: nothing to walk
        auto subStatus = sub.value()->StatSelf();
        if (!subStatus || subStatus.value().kind != EntryKind::Directory) continue;
        if (subStatus.value().device != volume) continue;  // a mount point: another line of the drive list
        if (ancestors.count({subStatus.value().device, subStatus.value().inode}) != 0) continue;
        Frame frame{std::move(sub.value()), std::move(path), {}, {}, 0};
        frame.facts.self = subStatus.value();
        frame.facts.statKnown = true;
        if (!settings_.bReadOnlyFolder) {
            frame.facts.writable = frame.directory->CanWriteInto() ? 1 : 0;
            if (frame.facts.writable == 0) continue;
        }
        ancestors.insert({frame.facts.self.device, frame.facts.self.inode});
        stack.push_back(std::move(frame));
        if (stack.size() > openFolderBudget_) stack[stack.size() - openFolderBudget_ - 1].directory.reset();
        if (!ProcessFolder(stack.back(), mode)) return;
    }
}

void FolderWalker::WalkFolder(const std::string& path) {
    Walk(path, Mode::Patterns);
    FlushStatus();
}

void FolderWalker::WalkTempFolder(const std::string& path) {
    rememberPaths_ = true;
    Walk(path, Mode::AllFilesEverywhere);
    rememberPaths_ = false;
    FlushStatus();
}

void FolderWalker::CollectInOneFolder(const std::string& folder, const std::string* pattern) {
    if (folder.empty() || !Tick()) return;
    auto directory = fileSystem_.OpenFolder(folder);
    if (!directory) return;
    auto listing = directory.value()->ReadEntries();
    if (listing) {
        std::sort(listing.value().begin(), listing.value().end(), ByteOrder);
        FolderFacts facts;
        CollectFromListing(*directory.value(), facts, NormalizedFolderPath(folder), listing.value(), pattern);
    }
    FlushStatus();
}

void FolderWalker::CollectAllFiles(const std::string& folder) {
    rememberPaths_ = true;
    CollectInOneFolder(folder, nullptr);
    rememberPaths_ = false;
}

void FolderWalker::CollectMatches(const std::string& folder, const std::string& pattern) {
    if (IsUsableFilePattern(pattern)) CollectInOneFolder(folder, &pattern);
}

}  // namespace vask
