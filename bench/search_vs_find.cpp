// Search speed against GNU find (and bfs when installed), and the memory cost of results.
//
// Usage: search_vs_find [TREE_FOLDER]   (default: $TMPDIR or /tmp, subfolder vask-bench-tree)
// Generates 200,000 files in about 11,000 folders once (a fifth of them *.bak or *.tmp), checks that the
// walker finds exactly what the plain one-call-at-a-time walk finds, then times the core search for
// "*.bak;*.tmp" with its writability tests (also on the plain calls without io_uring, and with one thread),
//   find ROOT -xdev -type f ( -iname '*.bak' -o -iname '*.tmp' ) -writable
// and bfs with the same expression, the best of several runs each: on a warm cache (ratio_vs_bfs) and, as
// root, with the caches dropped before each timed run (ratio_vs_bfs_cold). ratio_vs_find is printed last.
// Exits 1 when the results differ from the plain walk's.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/SearchBenchTree.h"
#include "platform/linux/KernelBatch.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
#include "search/FolderWalker.h"
#include "search/ResultList.h"
#include "tests/support/ReferenceWalker.h"

namespace {

using Clock = std::chrono::steady_clock;

class NullHost : public vask::WalkerHost {
  public:
    void PumpMessages() override {}
    void ShowStatusText(const std::string&) override {}
};

// Runs a shell command with its output thrown away and returns the wall time, or -1 when it failed.
double TimeCommand(const std::string& command) {
    const auto start = Clock::now();
    const int status = std::system((command + " > /dev/null").c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return (status == 0) ? seconds : -1;
}

std::size_t CountLines(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return 0;
    std::size_t lines = 0;
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        lines += c == '\n';
    ::pclose(pipe);
    return lines;
}

// Bytes in use on the heap, mmapped blocks included (large blocks are not counted in uordblks).
std::size_t HeapBytes() {
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

void MeasureResultMemory() {
    constexpr std::size_t kCount = 1000000;
    const std::size_t before = HeapBytes();
    std::size_t pathBytes = 0;
    {
        vask::ResultList results;
        std::string path = "/home/user/projects/some/deeper/folder/structure/file";
        for (std::size_t i = 0; i < kCount; ++i) {
            std::string p = path + std::to_string(i) + ".bak";
            pathBytes += p.size();
            results.Append(p, i, vask::FileIdentity{1, i, 0});
        }
        const std::size_t after = HeapBytes();
        const double perResult =
            (static_cast<double>(after - before) - static_cast<double>(pathBytes)) / kCount;
        std::printf("results=%zu path_bytes=%zu heap_bytes=%zu\n", kCount, pathBytes, after - before);
        std::printf("result_bytes_beyond_path=%.1f (target <= 64)\n", perResult);
    }
}

// True when the walker's results on root equal the plain walk's: same paths in the same order, same sizes and
// identities.
bool SameAsPlainWalk(const std::string& root) {
    vask::PosixFileSystem fs;
    vask::SystemClock clock;
    NullHost host;
    vask::SearchState fast;
    vask::SearchState plain;
    fast.listPattern = plain.listPattern = {"*.bak", "*.tmp"};
    vask::FolderWalker walker(fs, clock, host, fast, vask::WalkerSettings{});
    walker.WalkFolder(root);
    vask::testing::ReferenceWalk(fs, vask::WalkerSettings{}, plain, root);
    if (fast.results.Size() != plain.results.Size()) return false;
    for (std::size_t i = 0; i < fast.results.Size(); ++i) {
        if (fast.results[i].Path() != plain.results[i].Path() ||
            fast.results[i].size != plain.results[i].size ||
            !(fast.results[i].identity == plain.results[i].identity))
            return false;
    }
    return true;
}

bool DropCaches() {
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, "3\n", 2) == 2;
    ::close(fd);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string root = vask::bench::PrepareSearchTree(argc > 1 ? argv[1] : "");

    if (std::getenv("VASK_BENCH_CORE_ONLY")) {  // for strace and perf: one core search, nothing else
        std::size_t found = 0;
        const double seconds = vask::bench::TimeCoreSearch(root, found);
        std::printf("core_search_seconds=%.4f found=%zu\n", seconds, found);
        return 0;
    }
    MeasureResultMemory();

    const std::string findCommand =
        "find '" + root + "' -xdev -type f \\( -iname '*.bak' -o -iname '*.tmp' \\) -writable";
    const std::string bfsCommand =
        "bfs '" + root + "' -xdev -type f \\( -iname '*.bak' -o -iname '*.tmp' \\) -writable";
    const bool haveBfs = std::system("command -v bfs > /dev/null 2>&1") == 0;
    const std::size_t findCount = CountLines(findCommand);
    std::size_t coreCount = 0;
    vask::bench::TimeCoreSearch(root, coreCount);  // warm the cache
    std::printf("matches: core=%zu find=%zu\n", coreCount, findCount);
    const bool same = SameAsPlainWalk(root);
    std::printf("same_results_as_plain_walk=%s\n", same ? "yes" : "NO");

    // Warm cache: the best of several runs of each, interleaved so that a busy moment hits all alike.
    double bestCore = 1e9, bestPlain = 1e9, bestOneThread = 1e9, bestFind = 1e9, bestBfs = 1e9;
    for (int round = 0; round < 7; ++round) {
        std::size_t found = 0;
        bestCore = std::min(bestCore, vask::bench::TimeCoreSearch(root, found));
        vask::SetKernelBatching(false);
        bestPlain = std::min(bestPlain, vask::bench::TimeCoreSearch(root, found));
        vask::SetKernelBatching(true);
        bestOneThread = std::min(bestOneThread, vask::bench::TimeCoreSearch(root, found, false));
        const double find = TimeCommand(findCommand);
        if (find > 0) bestFind = std::min(bestFind, find);
        if (haveBfs) {
            const double bfs = TimeCommand(bfsCommand);
            if (bfs > 0) bestBfs = std::min(bestBfs, bfs);
        }
    }
    std::printf("io_uring=%s\n", vask::KernelBatchingAvailable() ? "available" : "unavailable");
    std::printf("core_search_seconds=%.4f\ncore_plain_calls_seconds=%.4f\ncore_one_thread_seconds=%.4f\n",
                bestCore, bestPlain, bestOneThread);
    std::printf("find_seconds=%.4f\n", bestFind);
    if (haveBfs) {
        std::printf("bfs_seconds=%.4f\nratio_plain_calls_vs_bfs=%.3f\n", bestBfs, bestPlain / bestBfs);
        std::printf("ratio_vs_bfs=%.3f\n", bestCore / bestBfs);
    } else {
        std::printf("bfs not installed: no ratio_vs_bfs\n");
    }

    // Cold cache: every timed run starts after the kernel dropped its caches (root only).
    if (haveBfs && ::geteuid() == 0 && DropCaches()) {
        double coldCore = 1e9, coldPlain = 1e9, coldBfs = 1e9;
        for (int round = 0; round < 3; ++round) {
            std::size_t found = 0;
            DropCaches();
            coldCore = std::min(coldCore, vask::bench::TimeCoreSearch(root, found));
            DropCaches();
            vask::SetKernelBatching(false);
            coldPlain = std::min(coldPlain, vask::bench::TimeCoreSearch(root, found));
            vask::SetKernelBatching(true);
            DropCaches();
            const double bfs = TimeCommand(bfsCommand);
            if (bfs > 0) coldBfs = std::min(coldBfs, bfs);
        }
        std::printf("core_cold_seconds=%.4f\ncore_plain_calls_cold_seconds=%.4f\nbfs_cold_seconds=%.4f\n",
                    coldCore, coldPlain, coldBfs);
        std::printf("ratio_plain_calls_vs_bfs_cold=%.3f\nratio_vs_bfs_cold=%.3f\n", coldPlain / coldBfs,
                    coldCore / coldBfs);
    } else {
        std::printf("cold cache not measured: needs root and bfs\n");
    }
    std::printf("ratio_vs_find=%.3f\n", bestCore / bestFind);
    return same ? 0 : 1;
}
