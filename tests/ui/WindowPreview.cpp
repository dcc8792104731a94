// Shows the real main window over sample volumes and an in-memory tree, for a look at it (under Xvfb, for
// example). Usage: vask_window_preview [--search] [--searching] [--grab out.png]
//   --search     runs a search for *.bak;*.tmp first, so the result list is filled
//   --searching  stops inside the search (the controls as they are while it runs)
//   --grab       saves a picture of the window and quits; without it the window stays open
//   --real       the application itself instead: real volumes, profile and file system
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "app/core/MainDialogController.h"
#include "app/ui/Application.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtPrompter.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeLauncher.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryProfileStore.h"

using namespace vask;

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--real") return RunVask(argc, argv);
    }
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    const bool search =
        args.contains(QStringLiteral("--search")) || args.contains(QStringLiteral("--searching"));
    const bool stopInside = args.contains(QStringLiteral("--searching"));
    const qsizetype grabAt = args.indexOf(QStringLiteral("--grab"));
    const QString grabPath = grabAt > 0 && grabAt + 1 < args.size() ? args[grabAt + 1] : QString();

    MemoryFileSystem fileSystem;
    FakeClock clock;
    clock.stepMs = 1;
    MemoryEnvironment environment;
    FakeVolumeSource volumes;
    volumes.Add("/", "ext4", "システム", 0x5a17c0de, 250'000'000'000ull);
    volumes.Add("/home/", "btrfs", "", 0x11223344, 1'800'000'000'000ull);
    volumes.Add("/media/usb/", "vfat", "USBメモリ", 0x0000abcd, 32'000'000'000ull, true);
    volumes.Add("/mnt/nas/", "nfs4", "", 0x99, 4'000'000'000'000ull);
    volumes.Add("/media/cdrom/", "iso9660", "DISC", 0x42, 700'000'000ull);
    volumes.Add("/tmp/", "tmpfs", "", 0x77, 8'000'000'000ull);
    for (int i = 0; i < 2000; ++i) {
        const std::string folder = "/home/user/プロジェクト/build" + std::to_string(i / 100) + "/";
        fileSystem.AddFile(folder + "output" + std::to_string(i) + ".bak", 1000 + 37 * i);
        fileSystem.AddFile(folder + "作業メモ" + std::to_string(i) + ".tmp", 400 + i);
    }
    FakeLauncher launcher;
    MemoryProfileStore profile;
    profile.SetInt("bFixed", 0);
    profile.SetString("ctlFileCombo", "*.bak;*.tmp");

    MainWindow window;
    QtPrompter prompter(&window);
    MainDialogController controller(
        MainDialogPorts{window, prompter, clock, fileSystem, environment, volumes, launcher, profile});
    window.Bind(controller);
    controller.Start();
    window.SetPatternText("*.bak;*.tmp");
    window.SetDriveCheckState(1, 1);

    const auto grab = [&] {
        if (grabPath.isEmpty()) return;
        window.grab().save(grabPath);
        QApplication::exit(0);
    };
    QTimer::singleShot(500, [&] {
        if (stopInside) {
            // From inside the walk: the first pump after 300 rows shows the window mid-search.
            QTimer::singleShot(0, [&] {
                QTimer::singleShot(800, [&] {
                    grab();
                    controller.State().bAbort = true;
                });
                while (!controller.State().bAbort)
                    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            });
        }
        if (search) qobject_cast<QPushButton*>(window.Control(control::kSearch))->click();
        if (!stopInside) QTimer::singleShot(500, grab);
    });
    window.show();
    return application.exec();
}
