// Search speed against GNU find (and bfs when installed), and the memory cost of results.
//
// Usage: search_vs_find [TREE_FOLDER]   (default: $TMPDIR or /tmp, subfolder vask-bench-tree)
// Generates 200,000 files in about 11,000 folders once (a fifth of them *.bak or *.tmp), then times, on a
// warm cache, the core search for "*.bak;*.tmp" with its writability tests and
//   find ROOT -xdev -type f ( -iname '*.bak' -o -iname '*.tmp' ) -writable
// The best of several runs of each is compared. The ratio is printed last as ratio_vs_find=<x>.
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
#include "search/ResultList.h"

namespace {

using Clock = std::chrono::steady_clock;

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
    const std::size_t findCount = CountLines(findCommand);
    std::size_t coreCount = 0;
    vask::bench::TimeCoreSearch(root, coreCount);  // warm the cache
    std::printf("matches: core=%zu find=%zu\n", coreCount, findCount);

    double bestCore = 1e9, bestFind = 1e9, bestBfs = 1e9;
    const bool haveBfs = std::system("command -v bfs > /dev/null 2>&1") == 0;
    const std::string bfsCommand =
        "bfs '" + root + "' -xdev -type f \\( -iname '*.bak' -o -iname '*.tmp' \\) -writable";
    for (int round = 0; round < 5; ++round) {
        std::size_t found = 0;
        bestCore = std::min(bestCore, vask::bench::TimeCoreSearch(root, found));
        const double find = TimeCommand(findCommand);
        if (find > 0) bestFind = std::min(bestFind, find);
        if (haveBfs) {
            const double bfs = TimeCommand(bfsCommand);
            if (bfs > 0) bestBfs = std::min(bestBfs, bfs);
        }
    }
    std::printf("core_search_seconds=%.4f\nfind_seconds=%.4f\n", bestCore, bestFind);
    if (haveBfs) std::printf("bfs_seconds=%.4f\nratio_vs_bfs=%.3f\n", bestBfs, bestCore / bestBfs);
    std::printf("ratio_vs_find=%.3f\n", bestCore / bestFind);
    return 0;
}
