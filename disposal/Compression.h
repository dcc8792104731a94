// Disposal method 3: the ticked results are moved into an LZH archive by the archiver library, which reads
// its command from a list file; the archive is then named and stamped after the search time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"
#include "platform/ArchiverLibrary.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Prompter.h"
#include "search/FolderWalker.h"

namespace vask {

// The list file, by bare name in the current folder, and the archive the library writes first.
inline constexpr const char* kArchiverListFileName = "__Vask__.---";

inline constexpr const char* kArchiverMissingText = "Unlha32.Dllが見つかりません。";
inline constexpr const char* kArchiverBusyText = "Unlha32.Dllが使用中です。";

// The window shown while the archiver packs (it tells nothing of its progress): title and text.
inline constexpr const char* kPackingTitle = "ﾌｧｲﾙを圧縮しています";
inline constexpr const char* kPackingText = "ﾌｧｲﾙを書庫に圧縮しています。しばらくお待ちください...";

// The list file's one line (no line end): "m -rxa " + workingArchivePath + " " + for every path, in order,
// "\"" + path + "\" ". Paths are taken byte for byte.
std::string ArchiverListText(const std::string& workingArchivePath, const std::vector<std::string>& paths);

// "%Y.%m.%d_%H.%M.%S.lzh" of a local time, e.g. "2006.03.01_10.20.30.lzh"; with number n > 1 the same
// name with "_n" before ".lzh" ("2006.03.01_10.20.30_2.lzh").
std::string FinalArchiveName(const LocalTime& time, int number = 1);

// Renames the entry name of folder, without replacing anything, to the first free name among
// FinalArchiveName(time, 1), (time, 2), ... (at most kMaxArchiveNumber tries). On success chosen holds the
// new name. Fails with the first error other than EEXIST, or EEXIST when every name is taken.
inline constexpr int kMaxArchiveNumber = 9999;
Status RenameToFreeArchiveName(Directory& folder, const std::string& name, const LocalTime& time,
                               std::string& chosen);

// Packs the ticked results (check state 1) into an archive in the folder strUnlhaEdit (an absolute path
// ending in "/"; the delete command has made sure it exists). Returns 0 when every ticked file went into
// the archive, 1 otherwise. Steps:
//  1. Refuses, with a message and nothing written, a ticked path that contains a double quote (the list
//     format cannot quote it) and an archive folder the archiver would not read back as one path (a double
//     quote, tab or line break, a blank followed by "-", or a blank-separated piece that ends in ".lzh" or
//     ".lha" before the last), or that cannot be opened without following a symbolic link.
//  2. Checks every ticked file against the identity the search recorded (device, inode, size, modification
//     time), reached through its folder opened component by component without following a link. A file
//     that fails is left alone and reported at the end through operationUi (as changed since the search);
//     the result is then 1 even when the others were packed. A path listed twice is packed once.
//  3. A working archive "__Vask__.lzh" left by an earlier run is renamed, without replacing, to a free
//     final name after its own modification time (RenameToFreeArchiveName): this run never adds to an
//     archive it did not create. The recorder, when given, is told (LeftoverArchiveRenamed). When that is
//     impossible the run stops with a message, nothing packed.
//  4. Creates the list file anew (Directory::OpenOwnFile, Exclusive, mode 0600: a FIFO, link, folder or
//     another user's file of that name is refused) and writes it whole. When that fails: message
//     "ﾌｧｲﾙ __Vask__.--- が作成できません。" with the reason, result 1, the archiver is not called.
//  5. Loads the library: missing → kArchiverMissingText; busy (GetRunning non-zero) → kArchiverBusyText;
//     both OK-button boxes with the exclamation icon, result 1.
//  6. Runs "@__Vask__.---". Non-zero → result 1, no message (nothing is put back: the library removes no
//     source unless the archive is complete); when no working archive stands afterwards, it ends there.
//  7. Stamps the working archive with timeSearch (StampFileTimes), then renames it to a free final name after
//     the local timeSearch (RenameToFreeArchiveName): an existing archive is never replaced. Neither outcome
//     changes the result; an archive that could not be renamed keeps the working name until the next run.
//     This happens also after a non-zero run that left its archive in place (sources that could not be
//     removed).
//  6a. With a recorder, right before the run: records a provisional entry (place the working archive, see
//     RunJournal.h) for every file handed to the library, and flushes the recorder, so that a run killed
//     while the library removes its sources leaves a journal naming every file that may be gone.
//  8. With a recorder: flushes the archive folder, then records (RunJournalEntry, kind Archive, place the
//     archive's path under the name it now has, member ArchiveMemberName) every packed file that is gone
//     from its path, marks the provisional entry of every file still in place (also after a run that left
//     no archive), and flushes the recorder.
// The list file is removed on every path out once it was created, and the library unloaded once loaded.
int CompressToArchive(FileSystem& fileSystem, ArchiverLoader& loader, Prompter& prompter,
                      FileOperationUi& operationUi, Clock& clock, const SearchState& state,
                      const std::string& strUnlhaEdit, DisposalRecorder* recorder = nullptr);

// The name the library stores a file of this absolute path under (it packs with full folder paths): the
// path without its leading "/".
std::string ArchiveMemberName(const std::string& path);

// Sets the access and modification times of the existing regular file name in folder (an absolute folder
// path) to time (seconds since 1970-01-01 UTC), keeping its permissions. 0 on success; 1 when the folder or
// the file cannot be opened or stamped. A missing file is not created.
int StampFileTimes(FileSystem& fileSystem, const std::string& folder, const std::string& name,
                   std::int64_t time);
int StampFileTimes(Directory& folder, const std::string& name, std::int64_t time);

}  // namespace vask
