#include "disposal/CreateFolderPath.h"

#include <cerrno>
#include <memory>

#include "settings/FolderPath.h"

namespace vask {

Status CreateFolderPath(FileSystem& fileSystem, const std::string& folder) {
    const std::string path = NormalizedFolderPath(folder);
    if (path.empty() || path[0] != '/') return Status::Error(EINVAL, folder, "create folder");
    auto opened = fileSystem.OpenFolder("/");
    if (!opened) return opened.status();
    std::unique_ptr<Directory> current = std::move(opened.value());
    // Separators are searched as characters of the system code page, so a trail byte that has the value of
    // the separator (in a double-byte code page) never splits a name.
    const CodePage codePage = SystemPathRules().codePage;
    std::size_t start = 1;
    while (start < path.size()) {
        const std::size_t end = FindChar(codePage, path, SystemPathRules().separator, start);
        const std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        if (name == "." || name == "..") return Status::Error(EINVAL, folder, "create folder");
        auto next = current->OpenSubfolder(name);
        if (!next && next.status().code() == ENOENT) {
            const Status made = current->CreateSubfolder(name, 0777);  // the umask decides, as for any folder
            if (!made && made.code() != EEXIST) return made;
            next = current->OpenSubfolder(name);
        }
        if (!next) return next.status();
        current = std::move(next.value());
    }
    return Status::Ok();
}

}  // namespace vask
