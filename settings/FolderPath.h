// Folder-path rules shared by the whole system: the normal form every stored folder setting and every
// folder the walker builds is compared in, and the default folders derived from the system.
#pragma once

#include <string>

#include "settings/CodePage.h"

namespace vask {

class Environment;

// How paths are written on a platform.
struct PathRules {
    CodePage codePage;
    char separator;
    bool caseInsensitive;  // file names ignore letter case, so folder paths are kept in lower case
};

inline constexpr PathRules kWindowsPathRules{CodePage::Cp932, '\\', true};
inline constexpr PathRules kLinuxPathRules{CodePage::Utf8, '/', false};

// The rules of the platform this build is for (chosen by the build, not by #ifdef).
const PathRules& SystemPathRules();

// In place: a non-empty path whose last character is not the separator gets one; then, where the platform
// ignores letter case, single-byte A-Z become a-z (double-byte characters untouched). An empty path stays
// empty; a path is never shortened.
void NormalizeFolderPath(std::string& path, const PathRules& rules = SystemPathRules());
// Convenience: the normalised copy.
std::string NormalizedFolderPath(std::string path, const PathRules& rules = SystemPathRules());

// True when both texts are equal byte for byte (both are expected in normal form).
bool PathEquals(const std::string& a, const std::string& b);

// The system folder that is avoid folder 1 by default ("/usr/" on Linux), normalised.
std::string GetWindowsFolder();
// $HOME/Backup/ and $HOME/BackupLzh/, normalised ("/Backup/" style when HOME is unset).
std::string GetDefaultBackupFolder(Environment& environment);
std::string GetDefaultLzhFolder(Environment& environment);
// $TMPDIR, else /tmp/, normalised.
std::string GetTempFolder(Environment& environment);
// $XDG_DATA_HOME/RecentDocuments/, else $HOME/.local/share/RecentDocuments/, normalised. Empty when neither
// variable gives an absolute path (the source is then empty).
std::string GetRecentFolder(Environment& environment);

}  // namespace vask
