// Trash speed: our freedesktop.org trash against trash-put (Debian trash-cli) on the same kind of files.
//
// Usage: dispose_trash [COUNT [ROUNDS]]   (default 10,000 files, 3 rounds)
// In a fresh folder under $TMPDIR (else /tmp) each round makes COUNT small files for each side, then times
//   - FreedesktopTrash::Trash on each of ours, one session, with the final Flush, into a home trash of its
//   own;
//   - one trash-put with all of theirs as arguments, HOME and XDG_DATA_HOME pointed at another fresh home.
// Both trashes are then checked to hold COUNT entries with COUNT info files. The best round of each side is
// compared (other work on the machine delays fsync, which only our side does), and the ratio (ours / theirs,
// target at most 0.5) is printed last as trash_ratio_vs_trash_put=<x>.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/FreedesktopTrash.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

bool MakeFiles(const std::string& folder, const std::string& prefix, int count) {
    if (::mkdir(folder.c_str(), 0755) != 0) return false;
    const std::string content(120, 'x');
    for (int i = 0; i < count; ++i) {
        const std::string path = folder + "/" + prefix + std::to_string(i) + ".tmp";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const bool wrote =
            ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        ::close(fd);
        if (!wrote) return false;
    }
    return true;
}

std::size_t CountEntries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return 0;
    std::size_t count = 0;
    while (const struct dirent* entry = ::readdir(dir))
        count += entry->d_name[0] != '.';
    ::closedir(dir);
    return count;
}

double TimeOurs(const std::string& root, int count) {
    vask::TrashContext context;
    context.homeTrash = root + "/home-ours/.local/share/Trash";
    context.userId = ::geteuid();
    const std::string folder = root + "/ours";
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    const auto start = Clock::now();
    {
        vask::FreedesktopTrash trash(context);
        for (int i = 0; i < count; ++i) {
            const std::string name = "ours" + std::to_string(i) + ".tmp";
            const vask::Status status = trash.Trash(fd, name, folder + "/" + name);
            if (!status) {
                std::fprintf(stderr, "ours: %s\n", status.ToString().c_str());
                return -1;
            }
        }
        const vask::Status flushed = trash.Flush();
        if (!flushed) {
            std::fprintf(stderr, "ours: %s\n", flushed.ToString().c_str());
            return -1;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return seconds;
}

double TimeTrashPut(const std::string& root, int count) {
    std::vector<std::string> arguments = {"trash-put"};
    for (int i = 0; i < count; ++i)
        arguments.push_back(root + "/theirs/theirs" + std::to_string(i) + ".tmp");
    std::vector<std::string> variables = {"HOME=" + root + "/home-theirs",
                                          "XDG_DATA_HOME=" + root + "/home-theirs/.local/share"};
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        if (!text.starts_with("HOME=") && !text.starts_with("XDG_DATA_HOME=")) variables.push_back(text);
    }
    std::vector<char*> argv, envp;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    const auto start = Clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "trash-put", nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Holds(const std::string& trash, int count) {
    const std::size_t files = CountEntries(trash + "/files"), infos = CountEntries(trash + "/info");
    if (files == static_cast<std::size_t>(count) && infos == files) return true;
    std::fprintf(stderr, "%s: %zu files, %zu info files, expected %d\n", trash.c_str(), files, infos, count);
    return false;
}

// One round: fresh files and fresh homes for both sides under root/round<n>; false when anything failed.
bool Round(const std::string& root, int count, double& ours, double& theirs) {
    if (::mkdir(root.c_str(), 0755) != 0 || !MakeFiles(root + "/ours", "ours", count) ||
        !MakeFiles(root + "/theirs", "theirs", count)) {
        std::fprintf(stderr, "could not create the files under %s\n", root.c_str());
        return false;
    }
    ::sync();  // both sides start without the other's writes pending
    theirs = TimeTrashPut(root, count);
    if (theirs <= 0) {
        std::fprintf(stderr, "trash-put failed or is missing (Debian package trash-cli)\n");
        return false;
    }
    ::sync();
    ours = TimeOurs(root, count);
    return ours > 0 && Holds(root + "/home-ours/.local/share/Trash", count) &&
           Holds(root + "/home-theirs/.local/share/Trash", count);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const char* base = std::getenv("TMPDIR");
    std::string root = std::string(base && base[0] == '/' ? base : "/tmp") + "/vask-bench-trash-XXXXXX";
    if (count <= 0 || rounds <= 0 || ::mkdtemp(root.data()) == nullptr) {
        std::fprintf(stderr, "usage: dispose_trash [COUNT [ROUNDS]]; a temporary folder is needed\n");
        return 2;
    }
    double bestOurs = 0, bestTheirs = 0;
    bool ok = true;
    for (int round = 0; ok && round < rounds; ++round) {
        double ours = 0, theirs = 0;
        ok = Round(root + "/round" + std::to_string(round), count, ours, theirs);
        if (!ok) break;
        std::printf("round %d: ours %.3f s, trash-put %.3f s\n", round + 1, ours, theirs);
        if (round == 0 || ours < bestOurs) bestOurs = ours;
        if (round == 0 || theirs < bestTheirs) bestTheirs = theirs;
    }
    if (ok) {
        std::printf("files=%d rounds=%d (best of each side)\n", count, rounds);
        std::printf("trash_seconds_ours=%.3f (%.1f us per file)\n", bestOurs, bestOurs * 1e6 / count);
        std::printf("trash_seconds_trash_put=%.3f (%.1f us per file)\n", bestTheirs,
                    bestTheirs * 1e6 / count);
        std::printf("trash_ratio_vs_trash_put=%.3f\n", bestOurs / bestTheirs);
    }
    const std::string command = "rm -rf '" + root + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", root.c_str());
    return ok ? 0 : 1;
}
