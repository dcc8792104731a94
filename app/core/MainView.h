// What the core flows of the main window need of the window: its controls by identifier, the drive list, the
// result list, the status line, the search clip and the focus. The Qt window implements it over its widgets
// and does nothing else; core tests use platform/fakes/MemoryMainView.h.
//
// Everything runs on the user-interface thread. Texts are UTF-8.
#pragma once

#include <string>

#include "disposal/DisposalView.h"
#include "search/DriveListView.h"

namespace vask {

class MainView : public DriveListView, public DisposalView {
  public:
    // Controls by identifier (control::k...); SetControlEnabled and SetFocusTo come from DisposalView.
    virtual bool IsControlEnabled(int id) const = 0;

    // Status line 1021. ShowStatusText (WalkerHost) replaces its text and repaints it at once.
    virtual std::string StatusText() const = 0;

    // Search clip 1036: play from the first frame, repeating; stop back on the first frame.
    virtual void PlaySearchClip() = 0;
    virtual void StopSearchClip() = 0;

    // Result list 1020 shows SearchState::results, which the view was given when it was made. The core tells
    // it when the list was emptied or has grown (ResultsChanged, from DisposalView); during a walk the view
    // may also bring itself up to date in PumpMessages, keeping the newest result in view. The selected
    // result (the row last clicked), or -1 when none is selected.
    virtual int SelectedResultIndex() const = 0;
    virtual void ClearResultSelection() = 0;
};

}  // namespace vask
