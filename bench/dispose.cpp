// Disposal speed through the file-operation engine (no dialogs): 10,000 small files to the trash against
// trash-put (Debian trash-cli), and 100,000 files deleted permanently against rm -f, on the same kind of
// files in the same run.
//
// The permanent deletion runs a second time while another process writes heavily to the same volume (dd
// writing a file of LOAD_MB, default 1024, removed afterwards): a flush of a folder would then wait for that
// writer's dirty data.
//
// Usage: dispose [TRASH_COUNT [DELETE_COUNT [LOAD_MB]]]. Everything happens in a fresh folder under $TMPDIR
// (else /tmp); both trashes are homes of their own there, never the user's. Printed last, ours / theirs:
//   trash_ratio_vs_trash_put=<x>         (target at most 0.5)
//   delete_ratio_vs_rm=<x>               (target at most 1.5)
//   delete_ratio_vs_rm_under_load=<x>    (target at most 1.5)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/SmallFiles.h"
#include "disposal/FileOperation.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/disposal/AgreeingFileOperationUi.h"

namespace {

using Clock = std::chrono::steady_clock;

// count small files in a new folder (WriteSmallFiles); the items the search would have made of them.
std::vector<vask::FileOperationItem> MakeFiles(const std::string& folder, int count) {
    std::vector<vask::FileOperationItem> items;
    if (!vask::bench::WriteSmallFiles(folder, count, items)) {
        std::perror(folder.c_str());
        std::exit(1);
    }
    return items;
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs a shell command, returns its wall time or -1 when it failed.
double TimeShell(const std::string& command) {
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    return status == 0 ? Seconds(start) : -1;
}

std::size_t CountEntries(const std::string& folder) {
    std::string command = "find '" + folder + "' -type f | wc -l";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::size_t count = 0;
    if (pipe && std::fscanf(pipe, "%zu", &count) != 1) count = 0;
    if (pipe) ::pclose(pipe);
    return count;
}

// A heavy writer on the volume of `path`: dd writing megabytes of zeros without flushing, in the background,
// for as long as the measured command runs (bounded by its size). Stopped and its file removed by the
// destructor.
class BackgroundWriter {
  public:
    BackgroundWriter(const std::string& path, long megabytes) : path_(path) {
        pid_ = ::fork();
        if (pid_ == 0) {
            const std::string of = "of=" + path;
            const std::string count = "count=" + std::to_string(megabytes);
            ::execlp("dd", "dd", "if=/dev/zero", of.c_str(), "bs=1M", count.c_str(), "status=none",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Let dirty data pile up before the measured run starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    }
    ~BackgroundWriter() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::unlink(path_.c_str());
        ::sync();  // the next measurement starts without this writer's data in flight
    }
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  private:
    std::string path_;
    pid_t pid_ = -1;
};

// The writer's size: as asked, but at most a quarter of the free space of the volume.
long LoadMegabytes(const std::string& folder, long asked) {
    struct statvfs vfs;
    if (::statvfs(folder.c_str(), &vfs) != 0) return 0;
    const long quarter = static_cast<long>(vfs.f_bavail * vfs.f_frsize / (4u << 20));
    return asked < quarter ? asked : quarter;
}

}  // namespace

int main(int argc, char** argv) {
    const int trashCount = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int deleteCount = argc > 2 ? std::atoi(argv[2]) : 100000;
    const long loadMegabytes = argc > 3 ? std::atol(argv[3]) : 1024;
    std::string base = vask::bench::FreshBenchFolder("vask-dispose");
    if (base.empty()) return 1;
    base.pop_back();  // joined with "/name" below
    vask::AgreeingFileOperationUi ui;

    // Trash: ours through the engine into a home of its own, theirs with trash-put into another.
    vask::TrashContext context;
    context.homeTrash = base + "/home-ours/.local/share/Trash";
    context.userId = ::geteuid();
    ::mkdir((base + "/home-ours").c_str(), 0700);
    ::mkdir((base + "/home-ours/.local").c_str(), 0700);
    ::mkdir((base + "/home-ours/.local/share").c_str(), 0700);
    vask::PosixFileSystem fs(context);
    vask::FileOperationEngine engine(fs, ui);
    const auto ourItems = MakeFiles(base + "/trash-ours", trashCount);
    auto start = Clock::now();
    const auto trashed = engine.Run(vask::FileOperationKind::Trash, ourItems, "");
    const double oursTrash = Seconds(start);
    MakeFiles(base + "/trash-theirs", trashCount);
    const std::string home = base + "/home-theirs";
    ::mkdir(home.c_str(), 0700);
    const double theirsTrash =
        TimeShell("cd '" + base + "/trash-theirs' && HOME='" + home + "' XDG_DATA_HOME='" + home +
                  "/.local/share' find . -type f -print0 | HOME='" + home + "' XDG_DATA_HOME='" + home +
                  "/.local/share' xargs -0 trash-put");
    std::printf("trash: ours %zu files in %.3f s (%zu in our trash), trash-put %.3f s (%zu in its trash)\n",
                trashed.done, oursTrash, CountEntries(context.homeTrash + "/files"), theirsTrash,
                CountEntries(home + "/.local/share/Trash/files"));

    // Permanent deletion: ours through the engine, theirs rm -f with all paths through xargs.
    const auto deleteItems = MakeFiles(base + "/delete-ours", deleteCount);
    start = Clock::now();
    const auto deleted = engine.Run(vask::FileOperationKind::Delete, deleteItems, "");
    const double oursDelete = Seconds(start);
    MakeFiles(base + "/delete-theirs", deleteCount);
    const double theirsDelete =
        TimeShell("cd '" + base + "/delete-theirs' && find . -type f -print0 | xargs -0 rm -f");
    std::printf("delete: ours %zu files in %.3f s (%zu left), rm -f %.3f s (%zu left)\n", deleted.done,
                oursDelete, CountEntries(base + "/delete-ours"), theirsDelete,
                CountEntries(base + "/delete-theirs"));

    // The same deletion while dd writes to the same volume.
    const long load = LoadMegabytes(base, loadMegabytes);
    const auto loadedItems = MakeFiles(base + "/delete-ours-loaded", deleteCount);
    MakeFiles(base + "/delete-theirs-loaded", deleteCount);
    ::sync();
    double oursLoaded = 0;
    std::size_t loadedDone = 0;
    {
        BackgroundWriter writer(base + "/load-ours", load);
        start = Clock::now();
        loadedDone = engine.Run(vask::FileOperationKind::Delete, loadedItems, "").done;
        oursLoaded = Seconds(start);
    }
    double theirsLoaded = 0;
    {
        BackgroundWriter writer(base + "/load-theirs", load);
        theirsLoaded =
            TimeShell("cd '" + base + "/delete-theirs-loaded' && find . -type f -print0 | xargs -0 rm -f");
    }
    std::printf(
        "delete while dd writes %ld MB: ours %zu files in %.3f s (%zu left), rm -f %.3f s (%zu left)\n", load,
        loadedDone, oursLoaded, CountEntries(base + "/delete-ours-loaded"), theirsLoaded,
        CountEntries(base + "/delete-theirs-loaded"));

    if (std::system(("rm -rf '" + base + "'").c_str()) != 0) std::perror("rm");
    if (theirsTrash > 0) std::printf("trash_ratio_vs_trash_put=%.3f\n", oursTrash / theirsTrash);
    if (theirsDelete > 0) std::printf("delete_ratio_vs_rm=%.3f\n", oursDelete / theirsDelete);
    if (theirsLoaded > 0) std::printf("delete_ratio_vs_rm_under_load=%.3f\n", oursLoaded / theirsLoaded);
    return 0;
}
