// The real main window (offscreen) searching the benchmark tree, against the core search in the same run,
// and how soon Abort takes effect after it is confirmed.
//
// Usage: window_search [TREE_BASE]. The window is driven through its Search button; its settings live in a
// temporary file, never the user's. Printed last: ratio_window_vs_core=<x> (target at most 1.3); before it
// ratio_window_walk_vs_core, the walk alone in the window (without the summary and the settings' flush).
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/core/MainDialogController.h"
#include "app/ui/MainWindow.h"
#include "bench/SearchBenchTree.h"
#include "platform/fakes/FakeLauncher.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/ProcessEnvironment.h"
#include "platform/linux/QtProfileStore.h"
#include "platform/linux/SystemClock.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers every question with Yes at once, and notes when it did: the moment an Abort is confirmed.
class ConfirmingPrompter : public vask::Prompter {
  public:
    vask::PromptAnswer Ask(const vask::Prompt&) override {
        lastAnswer = Clock::now();
        return vask::PromptAnswer::Yes;
    }
    Clock::time_point lastAnswer;
};

struct WindowRig {
    explicit WindowRig(const std::string& root, const std::string& settingsFile)
        : profile(settingsFile),
          controller(vask::MainDialogPorts{window, prompter, clock, fileSystem, environment, volumes,
                                           launcher, profile}) {
        window.Bind(controller);
        window.ClearDriveList();
        window.InsertDriveItem(
            0, vask::DriveItem{"      " + root + " [ ] " + std::string(50, ' ') + "0000000100000003", root,
                               vask::kDriveFixed, true});
        window.SetDriveCheckState(0, 1);
        window.SetPatternText("*.bak;*.tmp");
        window.show();
        QApplication::processEvents();
    }

    // Clicks Search and returns when the search command has returned.
    double Search() {
        auto* button = window.findChild<QPushButton*>(QStringLiteral("id1029"));
        const auto start = Clock::now();
        button->click();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    vask::MainWindow window;
    ConfirmingPrompter prompter;
    vask::SystemClock clock;
    vask::PosixFileSystem fileSystem;
    vask::ProcessEnvironment environment;
    vask::FakeVolumeSource volumes;
    vask::FakeLauncher launcher;
    vask::QtProfileStore profile;
    vask::MainDialogController controller;
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string root = vask::bench::PrepareSearchTree(argc > 1 ? argv[1] : "");
    QApplication application(argc, argv);
    char settingsTemplate[] = "/tmp/vask-bench-settings-XXXXXX";
    const int fd = ::mkstemp(settingsTemplate);
    if (fd < 0) return 1;
    ::close(fd);
    WindowRig rig(root, settingsTemplate);

    std::size_t found = 0;
    vask::bench::TimeCoreSearch(root, found);  // warm the cache
    double bestCore = 1e9, bestWindow = 1e9, bestWalk = 1e9;
    for (int round = 0; round < 5; ++round) {
        bestCore = std::min(bestCore, vask::bench::TimeCoreSearch(root, found));
        // The search command less what it does around the walk (the summary, storing the settings): the
        // last request again, walked with the window's events, status line and result list.
        if (round > 0) {
            const auto start = Clock::now();
            rig.controller.RunSearch();
            bestWalk = std::min(bestWalk, std::chrono::duration<double>(Clock::now() - start).count());
        }
        bestWindow = std::min(bestWindow, rig.Search());
    }
    std::printf("results: core=%zu window=%zu\n", found, rig.controller.State().results.Size());
    std::printf("status: %s\n", rig.window.StatusText().c_str());

    // Abort: confirmed a little into a search; the time until the search command returns.
    double worstAbortMs = 0;
    for (int round = 0; round < 5; ++round) {
        QTimer::singleShot(40 + 20 * round, &rig.window, [&rig] { rig.controller.OnAbort(); });
        rig.Search();
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::now() - rig.prompter.lastAnswer).count();
        worstAbortMs = std::max(worstAbortMs, ms);
        if (rig.window.StatusText() != "処理が中止されました。") {
            std::printf("abort round %d: the search ended before the abort (%s)\n", round,
                        rig.window.StatusText().c_str());
        }
    }
    ::unlink(settingsTemplate);
    std::printf("core_search_seconds=%.4f\nwindow_search_seconds=%.4f\nwindow_walk_seconds=%.4f\n", bestCore,
                bestWindow, bestWalk);
    std::printf("ratio_window_walk_vs_core=%.3f\n", bestWalk / bestCore);
    std::printf("abort_latency_ms_worst=%.1f (target <= 100)\n", worstAbortMs);
    std::printf("ratio_window_vs_core=%.3f\n", bestWindow / bestCore);
    return 0;
}
