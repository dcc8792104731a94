// A temporary folder for tests on the real file system, removed with everything in it afterwards.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vask::testing {

class TempTree {
  public:
    TempTree() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && base[0] == '/' ? base : "/tmp") + "/vask-test-XXXXXX";
        char* made = ::mkdtemp(pattern.data());
        root_ = made ? std::string(made) + "/" : std::string();
    }
    ~TempTree() {
        if (!root_.empty()) {
            // Make every folder writable again so a test's chmod cannot leave litter behind.
            std::string command = "chmod -R u+rwx '" + root_ + "' 2>/dev/null; rm -rf '" + root_ + "'";
            if (std::system(command.c_str()) != 0) {
                // Nothing more to do in a destructor; the folder name says what it was.
            }
        }
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + relative; }

    // Creates the file (and its folders) with the given bytes.
    bool File(const std::string& relative, const std::string& bytes = "x", mode_t mode = 0644) const {
        MakeParents(relative);
        const int fd = ::open(Path(relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
        if (fd < 0) return false;
        const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        ::close(fd);
        ::chmod(Path(relative).c_str(), mode);
        return ok;
    }
    bool Folder(const std::string& relative, mode_t mode = 0755) const {
        MakeParents(relative + "/");
        return ::mkdir(Path(relative).c_str(), mode) == 0 || errno == EEXIST;
    }
    bool Symlink(const std::string& target, const std::string& relative) const {
        MakeParents(relative);
        return ::symlink(target.c_str(), Path(relative).c_str()) == 0;
    }

  private:
    void MakeParents(const std::string& relative) const {
        for (std::size_t slash = relative.find('/'); slash != std::string::npos;
             slash = relative.find('/', slash + 1)) {
            ::mkdir(Path(relative.substr(0, slash)).c_str(), 0755);
        }
    }

    std::string root_;
};

}  // namespace vask::testing
