// An in-memory holder of the main dialog's contents, for tests of the settings store and of the command
// flows. Its fields are public so that a test sets up and inspects the "controls" directly.
#pragma once

#include <string>
#include <vector>

#include "settings/DialogStateHolder.h"

namespace vask {

class MemoryDialogState : public virtual DialogStateHolder {
  public:
    struct DriveItem {
        std::string text;
        int checkState = 0;
    };

    std::string patternText;
    std::vector<std::string> patternItems;
    std::vector<DriveItem> drives;
    int lastDateCheck = 0;
    std::string lastDateText;
    // Calls with an index outside the list. The real controls ignore them; a test asserts that none happen.
    mutable int outOfRangeCalls = 0;

    // Replaces the drive list with these lines, all unticked (what filling the list does).
    void SetDriveLines(const std::vector<std::string>& lines);
    std::vector<int> DriveCheckStates() const;

    std::string PatternText() const override { return patternText; }
    void SetPatternText(const std::string& text) override { patternText = text; }
    void ClearPatternList() override { patternItems.clear(); }
    void InsertPatternItem(int index, const std::string& text) override;
    int PatternItemCount() const override { return static_cast<int>(patternItems.size()); }
    std::string PatternItemText(int index) const override;

    int DriveItemCount() const override { return static_cast<int>(drives.size()); }
    std::string DriveItemText(int index) const override;
    int DriveCheckState(int index) const override;
    void SetDriveCheckState(int index, int state) override;

    int LastDateCheck() const override { return lastDateCheck; }
    void SetLastDateCheck(int state) override { lastDateCheck = state; }
    std::string LastDateText() const override { return lastDateText; }
    void SetLastDateText(const std::string& text) override { lastDateText = text; }

  private:
    bool InRange(int index, std::size_t size) const;
};

}  // namespace vask
