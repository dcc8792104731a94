// The options sheet's log page on a large deletion log: a Vask.Log of about 100 MB (1.5 million lines) is
// written to a temporary folder, then `wc -l` reads it and the real sheet (offscreen unless a platform is
// set) opens the log page on it through the POSIX file system and scrolls to its end. Best of three each.
// Also prints how long the sheet takes to construct and to open on its first page.
//
// Prints log_page_vs_wc=<page time / wc time> last (wall times, target: at most 10); the same ratio of CPU
// times before it, which a machine busy with other work disturbs less.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/fakes/FakeSoundPlayer.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "platform/linux/PosixFileSystem.h"
#include "settings/OptionSheet.h"
#include "settings/ui/LogListModel.h"
#include "settings/ui/OptionSheetDialog.h"

extern char** environ;

using namespace vask;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// About 100 MB in records like the delete command writes: a header, paths, a footer.
std::size_t WriteLog(const std::filesystem::path& path, std::size_t lines) {
    std::ofstream out(path, std::ios::binary);
    std::string buffer;
    std::size_t written = 0;
    for (std::size_t i = 0; i < lines; ++i) {
        if (i % 1000 == 0) {
            buffer += "---<<< 2026/12/07 10:00:00 >>>------<Normal>------\r\n";
        } else if (i % 1000 == 999) {
            buffer += "<998file(s), 12.3MBytes>\r\n";
        } else {
            buffer += "/home/user/文書/プロジェクト/build" + std::to_string(i % 97) + "/output" +
                      std::to_string(i) + ".bak\r\n";
        }
        if (buffer.size() > (1u << 20)) {
            out << buffer;
            written += buffer.size();
            buffer.clear();
        }
    }
    out << buffer;
    return written + buffer.size();
}

double CpuMs() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Best wall time of three runs, and the CPU time (user + system) of the best run in cpuMs.
double TimeWc(const std::string& file, double& cpuMs) {
    double best = 1e18;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        pid_t pid = 0;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>("wc"), const_cast<char*>("-l"), const_cast<char*>(file.c_str()),
                        nullptr};
        if (posix_spawnp(&pid, "wc", &actions, nullptr, argv, environ) != 0) return -1;
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        posix_spawn_file_actions_destroy(&actions);
        const double wall = Ms(Clock::now() - start);
        if (wall < best) {
            best = wall;
            cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                    (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    char pattern[] = "/tmp/vask-log-page-XXXXXX";
    const char* folder = mkdtemp(pattern);
    if (folder == nullptr) return 1;
    const std::filesystem::path log = std::filesystem::path(folder) / "Vask.Log";
    constexpr std::size_t kLines = 1'500'000;
    const std::size_t bytes = WriteLog(log, kLines);
    if (chdir(folder) != 0) return 1;

    double wcCpuMs = 0;
    const double wcMs = TimeWc(log.string(), wcCpuMs);

    PosixFileSystem fileSystem;
    FakeVolumeSource volumes;
    MemoryEnvironment environment;
    FakeSoundPlayer sound;
    MemoryProfileStore profile;
    ScriptedPrompter prompter;
    ProfileSettings settings = DefaultProfileSettings(environment);

    auto start = Clock::now();
    OptionSheetDialog dialog;
    const double constructMs = Ms(Clock::now() - start);
    OptionSheet sheet(OptionSheetPorts{dialog, prompter, fileSystem, volumes, environment, sound, profile},
                      settings);
    dialog.Bind(sheet);
    auto* list = qobject_cast<QListView*>(dialog.Control(OptionPage::LogView, option_control::kLogList));

    double openMs = 1e18;
    double pageMs = 1e18;
    double pageCpuMs = 0;
    std::size_t rows = 0;
    bool atEnd = false;
    for (int round = 0; round < 3; ++round) {
        start = Clock::now();
        QTimer::singleShot(0, &dialog, [&] {
            QApplication::processEvents();  // the first page is painted
            openMs = std::min(openMs, Ms(Clock::now() - start));
            const auto pageStart = Clock::now();
            const double cpuStart = CpuMs();
            dialog.ChooseTab(OptionPage::LogView);
            QApplication::processEvents();  // the list is laid out, scrolled to its end and painted
            QApplication::processEvents();
            const double wall = Ms(Clock::now() - pageStart);
            if (wall < pageMs) {
                pageMs = wall;
                pageCpuMs = CpuMs() - cpuStart;
            }
            rows = static_cast<std::size_t>(list->model()->rowCount());
            atEnd = list->verticalScrollBar()->value() == list->verticalScrollBar()->maximum() &&
                    list->verticalScrollBar()->maximum() > 0;
            dialog.reject();
        });
        sheet.Run();
    }

    std::filesystem::remove_all(folder);
    std::printf("log: %zu lines, %.1f MB; rows shown %zu, view at end: %s\n", kLines, bytes / 1e6, rows,
                atEnd ? "yes" : "NO");
    std::printf("wc -l: %.1f ms (cpu %.1f ms); log page: %.1f ms (cpu %.1f ms)\n", wcMs, wcCpuMs, pageMs,
                pageCpuMs);
    std::printf("log_page_vs_wc_cpu=%.2f\n", pageCpuMs / wcCpuMs);
    std::printf("sheet_construct_ms=%.1f\nsheet_open_ms=%.1f\n", constructMs, openMs);
    std::printf("log_page_vs_wc=%.2f\n", pageMs / wcMs);
    return rows == kLines && atEnd ? 0 : 1;
}
