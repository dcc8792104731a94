// Archive undo speed: COUNT small files in folders of 1,000 packed into an archive with the run journal by
// the real libunlha32.so (as the delete command packs them), then the run undone from that journal; the
// undo's wall time against the packing's, in the same run.
//
// Usage: undo_archive [COUNT] (10,000 by default). Everything happens in a fresh folder under $TMPDIR (else
// /tmp), which is also the current folder and the archiver's lock folder. Printed last:
//   undo_vs_pack=<x>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/SmallFiles.h"
#include "disposal/Compression.h"
#include "disposal/RunJournalWriter.h"
#include "disposal/RunUndo.h"
#include "platform/linux/DlopenArchiverLoader.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
#include "tests/disposal/AgreeingFileOperationUi.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class SilentPrompter : public vask::Prompter {
  public:
    vask::PromptAnswer Ask(const vask::Prompt& prompt) override {
        std::fprintf(stderr, "%s\n", prompt.text.c_str());
        return vask::PromptAnswer::Ok;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string root = vask::bench::FreshBenchFolder("vask-undo-bench");
    if (root.empty()) return 1;
    if (::chdir(root.c_str()) != 0) return 1;
    ::setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    const std::string data = root + "data";
    ::mkdir((root + "lzh").c_str(), 0755);
    std::vector<vask::FileOperationItem> items;
    if (!vask::bench::WriteSmallFiles(data, count, items)) return 1;
    vask::SearchState state;
    for (const vask::FileOperationItem& item : items)
        state.results.Append(item.path, item.size, item.identity);
    ::sync();

    vask::PosixFileSystem fs;
    vask::SystemClock clock;
    vask::DlopenArchiverLoader loader;
    SilentPrompter prompter;
    vask::AgreeingFileOperationUi ui;
    const std::string runs = root + "runs/";

    auto start = Clock::now();
    auto writer = vask::RunJournalWriter::Create(fs, runs, vask::RunJournalHeader{1, 3, false});
    if (!writer) return 1;
    const int packed =
        vask::CompressToArchive(fs, loader, prompter, ui, clock, state, root + "lzh/", writer.value().get());
    const double packSeconds = Seconds(start);
    const std::size_t recorded = writer.value()->Count();
    const std::string name = writer.value()->Name();
    writer.value().reset();

    start = Clock::now();
    const vask::UndoOutcome outcome = vask::UndoRun(fs, runs, name, nullptr, &loader);
    const double undoSeconds = Seconds(start);

    std::printf("packed=%zu (result %d) in %.3f s, restored=%zu in %.3f s, stayed=%zu\n", recorded, packed,
                packSeconds, outcome.restored, undoSeconds, outcome.stayed.size());
    std::printf("undo_vs_pack=%.2f\n", undoSeconds / packSeconds);
    const std::string clean = "rm -rf '" + root + "'";
    if (std::system(clean.c_str()) != 0) return 1;
    return packed == 0 && outcome.restored == recorded && recorded == static_cast<std::size_t>(count) ? 0 : 1;
}
