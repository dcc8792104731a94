// An in-memory main window for tests of the command flows: the dialog contents of MemoryDialogState plus
// control states, focus, status line, search clip, drive items and result selection, all public.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/core/MainView.h"
#include "platform/fakes/MemoryDialogState.h"

namespace vask {

class MemoryMainView : public MainView, public MemoryDialogState {
  public:
    // Controls start enabled, but Delete and Abort (as the window starts).
    MemoryMainView();

    void SetControlEnabled(int id, bool enabled) override { enabled_[id] = enabled; }
    bool IsControlEnabled(int id) const override;
    void SetFocusTo(int id) override { focus = id; }

    void ShowStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    std::string StatusText() const override { return status; }
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump();
    }

    void PlaySearchClip() override { clipPlaying = true; }
    void StopSearchClip() override { clipPlaying = false; }

    void ClearDriveList() override;
    void InsertDriveItem(int index, const vask::DriveItem& item) override;
    vask::DriveItem DriveItemAt(int index) const override;

    void ResultsChanged() override { ++resultsChangedCalls; }
    int SelectedResultIndex() const override { return selectedResult; }
    void ClearResultSelection() override { selectedResult = -1; }

    int focus = 0;
    std::string status;
    std::vector<std::string> statusHistory;
    int pumps = 0;
    std::function<void()> onPump;
    bool clipPlaying = false;
    std::vector<vask::DriveItem> driveItems;  // parallel to MemoryDialogState::drives
    int resultsChangedCalls = 0;
    int selectedResult = -1;

  private:
    std::map<int, bool> enabled_;
};

}  // namespace vask
