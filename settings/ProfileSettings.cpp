#include "settings/ProfileSettings.h"

#include "settings/FolderPath.h"

namespace vask {

ProfileSettings DefaultProfileSettings(Environment& environment) {
    ProfileSettings settings;
    settings.strFolderEdit = GetDefaultBackupFolder(environment);
    settings.strUnlhaEdit = GetDefaultLzhFolder(environment);
    settings.strOutFolderEdit[0] = GetWindowsFolder();
    return settings;
}

std::string OutFolderValueName(std::size_t index) {
    return "strOutFolderEdit" + std::to_string(index);
}

std::string AllFolderValueName(std::size_t index) {
    return "strAllFolderEdit" + std::to_string(index);
}

}  // namespace vask
