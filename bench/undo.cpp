// Undo speed: 10,000 small files trashed through the file-operation engine with the run journal, then the
// run undone from that journal; the undo's wall time against the trashing's, in the same run.
//
// Usage: undo [COUNT]. Everything happens in a fresh folder under $TMPDIR (else /tmp), with a home trash of
// its own there. Printed last:
//   undo_vs_trash=<x>   (target at most 1.5)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/SmallFiles.h"
#include "disposal/FileOperation.h"
#include "disposal/RunJournalWriter.h"
#include "disposal/RunUndo.h"
#include "platform/linux/FreedesktopTrash.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/disposal/AgreeingFileOperationUi.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string root = vask::bench::FreshBenchFolder("vask-undo-bench");
    if (root.empty()) return 1;
    const std::string data = root + "data";
    std::vector<vask::FileOperationItem> items;
    if (!vask::bench::WriteSmallFiles(data, count, items)) return 1;
    ::sync();

    vask::TrashContext context;
    context.homeTrash = root + "home/Trash";
    context.userId = ::geteuid();
    vask::PosixFileSystem fs(context, root + "tmp/", true);
    vask::AgreeingFileOperationUi ui;
    const std::string runs = root + "runs/";

    auto start = Clock::now();
    auto writer = vask::RunJournalWriter::Create(fs, runs, vask::RunJournalHeader{1, 0, false});
    if (!writer) return 1;
    vask::FileOperationEngine engine(fs, ui);
    engine.SetRecorder(writer.value().get());
    const std::size_t trashed = engine.Run(vask::FileOperationKind::Trash, items, "").done;
    const double trashSeconds = Seconds(start);
    const std::string name = writer.value()->Name();
    writer.value().reset();

    start = Clock::now();
    const vask::UndoOutcome outcome = vask::UndoRun(fs, runs, name, nullptr);
    const double undoSeconds = Seconds(start);

    std::printf("trashed=%zu in %.3f s, restored=%zu in %.3f s, stayed=%zu\n", trashed, trashSeconds,
                outcome.restored, undoSeconds, outcome.stayed.size());
    std::printf("undo_vs_trash=%.2f\n", undoSeconds / trashSeconds);
    const std::string clean = "rm -rf '" + root + "'";
    if (std::system(clean.c_str()) != 0) return 1;
    return outcome.restored == trashed && trashed == items.size() ? 0 : 1;
}
