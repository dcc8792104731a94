#include "platform/fakes/MemoryMainView.h"

namespace vask {

MemoryMainView::MemoryMainView() {
    enabled_[control::kDelete] = false;
    enabled_[control::kAbort] = false;
}

bool MemoryMainView::IsControlEnabled(int id) const {
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
}

void MemoryMainView::ClearDriveList() {
    drives.clear();
    driveItems.clear();
}

void MemoryMainView::InsertDriveItem(int index, const vask::DriveItem& item) {
    if (index < 0 || index > static_cast<int>(driveItems.size())) {
        ++outOfRangeCalls;
        return;
    }
    drives.insert(drives.begin() + index, MemoryDialogState::DriveItem{item.line, 0});
    driveItems.insert(driveItems.begin() + index, item);
}

vask::DriveItem MemoryMainView::DriveItemAt(int index) const {
    if (index < 0 || index >= static_cast<int>(driveItems.size())) {
        ++outOfRangeCalls;
        return vask::DriveItem{};
    }
    return driveItems[static_cast<std::size_t>(index)];
}

}  // namespace vask
