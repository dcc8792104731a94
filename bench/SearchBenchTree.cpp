#include "bench/SearchBenchTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
#include "search/FolderWalker.h"

namespace vask::bench {

namespace {

constexpr int kTopFolders = 20;
constexpr int kMidFolders = 25;
constexpr int kLeafFolders = 21;  // 20 × (1 + 25 × (1 + 21)) = 11,020 folders
constexpr int kFiles = 200000;

class NullHost : public vask::WalkerHost {
  public:
    void PumpMessages() override {}
    void ShowStatusText(const std::string&) override {}
};

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void WriteFile(const std::string& path, int size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::string bytes(static_cast<std::size_t>(size), 'v');
    if (::write(fd, bytes.data(), bytes.size()) < 0) std::perror(path.c_str());
    ::close(fd);
}

void Generate(const std::string& root) {
    std::vector<std::string> folders;
    ::mkdir(root.c_str(), 0755);
    for (int t = 0; t < kTopFolders; ++t) {
        const std::string top = root + "Top" + std::to_string(t) + "/";
        ::mkdir(top.c_str(), 0755);
        folders.push_back(top);
        for (int m = 0; m < kMidFolders; ++m) {
            const std::string mid = top + "mid" + std::to_string(m) + "/";
            ::mkdir(mid.c_str(), 0755);
            folders.push_back(mid);
            for (int l = 0; l < kLeafFolders; ++l) {
                const std::string leaf = mid + "Leaf" + std::to_string(l) + "/";
                ::mkdir(leaf.c_str(), 0755);
                folders.push_back(leaf);
            }
        }
    }
    const char* extensions[] = {".txt", ".c", ".h", ".o", ".dat", ".bak", ".cpp", ".log", ".TMP", ".md"};
    for (int i = 0; i < kFiles; ++i) {
        const std::string& folder = folders[static_cast<std::size_t>(i) % folders.size()];
        WriteFile(folder + "file" + std::to_string(i) + extensions[i % 10], i % 4096);
    }
    WriteFile(root + ".complete", 0);
}

}  // namespace

std::string PrepareSearchTree(const std::string& baseFolder) {
    std::string base = baseFolder;
    if (base.empty()) base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    if (base.back() != '/') base += '/';
    const std::string root = base + "vask-bench-tree/";
    if (!Exists(root + ".complete")) {
        std::printf("generating %d files in %d folders under %s ...\n", kFiles,
                    kTopFolders * (1 + kMidFolders * (1 + kLeafFolders)), root.c_str());
        if (std::system(("rm -rf '" + root + "'").c_str()) != 0) std::perror("rm");
        Generate(root);
    }
    return root;
}

double TimeCoreSearch(const std::string& root, std::size_t& found, bool readAhead) {
    vask::PosixFileSystem fs;
    vask::SystemClock clock;
    NullHost host;
    vask::SearchState state;
    state.listPattern = {"*.bak", "*.tmp"};
    vask::FolderWalker walker(fs, clock, host, state, vask::WalkerSettings{});
    walker.SetReadAhead(readAhead);
    const auto start = std::chrono::steady_clock::now();
    walker.WalkFolder(root);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    found = state.results.Size();
    return seconds;
}

}  // namespace vask::bench
