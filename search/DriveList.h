// The drive list of the main window: one line per mounted volume, its type, and the texts it shows.
//
// A drive line is "      %s %s %s" + 50 spaces + "%08x%08x" with the mount point, the label text, the
// capacity text, the serial number and the drive type. The 50 spaces push the identity (serial and type,
// always the last 16 characters) out of the visible width; the saved drive ticks are matched by it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Volumes.h"
#include "search/DriveListView.h"

namespace vask {

// CD-ROM 5 (iso9660, udf), remote 4 (nfs, cifs, sshfs …, also as fuse.<name>), RAM disk 6 (tmpfs, ramfs);
// otherwise removable 2 when the disk says so or the mount point lies below /media/ or /run/media/; fixed 3
// for local storage file systems; unknown 0 for everything else.
DriveType ClassifyVolume(const MountedVolume& volume);

// Removable, fixed and RAM disks can be ticked; every other type is listed greyed.
bool IsDriveTickable(DriveType type);

// "[label]", "[ ]" when the volume has no label, "" when it cannot be read.
std::string FormatVolumeLabel(VolumeSource& volumes, const MountedVolume& volume);
// The volume's serial number; 0 when it cannot be read, so such a volume keeps the same identity.
std::uint32_t GetVolumeSerial(VolumeSource& volumes, const MountedVolume& volume);
// The total capacity as size text ("12.3GBytes"), "" when it cannot be read.
std::string FormatDriveCapacity(VolumeSource& volumes, const MountedVolume& volume);

std::string FormatDriveLine(std::string_view mountPoint, std::string_view labelText,
                            std::string_view capacityText, std::uint32_t serial, DriveType type);

// Empties the drive list and lists every volume of the source in its order, unticked; with bFixed only the
// fixed ones. Label, serial and capacity are read in this order, once per listed volume. A volume that
// cannot be read is still listed, with empty label and capacity texts.
void FillDriveList(DriveListView& view, VolumeSource& volumes, bool bFixed);

}  // namespace vask
