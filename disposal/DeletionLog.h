// The deletion log "Vask.Log": one record per successful delete command, in the process's current folder.
#pragma once

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Status.h"
#include "search/FolderWalker.h"

namespace vask {

// Opened by this bare name in the current folder; the log page opens and deletes it by the same name.
inline constexpr const char* kDeletionLogName = "Vask.Log";

// Adds one record to Vask.Log for the ticked results of state (check state exactly 1, in list order):
//
//   ---<<< %Y/%m/%d %H:%M:%S >>>------<Normal>------   (---<Silent>------ when silent)
//   one line per ticked path, its bytes exactly as the result list holds them
//   <%dfile(s), %s>                                    (count, FormatSizeText of the exact 64-bit total)
//
// The time is state.timeSearch in local time through clock, shown as given (the search already made its
// seconds even). Every line ends in CR LF and goes to the file in one write of its own as soon as it is
// complete, so a run that is killed leaves every finished line in the file; the file is flushed to the disk
// once, after the footer. bLogUpdate on empties the file first; off appends; a missing file is created.
// When an appended log does not end in a line end (a record cut short by a full disk), the new record is
// started on a new line: "\r\n" (or the missing "\n" after a lone "\r") goes before its header.
//
// Vask.Log is opened with Directory::OpenOwnFile: a symbolic link, a FIFO, a folder or another user's file of
// that name is never written (the delete command checks this before it disposes of anything).
//
// The delete command does not report a failure (an unwritable current folder, a full disk): the returned
// Status is for tests and diagnostics only. Writing stops at the first failed write, so a record is never
// continued after a gap; what was written before stays.
Status WriteDeletionLog(FileSystem& fileSystem, Clock& clock, const SearchState& state, bool bLogUpdate,
                        bool silent);

}  // namespace vask
