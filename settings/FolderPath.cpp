#include "settings/FolderPath.h"

#include "platform/Environment.h"

namespace vask {

void NormalizeFolderPath(std::string& path, const PathRules& rules) {
    if (path.empty()) return;
    if (!EndsWithChar(rules.codePage, path, rules.separator)) path.push_back(rules.separator);
    // Lower-casing belongs to platforms whose file names ignore case; on a case-sensitive file system it
    // would make the walker miss every folder with a capital letter.
    if (rules.caseInsensitive) LowerAsciiLetters(rules.codePage, path);
}

std::string NormalizedFolderPath(std::string path, const PathRules& rules) {
    NormalizeFolderPath(path, rules);
    return path;
}

bool PathEquals(const std::string& a, const std::string& b) {
    return a == b;
}

namespace {

// An environment value that names an absolute folder, or nothing.
std::string AbsoluteFolderFrom(Environment& environment, const char* name) {
    const auto value = environment.Get(name);
    if (!value || value->empty() || (*value)[0] != '/') return std::string();
    return *value;
}

std::string HomeSubfolder(Environment& environment, const char* leaf) {
    std::string home = AbsoluteFolderFrom(environment, "HOME");
    NormalizeFolderPath(home);
    if (home.empty()) home = "/";
    return NormalizedFolderPath(home + leaf);
}

}  // namespace

std::string GetWindowsFolder() {
    return NormalizedFolderPath("/usr/");
}

std::string GetDefaultBackupFolder(Environment& environment) {
    return HomeSubfolder(environment, "Backup");
}

std::string GetDefaultLzhFolder(Environment& environment) {
    return HomeSubfolder(environment, "BackupLzh");
}

std::string GetTempFolder(Environment& environment) {
    std::string folder = AbsoluteFolderFrom(environment, "TMPDIR");
    if (folder.empty()) folder = "/tmp/";
    return NormalizedFolderPath(folder);
}

std::string GetRecentFolder(Environment& environment) {
    std::string dataHome = AbsoluteFolderFrom(environment, "XDG_DATA_HOME");
    if (dataHome.empty()) {
        std::string home = AbsoluteFolderFrom(environment, "HOME");
        if (home.empty()) return std::string();
        dataHome = NormalizedFolderPath(home) + ".local/share";
    }
    return NormalizedFolderPath(NormalizedFolderPath(dataHome) + "RecentDocuments");
}

}  // namespace vask
