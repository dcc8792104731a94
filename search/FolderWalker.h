// The folder walker: finds the files of one search and appends them to the result list.
//
// It walks a folder tree depth-first: each folder's own hits first (pattern by pattern, names in byte order),
// then its subfolders one after the other in byte order. It never enters folders whose name begins with ".",
// read-only folders (unless allowed), avoid folders, the move method's destination folder, other volumes, or
// a folder that is its own ancestor; it never follows or lists a symbolic link, and only regular files that
// this user may write (asked of the kernel, never by opening them) and remove are results. A search changes
// nothing and is seen by nobody: no file watcher hears of it, no lease holder is disturbed.
//
// The walk keeps explicit stacks instead of recursing, so a tree of any depth cannot overflow the call
// stack, and it holds at most a bounded number of folders open, so any depth fits in the descriptor limit.
//
// Two threads: a FolderReader lists the folders on a second thread, a few folders ahead (ReadAhead), and
// the caller's thread tests the candidates it picked and appends the results in the walk's order. Only the
// caller's thread calls the host: the host's PumpMessages runs window events in the middle of a walk (at most
// every 20 ms of the monotonic clock, also while waiting for the reader), and an Abort handler run from there
// sets bAbort, which the walker reads at every candidate; the reader is then stopped and waited for before
// the walk returns. All state is owned by the caller (SearchState) or by the walker; nothing is global.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "search/FolderReader.h"
#include "search/ResultList.h"

namespace vask {

// The option values the walk obeys. Folder entries are compared after NormalizeFolderPath; empty entries
// stand for no folder.
struct WalkerSettings {
    bool bReadOnlyFolder = false;  // read-only folders are searched too
    std::int32_t nTrush = 0;       // disposal method; 1 (move) keeps the walk out of strFolderEdit
    std::string strFolderEdit;
    std::array<std::string, 8> strOutFolderEdit;  // avoid folders
    std::array<std::string, 8> strAllFolderEdit;  // all-files folders
};

// The state of one search that lives longer than the walk: owned by the main dialog's core, read and filled
// by the walker.
struct SearchState {
    std::vector<std::string> listPattern;  // file patterns, in the order typed
    std::int64_t timeSearch = 0;           // reference time, seconds since 1970-01-01 UTC
    bool ageCheck = false;                 // check box "last-modified date" ticked
    std::int64_t ageDays = 0;              // days of the day edit (0 .. 14000 when ageCheck is set)
    bool bAbort = false;                   // set by the Abort handler; every walker returns at its next entry
    std::uint64_t sizeFoundTotal = 0;  // exact sum of the sizes of all results added since the search began
    ResultList results;
};

// The window side of a walk.
class WalkerHost {
  public:
    virtual ~WalkerHost() = default;
    // Dispatches pending window events and returns when there are none.
    virtual void PumpMessages() = 0;
    // Replaces the status line's text and shows it at once.
    virtual void ShowStatusText(const std::string& text) = 0;
};

// The leading decimal digits of a day text as a number: "" and "x" give 0, "30abc" gives 30. A number too
// large for the type saturates at the type's maximum, so any limit check above it still refuses it.
std::int64_t ParseLeadingDecimal(std::string_view text);

// The status line as a search starts, and while it runs:
// "検索中... %d個のﾌｧｲﾙが見つかりました。削除対象容量=%s".
inline constexpr const char* kSearchingText = "検索中...";
std::string SearchProgressText(std::size_t count, std::uint64_t totalBytes);

class FolderWalker : public WalkFolderRules {
  public:
    // All references must outlive the walker.
    FolderWalker(FileSystem& fileSystem, Clock& clock, WalkerHost& host, SearchState& state,
                 WalkerSettings settings);

    // Walks a volume root or any folder with the patterns (or all files in all-files folders).
    void WalkFolder(const std::string& path);
    // Walks the temporary folder: every writable file of every age and name, in it and its subfolders.
    void WalkTempFolder(const std::string& path);
    // The files of one folder that match one pattern (no subfolders).
    void CollectMatches(const std::string& folder, const std::string& pattern);
    // Every writable file directly inside one folder: no patterns, no age test, no subfolders.
    void CollectAllFiles(const std::string& folder);

    // Any folder path; it is normalised first.
    bool IsFolderAllowed(const std::string& path) const;
    bool IsAllFilesFolder(const std::string& path) const;
    bool IsNormalizedFolderAllowed(const std::string& path) const override;
    bool IsNormalizedAllFilesFolder(const std::string& path) const override;
    // The file is a regular file this user may write (the kernel's access check for the effective ids; the
    // file is never opened) and its folder lets this user remove it.
    bool IsFileWritable(const std::string& path);
    // Appends a ticked result, adds its size to sizeFoundTotal and updates the status line. A path this
    // walker already listed from the temporary or recent-files folder is not listed again (a drive walk
    // reaches those folders too): false then, and nothing changes.
    bool AddResult(std::string_view path, std::uint64_t size, const FileIdentity& identity);

    // Shows the exact count and total when the last update was held back by the refresh limit. Every public
    // walk ends with it.
    void FlushStatus();

    // How many folders may stay open at once during a walk, across both of its threads (at least 2). Tests
    // lower it.
    void SetOpenFolderBudget(std::size_t budget) { openFolderBudget_ = budget < 2 ? 2 : budget; }
    // Whether a walk reads folders ahead on a second thread (the default). Without it the same reader runs
    // on the caller's thread; the results are the same.
    void SetReadAhead(bool enabled) { readAhead_ = enabled; }

  private:
    // Tests the batch's candidates and adds the results, in order. False when aborted.
    bool CollectBatch(FolderBatch& batch);
    // The folder rule for a file this user may write: this user may remove it from its folder.
    bool IsRemovableFile(const FolderBatch& batch, const FileStatus& file) const;
    // The files of one folder only: all of them (pattern null) or those matching the pattern.
    void CollectInOneFolder(const std::string& folder, const std::string* pattern);
    void Walk(const std::string& rootPath, bool allFilesEverywhere);
    bool PassesAgeTest(const FileStatus& file) const;
    // Reads the clock; pumps events when 20 ms have passed. False once bAbort is set.
    bool Tick();
    // How long the walk may wait for the reader before events are due again.
    std::chrono::milliseconds TimeToNextPump();

    FileSystem& fileSystem_;
    Clock& clock_;
    WalkerHost& host_;
    SearchState& state_;
    WalkerSettings settings_;
    std::uint32_t effectiveUserId_;
    std::size_t openFolderBudget_ = 64;
    bool readAhead_ = true;
    std::int64_t lastPumpMs_;
    std::int64_t lastStatusMs_;
    bool statusPending_ = false;
    // Scratch storage of the tests, reused from folder to folder.
    std::vector<FileCheck> chunk_;
    std::vector<std::uint32_t> chunkEntries_;
    std::vector<std::uint32_t> order_;
    std::string resultPath_;
    // Paths listed by the temporary and recent-files walks, which a drive walk may reach again. Only these
    // are kept: the drive walks themselves never overlap (each stays on its own volume).
    bool rememberPaths_ = false;
    std::unordered_set<std::string> rememberedPaths_;
};

}  // namespace vask
