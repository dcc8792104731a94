// What the disposal benchmarks make before they measure: a fresh folder, and small files in it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"

namespace vask::bench {

// A new folder "$TMPDIR/<name>-XXXXXX" (/tmp when TMPDIR is not an absolute path), with its trailing "/";
// empty when it cannot be made.
inline std::string FreshBenchFolder(const std::string& name) {
    const char* base = std::getenv("TMPDIR");
    std::string folder = std::string(base && base[0] == '/' ? base : "/tmp") + "/" + name + "-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) return std::string();
    return folder + "/";
}

// COUNT files of 120 bytes under FOLDER/d<n>/ (1,000 per folder), each appended to items as a search lists
// it (path, size, identity). Returns false when a file cannot be written.
inline bool WriteSmallFiles(const std::string& folder, int count, std::vector<FileOperationItem>& items) {
    ::mkdir(folder.c_str(), 0755);
    const std::string content(120, 'x');
    for (int i = 0; i < count; ++i) {
        const std::string sub = folder + "/d" + std::to_string(i / 1000);
        if (i % 1000 == 0) ::mkdir(sub.c_str(), 0755);
        const std::string path = sub + "/f" + std::to_string(i) + ".tmp";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, content.data(), content.size()) < 0) return false;
        ::close(fd);
        struct stat st;
        ::lstat(path.c_str(), &st);
        items.push_back(FileOperationItem{
            path, static_cast<std::uint64_t>(st.st_size),
            FileIdentity{st.st_dev, st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec}});
    }
    return true;
}

}  // namespace vask::bench
