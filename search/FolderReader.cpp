#include "search/FolderReader.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "search/TemporaryNames.h"
#include "search/Wildcard.h"
#include "settings/FolderPath.h"

namespace vask {

namespace {

bool MayBeFile(EntryKind kind) {
    return kind == EntryKind::Regular || kind == EntryKind::Unknown;
}

}  // namespace

void PickCandidates(FolderBatch& batch, const CandidateRule& rule, std::vector<std::uint32_t>& order) {
    const FolderListing& listing = batch.listing;
    order.resize(listing.Size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    // Byte order: string_view compares as unsigned char, whatever the signedness of char.
    std::sort(order.begin(), order.end(),
              [&listing](std::uint32_t a, std::uint32_t b) { return listing.Name(a) < listing.Name(b); });

    batch.candidates.clear();
    batch.ageTest = false;
    if (rule.allFiles) {
        for (std::uint32_t index : order) {
            // A copy or archive still being written is never a result.
            if (MayBeFile(listing[index].kind) && !IsVaskTemporaryName(listing.Name(index)))
                batch.candidates.push_back(index);
        }
        return;
    }
    batch.ageTest = rule.ageCheck;
    // A file is one result however many patterns name it: each entry is a candidate once, in the place
    // of the first pattern that matched it.
    std::vector<bool> picked(rule.patterns.size() > 1 ? listing.Size() : 0, false);
    for (const std::string& pattern : rule.patterns) {
        if (!IsUsableFilePattern(pattern)) continue;
        for (std::uint32_t index : order) {
            if (!MayBeFile(listing[index].kind)) continue;
            if (!picked.empty() && picked[index]) continue;
            const std::string_view name = listing.Name(index);
            if (MatchesFilePattern(pattern, name) && !IsVaskTemporaryName(name)) {
                batch.candidates.push_back(index);
                if (!picked.empty()) picked[index] = true;
            }
        }
    }
}

void TestCandidates(FolderBatch& batch, std::size_t from, std::size_t limit, std::vector<FileCheck>& chunk,
                    std::vector<std::uint32_t>& entries) {
    constexpr std::size_t kChunk = 64;
    std::size_t taken = 0;
    std::size_t position = from;
    while (taken < limit && position < batch.candidates.size()) {
        chunk.clear();
        entries.clear();
        for (; position < batch.candidates.size() && chunk.size() < kChunk && taken < limit; ++position) {
            const std::uint32_t entry = batch.candidates[position];
            if (batch.tested[entry]) continue;
            batch.tested[entry] = 1;
            FileCheck check;
            check.name = batch.listing.CName(entry);
            chunk.push_back(check);
            entries.push_back(entry);
            ++taken;
        }
        if (chunk.empty()) break;
        batch.directory->CheckFiles(chunk);
        for (std::size_t k = 0; k < chunk.size(); ++k)
            batch.tests[entries[k]] = chunk[k];
    }
}

FolderReader::FolderReader(FileSystem& fileSystem, const WalkFolderRules& rules,
                           std::span<const std::string> patterns, bool ageCheck, Options options,
                           std::string root)
    : fileSystem_(fileSystem), rules_(rules), options_(options), root_(std::move(root)) {
    rule_.allFiles = options_.allFilesEverywhere;
    rule_.patterns = patterns;
    rule_.ageCheck = ageCheck;
    if (options_.openFolderBudget < 2) options_.openFolderBudget = 2;
}

bool FolderReader::OpenRoot() {
    auto opened = fileSystem_.OpenFolder(root_);
    if (!opened) return false;
    std::shared_ptr<Directory> directory = std::move(opened.value());
    auto status = directory->StatSelf();
    if (!status) return false;
    volume_ = status.value().device;
    Frame frame;
    frame.directory = std::move(directory);
    path_ = root_;
    frame.pathLength = path_.size();
    frame.self = status.value();
    // The root's own attributes are not examined: it is walked even when this user cannot write into it.
    ancestors_.insert({volume_, frame.self.inode});
    stack_.push_back(std::move(frame));
    return true;
}

bool FolderReader::ReadFrame(Frame& frame, FolderBatch& batch) {
    // frame is the newest, so path_ is its path.
    if (!frame.directory->ReadListing(batch.listing)) return false;  // unreadable: yields nothing
    const bool allFiles = options_.allFilesEverywhere || rules_.IsNormalizedAllFilesFolder(path_);
    CandidateRule rule = rule_;
    rule.allFiles = allFiles;
    PickCandidates(batch, rule, order_);

    const FolderListing& listing = batch.listing;
    for (std::uint32_t index : order_) {
        const std::string_view name = listing.Name(index);
        if (name[0] == '.') continue;  // hidden folders are never entered
        EntryKind kind = listing[index].kind;
        if (kind == EntryKind::Unknown) {
            auto status = frame.directory->StatEntry(listing.CName(index));
            if (status) kind = status.value().kind;
        }
        if (kind != EntryKind::Directory) continue;
        frame.subfolderOffsets.push_back(static_cast<std::uint32_t>(frame.subfolderNames.size()));
        frame.subfolderNames.append(name).push_back('\0');
    }
    if (batch.candidates.empty()) return false;

    // Whether a file can be removed depends on its folder; asked once, here, off the walk's thread.
    if (frame.writable < 0) frame.writable = frame.directory->CanWriteInto() ? 1 : 0;
    batch.ResetTests();
    batch.directory = frame.directory;
    batch.path = path_;
    batch.self = frame.self;
    batch.selfKnown = true;
    batch.writable = frame.writable;
    return true;
}

std::shared_ptr<Directory> FolderReader::Reopen(const Frame& frame, Directory* child) {
    // A folder closed to stay within the budget is reopened through its child's "..", or else by its path,
    // and taken back only when it is still the same folder: one renamed or replaced meanwhile is not walked.
    const auto isSameFolder = [&](Result<std::unique_ptr<Directory>>& candidate) {
        if (!candidate) return false;
        auto status = candidate.value()->StatSelf();
        return status && status.value().device == frame.self.device &&
               status.value().inode == frame.self.inode;
    };
    if (child != nullptr) {
        auto viaParent = child->OpenParent();
        if (isSameFolder(viaParent)) return std::move(viaParent.value());
    }
    auto viaPath = fileSystem_.OpenFolder(path_.substr(0, frame.pathLength));
    if (isSameFolder(viaPath)) return std::move(viaPath.value());
    return nullptr;
}

bool FolderReader::Next(FolderBatch& batch) {
    if (Stopped()) return false;
    if (!started_) {
        started_ = true;
        if (!OpenRoot()) return false;
        if (ReadFrame(stack_.back(), batch)) return true;
    }
    while (!stack_.empty()) {
        if (Stopped()) return false;
        Frame& top = stack_.back();
        path_.resize(top.pathLength);  // a subfolder tried and passed over may have been appended
        if (top.next >= top.subfolderOffsets.size()) {
            ancestors_.erase({top.self.device, top.self.inode});
            std::shared_ptr<Directory> child = std::move(top.directory);
            stack_.pop_back();
            if (stack_.empty()) break;
            Frame& parent = stack_.back();
            if (!parent.directory) parent.directory = Reopen(parent, child.get());
            if (!parent.directory) parent.next = parent.subfolderOffsets.size();  // gone: walk no more of it
            continue;
        }

        const char* name = top.subfolderNames.data() + top.subfolderOffsets[top.next++];
        // The parent's path is normalised and ends at a character boundary, so normalising the name alone
        // gives the same bytes as normalising the whole path, in time independent of the depth.
        nameInPath_.assign(name);
        NormalizeFolderPath(nameInPath_);
        path_.append(nameInPath_);
        if (!rules_.IsNormalizedFolderAllowed(path_)) continue;
        auto sub = top.directory->OpenSubfolder(name);
        if (!sub) continue;  // vanished, unreadable, or swapped for a link: nothing to walk
        auto subStatus = sub.value()->StatSelf();
        if (!subStatus || subStatus.value().kind != EntryKind::Directory) continue;
        if (subStatus.value().device != volume_) continue;  // a mount point: another line of the drive list
        if (ancestors_.count({subStatus.value().device, subStatus.value().inode}) != 0) continue;
        Frame frame;
        frame.directory = std::move(sub.value());
        frame.pathLength = path_.size();
        frame.self = subStatus.value();
        if (!options_.readOnlyFolders) {
            frame.writable = frame.directory->CanWriteInto() ? 1 : 0;
            if (frame.writable == 0) continue;
        }
        ancestors_.insert({frame.self.device, frame.self.inode});
        stack_.push_back(std::move(frame));
        const std::size_t budget = options_.openFolderBudget;
        if (stack_.size() > budget) stack_[stack_.size() - budget - 1].directory.reset();
        if (ReadFrame(stack_.back(), batch)) return true;
    }
    return false;
}

ReadAhead::ReadAhead(FolderReader& reader, std::size_t slots, bool useThread)
    : reader_(reader), slots_(slots < 1 ? 1 : slots) {
    if (!useThread) return;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread to be had (a process at its limit): the walk reads its folders itself.
    }
}

ReadAhead::~ReadAhead() {
    reader_.Stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        freed_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
    for (FolderBatch& slot : slots_)
        slot.directory.reset();
}

bool ReadAhead::TestAhead(std::unique_lock<std::mutex>& lock) {
    // Newest first: the walk reaches it last, so it rarely has to wait for the reader. The head is the
    // walk's.
    for (std::size_t back = count_; back > 1; --back) {
        FolderBatch& batch = slots_[(head_ + back - 1) % slots_.size()];
        int open = FolderBatch::kOpen;
        if (!batch.testState.compare_exchange_strong(open, FolderBatch::kTaken, std::memory_order_acq_rel))
            continue;
        lock.unlock();
        // In pieces, so that a stop (the walk was aborted) is seen within one piece of a huge folder.
        for (std::size_t from = 0; from < batch.candidates.size() && !reader_.Stopped(); from += 256)
            TestCandidates(batch, from, 256, chunk_, chunkEntries_);
        batch.testState.store(FolderBatch::kTested, std::memory_order_release);
        lock.lock();
        filled_.notify_one();
        return true;
    }
    return false;
}

bool ReadAhead::WaitUntilTested(FolderBatch& batch, std::chrono::milliseconds maxWait) {
    std::unique_lock<std::mutex> lock(mutex_);
    return filled_.wait_for(lock, maxWait, [&batch] {
        return batch.testState.load(std::memory_order_acquire) == FolderBatch::kTested;
    });
}

void ReadAhead::Run() {
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (count_ == slots_.size() && !reader_.Stopped()) {
                if (!TestAhead(lock)) freed_.wait(lock);
            }
            if (reader_.Stopped()) break;
            index = (head_ + count_) % slots_.size();
        }
        // The slot is the reader's alone until it is counted in: the walk reads only counted slots.
        const bool more = reader_.Next(slots_[index]);
        std::lock_guard<std::mutex> lock(mutex_);
        if (!more) break;
        ++count_;
        filled_.notify_one();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    filled_.notify_one();
}

FolderBatch* ReadAhead::Next(std::chrono::milliseconds maxWait, bool& ended) {
    ended = false;
    if (!thread_.joinable()) {
        if (!ended_ && reader_.Next(slots_[0])) {
            count_ = 1;
            return &slots_[0];
        }
        ended_ = true;
        ended = true;
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (count_ == 0 && !ended_) filled_.wait_for(lock, maxWait, [this] { return count_ > 0 || ended_; });
    if (count_ > 0) return &slots_[head_];
    ended = ended_;
    return nullptr;
}

void ReadAhead::Release() {
    if (!thread_.joinable()) {
        slots_[0].directory.reset();
        count_ = 0;
        return;
    }
    // Closed here, outside the lock: the reader may still hold the same folder on its stack.
    slots_[head_].directory.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == 0) return;
    head_ = (head_ + 1) % slots_.size();
    --count_;
    freed_.notify_one();
}

}  // namespace vask
