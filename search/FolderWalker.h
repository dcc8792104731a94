// The folder walker: finds the files of one search and appends them to the result list.
//
// It walks a folder tree depth-first: each folder's own hits first (pattern by pattern, names in byte order),
// then its subfolders one after the other in byte order. It never enters folders whose name begins with ".",
// read-only folders (unless allowed), avoid folders, the move method's destination folder, other volumes, or
// a folder that is its own ancestor; it never follows or lists a symbolic link, and only regular files that
// this user can open for writing and remove are results.
//
// The walk keeps an explicit stack instead of recursing, so a tree of any depth cannot overflow the call
// stack, and it holds at most a bounded number of folders open, so any depth fits in the descriptor limit.
//
// Single-threaded: the host's PumpMessages runs window events in the middle of a walk (at most every 20 ms
// of the monotonic clock), and an Abort handler run from there sets bAbort, which the walker reads at every
// entry. All state is owned by the caller (SearchState) or by the walker; nothing is global.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
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

// The status line during a search: "検索中... %d個のﾌｧｲﾙが見つかりました。削除対象容量=%s".
std::string SearchProgressText(std::size_t count, std::uint64_t totalBytes);

class FolderWalker {
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

    bool IsFolderAllowed(const std::string& path) const;
    bool IsAllFilesFolder(const std::string& path) const;
    // The file opens for writing (nothing changed) and its folder lets this user remove it.
    bool IsFileWritable(const std::string& path);
    // Appends a ticked result, adds its size to sizeFoundTotal and updates the status line. A path this
    // walker already listed from the temporary or recent-files folder is not listed again (a drive walk
    // reaches those folders too): false then, and nothing changes.
    bool AddResult(std::string_view path, std::uint64_t size, const FileIdentity& identity);

    // Shows the exact count and total when the last update was held back by the refresh limit. Every public
    // walk ends with it.
    void FlushStatus();

    // How many folders may stay open at once during a walk (at least 2). Tests lower it.
    void SetOpenFolderBudget(std::size_t budget) { openFolderBudget_ = budget < 2 ? 2 : budget; }

  private:
    struct Frame;
    struct FolderFacts;
    enum class Mode { Patterns, AllFilesEverywhere };

    void Walk(const std::string& rootPath, Mode mode);
    // Lists one open folder and adds its hits; fills frame.subfolders. False when aborted.
    bool ProcessFolder(Frame& frame, Mode mode);
    // Adds the matching files among the listed entries. taken (one flag per entry, or null) marks the
    // entries already listed from this folder by an earlier pattern: a file is one result, however many
    // patterns it matches. False when aborted.
    bool CollectFromListing(Directory& directory, FolderFacts& facts, const std::string& folder,
                            const std::vector<DirectoryEntry>& entries, const std::string* pattern,
                            std::vector<char>* taken = nullptr);
    // The folder rule for a file that opened for writing: this user may remove it from its folder.
    bool IsRemovableFile(Directory& directory, FolderFacts& facts, const FileStatus& file);
    // The files of one folder only: all of them (pattern null) or those matching the pattern.
    void CollectInOneFolder(const std::string& folder, const std::string* pattern);
    bool PassesAgeTest(const FileStatus& file) const;
    std::unique_ptr<Directory> Reopen(const Frame& frame, Directory* child);
    // Reads the clock; pumps events when 20 ms have passed. False once bAbort is set.
    bool Tick();

    FileSystem& fileSystem_;
    Clock& clock_;
    WalkerHost& host_;
    SearchState& state_;
    WalkerSettings settings_;
    std::uint32_t effectiveUserId_;
    std::size_t openFolderBudget_ = 64;
    std::int64_t lastPumpMs_;
    std::int64_t lastStatusMs_;
    bool statusPending_ = false;
    // Paths listed by the temporary and recent-files walks, which a drive walk may reach again. Only these
    // are kept: the drive walks themselves never overlap (each stays on its own volume).
    bool rememberPaths_ = false;
    std::unordered_set<std::string> rememberedPaths_;
};

}  // namespace vask
