// Which folder names the options sheet lets the user enter: the folders of the move and compress methods
// (CheckDisposalFolder), the avoid and all-files-delete folders (CheckListFolder), the duplicate test of a
// folder list, and the folder a browse starts from.
//
// A drive is a mounted volume here. The "drive type" of a folder is the type (ClassifyVolume) of the volume
// that holds its longest existing ancestor: the listed mount point on the way to that ancestor with the same
// device, the longest one. Removable, fixed and RAM disks are accepted; remote, CD-ROM and unknown (no
// listed volume, as for /proc) are refused, as is a text without a drive (not absolute).
//
// The walk to the folder opens one component after the other and never follows a symbolic link, as the
// search does; so a text that passes through a link, or that holds ".", ".." or an empty component, names
// a folder the search can never reach under that name, and is refused; so is a name too long for the file
// system. A component on a remote or CD-ROM
// volume is not even looked at: a hung network mount must not hang the sheet.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "settings/ProfileSettings.h"

namespace vask {

class FileSystem;
class Prompter;
class VolumeSource;

inline constexpr const char* kFolderNotAllowedMessage = "このﾌｫﾙﾀﾞ名は入力できません。";
inline constexpr const char* kFolderMissingMessage = "このﾌｫﾙﾀﾞは存在しません。";
inline constexpr const char* kNotAFolderMessage = "これはﾌｫﾙﾀﾞではありません。";
inline constexpr const char* kDuplicateFolderMessage = "ﾌｫﾙﾀﾞ名が重複しています。";

enum class FolderVerdict {
    Accepted,
    NotAllowed,  // kFolderNotAllowedMessage
    Missing,     // kFolderMissingMessage
    NotAFolder,  // kNotAFolderMessage
};

// The message of a refusal; nullptr for Accepted.
const char* FolderVerdictMessage(FolderVerdict verdict);

// The folder rules over the file-system and volumes ports, which must outlive it. Nothing is changed on
// disk; each call reads the mount table once.
class FolderRules {
  public:
    FolderRules(FileSystem& fileSystem, VolumeSource& volumes);

    // Move and compress folders. Refused (NotAllowed): empty, relative, unusable as above, on a volume of a
    // refused type, or missing below a place where removable volumes are mounted (/media/, /media/USER/,
    // /run/media/USER/, /mnt/) that is no mount point now: that volume is not mounted, and the folder would
    // be made on the system disk instead. A missing folder elsewhere on an accepted volume is accepted (the
    // delete command offers to create it).
    FolderVerdict DisposalFolder(const std::string& text);

    // Avoid and all-files-delete folders. Empty: Accepted. NotAllowed as above, and for "/" or any mount
    // point (a whole drive can be neither avoided nor emptied). Then Missing, NotAFolder or Accepted as the
    // walk finds the folder. Nothing is cut from the text but one final "/".
    FolderVerdict ListFolder(const std::string& text);

  private:
    FileSystem& fileSystem_;
    VolumeSource& volumes_;
};

// Refused (true) or accepted (false); a refusal shows its message (exclamation icon, OK).
bool CheckDisposalFolder(FolderRules& rules, Prompter& prompter, const std::string& text);
bool CheckListFolder(FolderRules& rules, Prompter& prompter, const std::string& text);

// The later index m of the first pair k < m of non-empty entries with equal texts (byte for byte, as
// typed), in the order k = 0..7, m = k+1..7; -1 when there is none.
int FindDuplicateFolder(const std::array<std::string, kFolderListSize>& entries);

// Where a folder browse starts: "/" stays "/", a text ending in "/" loses that last "/", any other text
// is returned as it is.
std::string GetBrowseStartFolder(const std::string& text);

}  // namespace vask
