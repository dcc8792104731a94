// The "元に戻す(&Z)" button of the options sheet's log page: undoes a whole disposal run from its journal
// (disposal/RunUndo.h). It names the newest run in a Yes/No question, lets the user pick an older one from
// a short list, runs the undo with a progress window and Cancel, and reports what came back and what
// stayed.
#pragma once

#include <string>

#include "platform/ArchiverLibrary.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

class QPushButton;

namespace vask {

class OptionSheetDialog;

// Adds the button to the log page, at the left, away from Reset. fileSystem, clock and archiver (which
// extracts the files of archive runs; may be null) must outlive dialog. The button is enabled while
// runsFolder holds a run that is offered for undoing (RunSummary::Offered; checked whenever the page is
// shown); settled runs are neither named nor listed.
QPushButton* AttachUndoRunButton(OptionSheetDialog& dialog, FileSystem& fileSystem, Clock& clock,
                                 std::string runsFolder, ArchiverLoader* archiver = nullptr);

}  // namespace vask
