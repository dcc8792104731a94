// What the drive list needs of the main window: its items, and their texts and ticks (DialogStateHolder).
// Everything runs on the user-interface thread. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "settings/DialogStateHolder.h"

namespace vask {

// Drive types of a drive line (its last 8 digits).
enum DriveType : std::uint32_t {
    kDriveUnknown = 0,
    kDriveNoRoot = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// One item of the drive list.
struct DriveItem {
    std::string line;        // the drive line; its last 16 characters are serial and type
    std::string mountPoint;  // the volume's mount point, ending in "/"; never parsed out of the line
    DriveType type = kDriveUnknown;
    bool enabled = true;  // false: greyed, cannot be ticked
};

class DriveListView : public virtual DialogStateHolder {
  public:
    // Drive list 1002 (texts and ticks through DialogStateHolder).
    virtual void ClearDriveList() = 0;
    // Inserts before index (index == count appends), unticked.
    virtual void InsertDriveItem(int index, const DriveItem& item) = 0;
    virtual DriveItem DriveItemAt(int index) const = 0;
};

}  // namespace vask
