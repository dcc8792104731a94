// Disposal method 3: the ticked results are moved into an LZH archive by the archiver library, which reads
// its command from a list file; the archive is then named and stamped after the search time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ArchiverLibrary.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Prompter.h"
#include "search/FolderWalker.h"

namespace vask {

// The list file, by bare name in the current folder, and the archive the library writes first.
inline constexpr const char* kArchiverListFileName = "__Vask__.---";
inline constexpr const char* kWorkingArchiveName = "__Vask__.lzh";

inline constexpr const char* kArchiverMissingText = "Unlha32.Dllが見つかりません。";
inline constexpr const char* kArchiverBusyText = "Unlha32.Dllが使用中です。";

// The list file's one line (no line end): "m -rxa " + workingArchivePath + " " + for every result whose
// check state is exactly 1, in list order, "\"" + path + "\" ". Paths are taken byte for byte.
std::string ArchiverListText(const std::string& workingArchivePath, const ResultList& results);

// "%Y.%m.%d_%H.%M.%S.lzh" of a local time, e.g. "2006.03.01_10.20.30.lzh".
std::string FinalArchiveName(const LocalTime& time);

// Packs the ticked results (check state 1) into an archive in the folder strUnlhaEdit (an absolute path
// ending in "/"; the delete command has made sure it exists). Returns 0 when the archiver reported that it
// moved them, 1 otherwise. Steps:
//  1. Refuses, with a message and nothing written, a ticked path that contains a double quote (the list
//     format cannot quote it) and an archive folder the archiver would not read back as one path (a double
//     quote, tab or line break, a blank followed by "-", or a blank-separated piece that ends in ".lzh" or
//     ".lha" before the last).
//  2. Writes the list file whole (mode 0600) in the current folder. When that fails: message
//     "ﾌｧｲﾙ __Vask__.--- が作成できません。", result 1, the archiver is not called.
//  3. Loads the library: missing → kArchiverMissingText; busy (GetRunning non-zero) → kArchiverBusyText;
//     both OK-button boxes with the exclamation icon, result 1.
//  4. Runs "@__Vask__.---". Non-zero → result 1, no message (nothing is put back: the library removes no
//     source unless the archive is complete).
//  5. Renames strUnlhaEdit + "__Vask__.lzh" to FinalArchiveName(local timeSearch) in the same folder without
//     replacing: when that name exists the working archive keeps its name. Then stamps the file of the final
//     name with timeSearch (StampFileTimes). Neither outcome changes the result 0.
// The list file is removed on every path out once it was created, and the library unloaded once loaded.
int CompressToArchive(FileSystem& fileSystem, ArchiverLoader& loader, Prompter& prompter, Clock& clock,
                      const SearchState& state, const std::string& strUnlhaEdit);

// Sets the access and modification times of the existing regular file name in folder (an absolute folder
// path) to time (seconds since 1970-01-01 UTC), keeping its permissions. 0 on success; 1 when the folder or
// the file cannot be opened or stamped. A missing file is not created.
int StampFileTimes(FileSystem& fileSystem, const std::string& folder, const std::string& name,
                   std::int64_t time);
int StampFileTimes(Directory& folder, const std::string& name, std::int64_t time);

}  // namespace vask
