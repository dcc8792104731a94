// Not a test: shows each dialog of the file operation with sample paths and saves a picture of each, for a
// look at them (under Xvfb, for example). Usage: vask_file_operation_preview OUTDIR [--screen]
//   OUTDIR     receives confirm-trash.png, confirm-delete.png, create-folder.png, replace.png,
//              progress.png, replace-over-progress.png and report.png
//   --screen   also saves the whole screen beside each (screen-*.png), windows and their stacking included
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <algorithm>

#include "app/ui/QtFileOperationUi.h"
#include "platform/fakes/FakeClock.h"

using namespace vask;

namespace {

QString outDir;
bool wholeScreen = false;

void Save(QWidget& widget, const QString& name) {
    widget.grab().save(QDir(outDir).filePath(name + QStringLiteral(".png")));
    if (wholeScreen) {
        QApplication::primaryScreen()->grabWindow(0).save(
            QDir(outDir).filePath(QStringLiteral("screen-") + name + QStringLiteral(".png")));
    }
}

// Pictures the next modal dialog once it has been painted, then clicks its button of that objectName.
void PictureNext(const QString& name, const char* button) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, name, button] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible() || dialog->findChild<QPushButton*>(button) == nullptr) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        QTimer::singleShot(300, dialog, [dialog, name, button] {
            Save(*dialog, name);
            dialog->findChild<QPushButton*>(button)->click();
        });
    });
    poll->start();
}

std::vector<FileOperationItem> SampleItems(int count) {
    std::vector<FileOperationItem> items;
    for (int i = 0; i < count; ++i)
        items.push_back(FileOperationItem{"/home/user/作業/古いﾒﾓ" + std::to_string(i) + ".txt", 1, {}});
    return items;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) return 2;
    outDir = args[1];
    wholeScreen = args.contains(QStringLiteral("--screen"));
    QDir().mkpath(outDir);

    QWidget main;
    main.setWindowTitle(QStringLiteral("Vask"));
    main.resize(640, 480);
    main.show();
    FakeClock clock;
    clock.stepMs = 20;
    QtFileOperationUi ui(&main, clock);

    PictureNext(QStringLiteral("confirm-trash"), "yes");
    ui.ConfirmStart(FileOperationKind::Trash, SampleItems(1234));
    PictureNext(QStringLiteral("confirm-delete"), "no");
    ui.ConfirmStart(FileOperationKind::Delete,
                    {FileOperationItem{"/home/user/文書/報告書（最終版）.docx", 1, {}}});
    PictureNext(QStringLiteral("create-folder"), "yes");
    ui.OfferCreateFolder("/home/user/Backup/退避ﾌｫﾙﾀﾞ/");
    PictureNext(QStringLiteral("replace"), "yesToAll");
    ui.AskReplace("/home/user/作業/打ち合わせﾒﾓ.txt", "/home/user/Backup/打ち合わせﾒﾓ.txt");

    // A slow move: the progress window comes up, then a question is asked over it.
    const std::string deep =
        "/home/user/プロジェクト/2026年度/資料/第3四半期/会議/議事録/添付ﾌｧｲﾙ/"
        "とても長い名前の付いた打ち合わせ資料の下書き.txt";
    // Each file takes 5 ms; once the window has been up for a while it is pictured, still in the operation.
    ui.BeginOperation(FileOperationKind::Move, 120);
    ui.Progress(0, 120, deep);
    QElapsedTimer elapsed;
    elapsed.start();
    for (std::size_t i = 1; elapsed.elapsed() < 800; ++i) {
        ui.Progress(std::min<std::size_t>(i, 119), 120, deep);
        QThread::msleep(5);
    }
    if (QWidget* window = ui.ProgressWindow()) Save(*window, QStringLiteral("progress"));
    PictureNext(QStringLiteral("replace-over-progress"), "no");
    ui.AskReplace(deep, "/home/user/Backup/とても長い名前の付いた打ち合わせ資料の下書き.txt");

    std::vector<FileOperationFailure> failures;
    const int codes[] = {EACCES, ENOSPC, EROFS, ENOENT, EIO, ENOSYS, EEXIST, EOVERFLOW};
    for (int i = 0; i < 5000; ++i) {
        const std::string path =
            "/home/user/作業/ﾌｫﾙﾀﾞ" + std::to_string(i % 17) + "/ﾌｧｲﾙ" + std::to_string(i) + ".tmp";
        const int code = codes[i % 8];
        failures.push_back(FileOperationFailure{
            path, Status::Error(code, code == EEXIST ? "/home/user/Backup/" : path, "op"), i % 9 == 4});
    }
    failures.push_back(
        FileOperationFailure{"", Status::Error(EIO, "/home/user/.local/share/Trash/info/", "op")});
    PictureNext(QStringLiteral("report"), "ok");
    ui.ReportFailures(FileOperationKind::Move, failures);
    ui.EndOperation();
    return 0;
}
