// The reading half of a search: lists folders in the walk's order and picks the entries that may become
// results, so that the walk (FolderWalker) only has to test and append them.
//
// FolderReader walks a tree depth-first exactly as the search defines it (names in byte order, no link
// followed, the volume never left, hidden, read-only, avoid and looping folders passed over) and yields one
// FolderBatch per folder that has candidates. ReadAhead runs a reader on a second thread, a bounded number
// of folders ahead of the walk, so reading the next folders overlaps with testing the files of this one.
// Neither touches the results, the status line or the window.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace vask {

// One folder as the reader hands it to the walk.
struct FolderBatch {
    std::shared_ptr<Directory> directory;  // open; the candidates are tested relative to it
    std::string path;                      // the folder's path as results carry it, ending in "/"
    bool selfKnown = false;
    FileStatus self;       // the folder's own status, when selfKnown
    int writable = -1;     // this user may create and remove entries in it: 1 yes, 0 no, -1 not asked
    bool ageTest = false;  // the candidates come from patterns and the age condition applies to them
    FolderListing listing;
    // Indices into listing of the entries to test, in the order their results are listed: pattern by pattern,
    // each in byte order of the names. An entry matching two patterns appears twice.
    std::vector<std::uint32_t> candidates;

    // The tests of the candidates, per entry of the listing: made by the walk as it goes, or all at once by
    // the reader while it has nothing to read (the walk is busy, say painting the window). Whoever takes the
    // batch first (testState from kOpen) tests it; the walk waits for kTested when the reader took it.
    enum TestState : int { kOpen = 0, kTaken = 1, kTested = 2 };
    std::atomic<int> testState{kOpen};
    std::vector<std::uint8_t> tested;  // 1 where tests holds the entry's test
    std::vector<FileCheck> tests;
    // Makes every test open again, for a new listing.
    void ResetTests() {
        tested.assign(listing.Size(), 0);
        if (tests.size() < listing.Size()) tests.resize(listing.Size());
        testState.store(kOpen, std::memory_order_relaxed);
    }
};

// Tests (Directory::CheckFiles) the batch's untested candidates from position `from` on, at most `limit`
// distinct entries, handing them to the file system in chunks of 64. chunk and entries are scratch storage.
void TestCandidates(FolderBatch& batch, std::size_t from, std::size_t limit, std::vector<FileCheck>& chunk,
                    std::vector<std::uint32_t>& entries);

// Which entries of a folder are candidates.
struct CandidateRule {
    bool allFiles = false;                  // every file, no age test
    std::span<const std::string> patterns;  // otherwise: the files matching each usable pattern
    bool ageCheck = false;                  // the age condition is on (patterns only)
};

// Fills batch's candidates from its listing (names sorted into byte order through order, reused storage).
// Entries that are folders, links or special files by the listing's own word are never candidates; entries
// the listing could not classify are, and the test sorts them out.
void PickCandidates(FolderBatch& batch, const CandidateRule& rule, std::vector<std::uint32_t>& order);

// The rules of the walk that live with the settings.
class WalkFolderRules {
  public:
    virtual ~WalkFolderRules() = default;
    // path is already in the form NormalizeFolderPath gives: the reader builds each folder's path from its
    // parent's, so it never needs normalising again (which would cost the whole path at every level).
    virtual bool IsNormalizedFolderAllowed(const std::string& path) const = 0;
    virtual bool IsNormalizedAllFilesFolder(const std::string& path) const = 0;
};

class FolderReader {
  public:
    struct Options {
        bool allFilesEverywhere = false;  // the temporary folder: every file in every folder
        bool readOnlyFolders = false;     // folders this user cannot write into are walked too
        std::uint32_t effectiveUserId = 0;
        std::size_t openFolderBudget = 64;  // folders the reader keeps open on its stack (at least 2)
    };

    // fileSystem, rules and patterns must outlive the reader. root is normalised and allowed.
    FolderReader(FileSystem& fileSystem, const WalkFolderRules& rules, std::span<const std::string> patterns,
                 bool ageCheck, Options options, std::string root);

    // Fills batch with the next folder of the walk that has candidates; false at the end of the walk or
    // once Stop was called. Never throws for file-system errors: an unreadable folder is passed over.
    bool Next(FolderBatch& batch);
    // Makes Next return false from its next step; callable from any thread.
    void Stop() { stop_.store(true, std::memory_order_relaxed); }
    bool Stopped() const { return stop_.load(std::memory_order_relaxed); }

  private:
    struct Frame {
        std::shared_ptr<Directory> directory;  // null while closed to stay within the budget
        std::size_t pathLength = 0;            // its path is the first pathLength bytes of path_
        FileStatus self;
        int writable = -1;
        std::string subfolderNames;  // names of its subfolders, each followed by a NUL, byte order
        std::vector<std::uint32_t> subfolderOffsets;
        std::size_t next = 0;
    };

    bool OpenRoot();
    // Lists the frame's folder, records its subfolders and fills batch. False when the folder has no
    // candidates or could not be listed.
    bool ReadFrame(Frame& frame, FolderBatch& batch);
    std::shared_ptr<Directory> Reopen(const Frame& frame, Directory* child);

    FileSystem& fileSystem_;
    const WalkFolderRules& rules_;
    CandidateRule rule_;
    Options options_;
    std::string root_;
    std::string nameInPath_;  // scratch: one subfolder name in its normalised form
    // The path of the newest frame, ending in "/"; every older frame's path is a prefix of it, so a walk
    // keeps one path however deep it goes instead of a copy per level.
    std::string path_;
    std::atomic<bool> stop_{false};
    bool started_ = false;
    std::uint64_t volume_ = 0;
    std::vector<Frame> stack_;
    // Folders on the current path, by identity: a bind mount of a folder inside itself must not become an
    // endless walk.
    std::set<std::pair<std::uint64_t, std::uint64_t>> ancestors_;
    std::vector<std::uint32_t> order_;
};

// Runs a FolderReader ahead of the walk on a second thread, at most `slots` folders ahead (each holds its
// folder open, so the open-folder budget covers them). Where no thread can be started the reader runs on the
// caller's thread instead, one folder per Next. The caller's thread is the only one that reads the batches.
class ReadAhead {
  public:
    ReadAhead(FolderReader& reader, std::size_t slots, bool useThread = true);
    // Stops the reader and waits for its thread; every folder it held is closed on return.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next folder in walk order, waiting at most maxWait for it; null with ended set at the end of the
    // walk, null with ended clear when the wait ran out.
    FolderBatch* Next(std::chrono::milliseconds maxWait, bool& ended);
    // Waits at most maxWait until the reader has tested batch (taken by it); true when it has.
    bool WaitUntilTested(FolderBatch& batch, std::chrono::milliseconds maxWait);
    // The batch Next returned is done with; its folder is closed unless the reader still uses it.
    void Release();
    bool Threaded() const { return thread_.joinable(); }

  private:
    void Run();
    // With every slot filled: takes the newest batch the walk has not reached and tests it. False when
    // there is none. Called with the lock held; releases it while testing.
    bool TestAhead(std::unique_lock<std::mutex>& lock);

    FolderReader& reader_;
    std::vector<FileCheck> chunk_;
    std::vector<std::uint32_t> chunkEntries_;
    std::vector<FolderBatch> slots_;
    std::mutex mutex_;
    std::condition_variable filled_;
    std::condition_variable freed_;
    std::size_t head_ = 0;   // the oldest filled slot
    std::size_t count_ = 0;  // filled slots, the one the walk holds included
    bool ended_ = false;
    std::thread thread_;
};

}  // namespace vask
