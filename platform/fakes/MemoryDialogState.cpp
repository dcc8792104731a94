#include "platform/fakes/MemoryDialogState.h"

namespace vask {

void MemoryDialogState::SetDriveLines(const std::vector<std::string>& lines) {
    drives.clear();
    for (const auto& line : lines)
        drives.push_back(DriveItem{line, 0});
}

std::vector<int> MemoryDialogState::DriveCheckStates() const {
    std::vector<int> states;
    for (const auto& drive : drives)
        states.push_back(drive.checkState);
    return states;
}

// Counted rather than asserted: the fake must not bring a test run down, and the count makes the misuse
// visible to the test that caused it.
bool MemoryDialogState::InRange(int index, std::size_t size) const {
    if (index >= 0 && static_cast<std::size_t>(index) < size) return true;
    ++outOfRangeCalls;
    return false;
}

void MemoryDialogState::InsertPatternItem(int index, const std::string& text) {
    // Insertion at the end is allowed, like the combo box's.
    if (!InRange(index, patternItems.size() + 1)) return;
    patternItems.insert(patternItems.begin() + index, text);
}

std::string MemoryDialogState::PatternItemText(int index) const {
    return InRange(index, patternItems.size()) ? patternItems[static_cast<std::size_t>(index)]
                                               : std::string();
}

std::string MemoryDialogState::DriveItemText(int index) const {
    return InRange(index, drives.size()) ? drives[static_cast<std::size_t>(index)].text : std::string();
}

int MemoryDialogState::DriveCheckState(int index) const {
    return InRange(index, drives.size()) ? drives[static_cast<std::size_t>(index)].checkState : 0;
}

void MemoryDialogState::SetDriveCheckState(int index, int state) {
    if (InRange(index, drives.size())) drives[static_cast<std::size_t>(index)].checkState = state;
}

}  // namespace vask
