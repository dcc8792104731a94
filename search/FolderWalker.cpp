#include "search/FolderWalker.h"

#include <algorithm>
#include <limits>
#include <memory>
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
    return std::string(kSearchingText) + " " + std::to_string(count) +
           "個のﾌｧｲﾙが見つかりました。削除対象容量=" + FormatSizeText(totalBytes);
}

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
    return IsNormalizedFolderAllowed(NormalizedFolderPath(path));
}

bool FolderWalker::IsNormalizedFolderAllowed(const std::string& p) const {
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
    return IsNormalizedAllFilesFolder(NormalizedFolderPath(path));
}

bool FolderWalker::IsNormalizedAllFilesFolder(const std::string& p) const {
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

std::chrono::milliseconds FolderWalker::TimeToNextPump() {
    const std::int64_t due = lastPumpMs_ + kPumpIntervalMs - clock_.MonotonicMilliseconds();
    return std::chrono::milliseconds(std::clamp<std::int64_t>(due, 1, kPumpIntervalMs));
}

bool FolderWalker::IsRemovableFile(const FolderBatch& batch, const FileStatus& file) const {
    if (file.kind != EntryKind::Regular) return false;
    // A file this user may write may still be impossible to dispose of: removing or renaming it needs a
    // writable folder and, in a sticky folder, ownership of the file or the folder.
    if (batch.writable != 1) return false;
    if (effectiveUserId_ == 0) return true;
    if (!batch.selfKnown) return false;
    if ((batch.self.mode & kStickyBit) == 0) return true;
    return file.ownerId == effectiveUserId_ || batch.self.ownerId == effectiveUserId_;
}

bool FolderWalker::IsFileWritable(const std::string& path) {
    const std::size_t slash = FindLastChar(SystemPathRules().codePage, path, SystemPathRules().separator);
    if (slash == std::string::npos || slash + 1 == path.size()) return false;
    auto directory = fileSystem_.OpenFolder(path.substr(0, slash + 1));
    if (!directory) return false;
    const std::string name = path.substr(slash + 1);
    FileCheck check;
    check.name = name.c_str();
    directory.value()->CheckFiles(std::span<FileCheck>(&check, 1));
    if (check.error != 0 || !check.writable || check.status.kind != EntryKind::Regular) return false;
    FolderBatch facts;
    facts.writable = directory.value()->CanWriteInto() ? 1 : 0;
    if (effectiveUserId_ != 0) {
        auto self = directory.value()->StatSelf();
        facts.selfKnown = static_cast<bool>(self);
        if (self) facts.self = self.value();
    }
    return IsRemovableFile(facts, check.status);
}

bool FolderWalker::CollectBatch(FolderBatch& batch) {
    // Each entry is tested once, however many patterns it matches, and in chunks, so that an adapter can
    // hand a chunk to the kernel in one go. A batch the reader tested already needs no test here.
    const std::vector<std::uint32_t>& candidates = batch.candidates;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!Tick()) return false;
        const std::uint32_t entry = candidates[i];
        if (!batch.tested[entry]) TestCandidates(batch, i, 64, chunk_, chunkEntries_);
        const FileCheck& check = batch.tests[entry];
        if (check.error != 0 || check.status.kind != EntryKind::Regular || !check.writable) continue;
        if (batch.ageTest && !PassesAgeTest(check.status)) continue;
        if (!IsRemovableFile(batch, check.status)) continue;
        resultPath_.assign(batch.path).append(batch.listing.Name(entry));
        const FileStatus& status = check.status;
        AddResult(resultPath_, status.size,
                  FileIdentity{status.device, status.inode,
                               status.mtimeSeconds * 1000000000LL + status.mtimeNanoseconds});
    }
    return true;
}

void FolderWalker::Walk(const std::string& rootPath, bool allFilesEverywhere) {
    // The volume roots arrive as they are listed; every folder built below is normalised.
    const std::string root = NormalizedFolderPath(rootPath);
    if (root.empty() || !IsFolderAllowed(root)) return;
    if (!Tick()) return;

    // The budget is shared: the reader's stack, the folders read ahead and the one being tested.
    const std::size_t ahead = std::max<std::size_t>(1, openFolderBudget_ / 4);
    FolderReader::Options options;
    options.allFilesEverywhere = allFilesEverywhere;
    options.readOnlyFolders = settings_.bReadOnlyFolder;
    options.effectiveUserId = effectiveUserId_;
    options.openFolderBudget = openFolderBudget_ > ahead + 2 ? openFolderBudget_ - ahead - 2 : 2;
    FolderReader reader(fileSystem_, *this, state_.listPattern, state_.ageCheck, options, root);
    ReadAhead readAhead(reader, ahead, readAhead_);
    for (;;) {
        bool ended = false;
        FolderBatch* batch = readAhead.Next(TimeToNextPump(), ended);
        if (batch == nullptr) {
            if (ended) return;
            if (!Tick()) return;  // the reader is slow (a cold disk): events still run every 20 ms
            continue;
        }
        // The batch is the walk's to test unless the reader took it first; then its tests are awaited.
        int open = FolderBatch::kOpen;
        if (!batch->testState.compare_exchange_strong(open, FolderBatch::kTaken, std::memory_order_acq_rel)) {
            while (!readAhead.WaitUntilTested(*batch, TimeToNextPump())) {
                if (!Tick()) return;
            }
        }
        const bool goOn = CollectBatch(*batch);
        readAhead.Release();
        if (!goOn) return;
    }
}

void FolderWalker::WalkFolder(const std::string& path) {
    Walk(path, false);
    FlushStatus();
}

void FolderWalker::WalkTempFolder(const std::string& path) {
    rememberPaths_ = true;
    Walk(path, true);
    rememberPaths_ = false;
    FlushStatus();
}

void FolderWalker::CollectInOneFolder(const std::string& folder, const std::string* pattern) {
    if (folder.empty() || !Tick()) return;
    auto directory = fileSystem_.OpenFolder(folder);
    if (!directory) return;
    FolderBatch batch;
    batch.directory = std::move(directory.value());
    if (batch.directory->ReadListing(batch.listing)) {
        CandidateRule rule;
        rule.allFiles = pattern == nullptr;
        if (pattern != nullptr) rule.patterns = std::span<const std::string>(pattern, 1);
        rule.ageCheck = state_.ageCheck;
        PickCandidates(batch, rule, order_);
        if (!batch.candidates.empty()) {
            batch.ResetTests();
            batch.path = NormalizedFolderPath(folder);
            batch.writable = batch.directory->CanWriteInto() ? 1 : 0;
            if (effectiveUserId_ != 0) {
                auto self = batch.directory->StatSelf();
                batch.selfKnown = static_cast<bool>(self);
                if (self) batch.self = self.value();
            }
            CollectBatch(batch);
        }
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
