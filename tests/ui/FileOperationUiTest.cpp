// The file operation's dialogs: each question answered by clicking its buttons, the progress window's
// pacing and Cancel on a fake clock, the failure report, and the variant for runs without a display.
// The texts themselves are built and tested in disposal/.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cerrno>
#include <functional>
#include <sstream>

#include "app/ui/QtFileOperationUi.h"
#include "app/ui/StderrFileOperationUi.h"
#include "platform/fakes/FakeClock.h"

using namespace vask;

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// Calls act with the next modal dialog once it is on the screen (polled from the dialog's own event loop).
void OnNextDialog(std::function<void(QDialog&)> act) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        act(*dialog);
    });
    poll->start();
}

// What a dialog showed, kept past its end (the boxes live on the stack of the call that asks).
struct Seen {
    QString title;
    QString text;
    QString detail;
    QWidget* parent = nullptr;
    QStringList buttons;
};

// Clicks the button of that objectName in the next dialog; a missing button fails the test and Escapes.
void ClickNext(const char* objectName, Seen* seen = nullptr) {
    OnNextDialog([objectName, seen](QDialog& dialog) {
        if (seen != nullptr) {
            seen->title = dialog.windowTitle();
            seen->parent = dialog.parentWidget();
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                seen->text = box->text();
                seen->detail = box->informativeText();
            }
            for (QPushButton* button : dialog.findChildren<QPushButton*>())
                seen->buttons << button->text();
        }
        auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(objectName));
        QVERIFY2(button != nullptr, objectName);
        if (button != nullptr) {
            button->click();
        } else {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        }
    });
}

void EscapeNext() {
    OnNextDialog([](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
}

std::vector<FileOperationItem> Items(std::initializer_list<const char*> paths) {
    std::vector<FileOperationItem> items;
    for (const char* path : paths)
        items.push_back(FileOperationItem{path, 1, {}});
    return items;
}

FileOperationFailure Failure(const std::string& path, int code, const std::string& concerned,
                             bool changed = false) {
    return FileOperationFailure{path, Status::Error(code, concerned, "op"), changed};
}

// Runs Progress for files first..last-1 of total; returns the index at which it said Cancel, or last.
// An operation must have begun.
std::size_t RunProgress(QtFileOperationUi& ui, std::size_t first, std::size_t last, std::size_t total) {
    for (std::size_t i = first; i < last; ++i) {
        if (!ui.Progress(i, total, "/home/user/file" + std::to_string(i))) return i;
    }
    return last;
}

}  // namespace

class FileOperationUiTest : public QObject {
    Q_OBJECT

  private slots:
    void confirmationNamesTheFilesAndOnlyYesGoesAhead() {
        QWidget main;
        main.show();  // boxes sit over the window only while it is shown (an unattended run never shows it)
        FakeClock clock;
        QtFileOperationUi ui(&main, clock);

        Seen box;
        ClickNext("yes", &box);
        QVERIFY(ui.ConfirmStart(FileOperationKind::Trash, Items({"/a/x", "/a/y", "/b/z"})));
        QCOMPARE(box.title, Q("複数のﾌｧｲﾙ削除の確認"));
        QCOMPARE(box.text, Q("これらの 3 個のﾌｧｲﾙをごみ箱に移してもよろしいですか?"));
        QCOMPARE(box.parent, &main);
        QCOMPARE(box.buttons, QStringList({Q("はい(&Y)"), Q("いいえ(&N)")}));

        box = Seen();
        ClickNext("no", &box);
        QVERIFY(!ui.ConfirmStart(FileOperationKind::Delete, Items({"/home/u/メモ.txt"})));
        QCOMPARE(box.title, Q("ﾌｧｲﾙの削除の確認"));
        QCOMPARE(box.text, Q("'メモ.txt' を完全に削除してもよろしいですか?"));

        EscapeNext();
        QVERIFY(!ui.ConfirmStart(FileOperationKind::Delete, Items({"/a", "/b"})));
    }

    void missingFolderIsCreatedOnlyOnYes() {
        FakeClock clock;
        QtFileOperationUi ui(nullptr, clock);
        Seen box;
        ClickNext("yes", &box);
        QVERIFY(ui.OfferCreateFolder("/home/u/Backup/"));
        QCOMPARE(box.text, Q("ﾌｫﾙﾀﾞ /home/u/Backup は存在しません。\n作成しますか?"));
        ClickNext("no");
        QVERIFY(!ui.OfferCreateFolder("/home/u/Backup/"));
        EscapeNext();
        QVERIFY(!ui.OfferCreateFolder("/home/u/Backup/"));
    }

    void replaceQuestionMapsEachButton() {
        FakeClock clock;
        QtFileOperationUi ui(nullptr, clock);
        const std::pair<const char*, ReplaceAnswer> cases[] = {{"yes", ReplaceAnswer::Yes},
                                                               {"yesToAll", ReplaceAnswer::YesToAll},
                                                               {"no", ReplaceAnswer::No},
                                                               {"cancel", ReplaceAnswer::Cancel}};
        for (const auto& [button, expected] : cases) {
            Seen box;
            ClickNext(button, &box);
            QCOMPARE(ui.AskReplace("/src/a.txt", "/home/u/Backup/a.txt"), expected);
            QCOMPARE(box.text, Q("/home/u/Backup には同じ名前のﾌｧｲﾙがあります。\n置き換えますか?"));
            QCOMPARE(box.detail, Q("'a.txt'"));
            QCOMPARE(box.buttons,
                     QStringList({Q("はい(&Y)"), Q("すべて置き換え(&A)"), Q("いいえ(&N)"), Q("キャンセル")}));
        }
        EscapeNext();
        QCOMPARE(ui.AskReplace("/src/a.txt", "/t/a.txt"), ReplaceAnswer::Cancel);
    }

    void quickOperationShowsNoProgressWindow() {
        QWidget main;
        FakeClock clock;
        clock.stepMs = 1;
        QtFileOperationUi ui(&main, clock);
        // 250 files in 250 ms: under the threshold, so nothing flashes on the screen.
        ui.BeginOperation(FileOperationKind::Delete, 250);
        QCOMPARE(RunProgress(ui, 0, 250, 250), std::size_t{250});
        QVERIFY(ui.ProgressWindow() == nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(!widget->isVisible() || widget == &main);
    }

    void slowOperationShowsCountPathAndTitleOfItsKind() {
        QWidget main;
        FakeClock clock;
        clock.stepMs = 20;
        QtFileOperationUi ui(&main, clock);
        ui.BeginOperation(FileOperationKind::Trash, 100);
        ClickNext("yes");
        QVERIFY(ui.ConfirmStart(FileOperationKind::Trash, Items({"/a", "/b"})));
        const std::string longPath = "/home/user/" + std::string(300, 'x') + "/最後のﾌｧｲﾙ.txt";
        QVERIFY(ui.Progress(0, 100, "/first"));
        for (std::size_t i = 1; i < 40; ++i)
            QVERIFY(ui.Progress(i, 100, longPath));
        QWidget* window = ui.ProgressWindow();
        QVERIFY(window != nullptr);
        QCOMPARE(window->windowTitle(), Q("ﾌｧｲﾙをごみ箱に移しています"));
        QStringList labels;
        for (QLabel* label : window->findChildren<QLabel*>())
            labels << label->text();
        QVERIFY2(labels.indexOf(QRegularExpression(QStringLiteral("^\\d+ / 100$"))) >= 0,
                 qPrintable(labels.join('|')));
        // The path is cut in its middle: both ends stay readable.
        const QString path = labels.filter(Q("最後のﾌｧｲﾙ.txt")).value(0);
        QVERIFY2(path.startsWith(Q("/home/user/")) && path.contains(QChar(0x2026)), qPrintable(path));

        // The next operation names its own kind: the window is a new one, titled for a move.
        ui.EndOperation();
        ui.BeginOperation(FileOperationKind::Move, 100);
        QVERIFY(ui.ProgressWindow() == nullptr);
        RunProgress(ui, 0, 40, 100);
        QVERIFY(ui.ProgressWindow() != nullptr);
        QCOMPARE(ui.ProgressWindow()->windowTitle(), Q("ﾌｧｲﾙを移動しています"));
        ui.EndOperation();
    }

    void cancelStopsAtTheNextFileAndANewOperationStartsAfresh() {
        FakeClock clock;
        clock.stepMs = 50;
        QtFileOperationUi ui(nullptr, clock);
        ui.BeginOperation(FileOperationKind::Delete, 100);
        RunProgress(ui, 0, 10, 100);
        QVERIFY(ui.ProgressWindow() != nullptr);
        auto* cancel = ui.ProgressWindow()->findChild<QPushButton*>("cancel");
        cancel->click();
        QVERIFY(!ui.Progress(10, 100, "/next"));
        // The window stays, its Cancel spent, until the operation has ended.
        QVERIFY(ui.ProgressWindow() != nullptr && !cancel->isEnabled());
        ui.EndOperation();
        QVERIFY(ui.ProgressWindow() == nullptr);

        // A click that arrives while events are pumped inside Progress stops that very call.
        ui.BeginOperation(FileOperationKind::Delete, 100);
        RunProgress(ui, 0, 10, 100);
        QVERIFY(ui.ProgressWindow() != nullptr);
        QMetaObject::invokeMethod(ui.ProgressWindow()->findChild<QPushButton*>("cancel"), "click",
                                  Qt::QueuedConnection);
        QVERIFY(!ui.Progress(10, 100, "/next"));
        ui.EndOperation();

        // Escape (and the close box) is Cancel too; a new operation starts with a fresh window.
        ui.BeginOperation(FileOperationKind::Delete, 100);
        QCOMPARE(RunProgress(ui, 0, 10, 100), std::size_t{10});
        QTest::keyClick(ui.ProgressWindow(), Qt::Key_Escape);
        QVERIFY(!ui.Progress(10, 100, "/next"));
        ui.EndOperation();
    }

    void eventsArePumpedOnlyEveryFewFiles() {
        FakeClock clock;
        clock.stepMs = 1;
        QtFileOperationUi ui(nullptr, clock);
        bool pumped = false;
        ui.BeginOperation(FileOperationKind::Delete, 1000);
        QVERIFY(ui.Progress(0, 1000, "/first"));
        QMetaObject::invokeMethod(
            qApp, [&pumped] { pumped = true; }, Qt::QueuedConnection);
        RunProgress(ui, 1, 10, 1000);  // 10 ms of fake time
        QVERIFY(!pumped);
        RunProgress(ui, 10, 100, 1000);
        QVERIFY(pumped);
        ui.EndOperation();
    }

    void progressWindowStaysUnderAQuestionAndClosesAtTheEnd() {
        QWidget main;
        FakeClock clock;
        clock.stepMs = 50;
        QtFileOperationUi ui(&main, clock);
        ui.BeginOperation(FileOperationKind::Move, 100);
        RunProgress(ui, 0, 10, 100);
        QWidget* window = ui.ProgressWindow();
        QVERIFY(window != nullptr);

        // However long the question stays open, the window stays under it.
        QWidget* boxParent = nullptr;
        OnNextDialog([&boxParent](QDialog& dialog) {
            boxParent = dialog.parentWidget();
            QTimer::singleShot(300, &dialog, [&dialog] { dialog.findChild<QPushButton*>("no")->click(); });
        });
        QCOMPARE(ui.AskReplace("/s/a", "/t/a"), ReplaceAnswer::No);
        QCOMPARE(boxParent, window);
        QCOMPARE(ui.ProgressWindow(), window);

        // The end closes it at once: no event loop has to run first.
        QPointer<QWidget> watched(window);
        ui.EndOperation();
        QVERIFY(ui.ProgressWindow() == nullptr);
        QVERIFY(watched.isNull());
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(!widget->isVisible() || widget == &main);
    }

    void timeOnAQuestionDoesNotCountTowardsShowingTheWindow() {
        FakeClock clock;
        clock.stepMs = 0;
        QtFileOperationUi ui(nullptr, clock);
        ui.BeginOperation(FileOperationKind::Trash, 10);
        OnNextDialog([&clock](QDialog& dialog) {
            clock.monotonicMs += 60000;  // the user thinks for a minute
            dialog.findChild<QPushButton*>("yes")->click();
        });
        QVERIFY(ui.ConfirmStart(FileOperationKind::Trash, Items({"/a"})));
        clock.monotonicMs += QtFileOperationUi::kShowAfterMs - 1;
        QVERIFY(ui.Progress(0, 10, "/a"));
        QVERIFY(ui.ProgressWindow() == nullptr);
        clock.monotonicMs += QtFileOperationUi::kPumpEveryMs;  // the next look at the clock
        QVERIFY(ui.Progress(1, 10, "/b"));
        QVERIFY(ui.ProgressWindow() != nullptr);
        ui.EndOperation();
    }

    void reportListsThousandsOfFailuresOverTheProgressWindowsPlace() {
        QWidget main;
        FakeClock clock;
        clock.stepMs = 50;
        QtFileOperationUi ui(&main, clock);
        ui.BeginOperation(FileOperationKind::Delete, 100);
        RunProgress(ui, 0, 10, 100);
        QVERIFY(ui.ProgressWindow() != nullptr);

        std::vector<FileOperationFailure> failures;
        for (int i = 0; i < 5000; ++i)
            failures.push_back(Failure("/data/f" + std::to_string(i), EACCES, "/data/f" + std::to_string(i)));
        failures.back() = Failure("/data/last", ENOSPC, "/data/last");
        int rows = 0;
        QStringList last;
        QString title;
        OnNextDialog([&](QDialog& dialog) {
            title = dialog.windowTitle();
            auto* list = dialog.findChild<QTreeView*>("failures");
            rows = list->model()->rowCount();
            for (int column = 0; column < 2; ++column)
                last << list->model()->index(rows - 1, column).data().toString();
            dialog.findChild<QPushButton*>("ok")->click();
        });
        ui.ReportFailures(FileOperationKind::Delete, failures);
        QVERIFY(ui.ProgressWindow() == nullptr);
        QCOMPARE(title, Q("ﾌｧｲﾙ削除ｴﾗｰ"));
        QCOMPARE(rows, 5000);
        QCOMPARE(last, QStringList({Q("/data/last"), Q("ﾃﾞｨｽｸの空き領域が不足しています。")}));
        ui.EndOperation();
    }

    void withoutDisplayEveryQuestionIsToldAndDisposesOfNothing() {
        std::ostringstream out;
        StderrFileOperationUi ui(out);
        QVERIFY(!ui.ConfirmStart(FileOperationKind::Trash, Items({"/a", "/b"})));
        QVERIFY(!ui.OfferCreateFolder("/home/u/Backup/"));
        QCOMPARE(ui.AskReplace("/s/a.txt", "/t/a.txt"), ReplaceAnswer::No);
        QVERIFY(ui.Progress(1, 2, "/b"));
        ui.ReportFailures(FileOperationKind::Move, {Failure("/a/x\ny", EACCES, "/a/x\ny")});
        const std::string expected =
            "Vask: 複数のﾌｧｲﾙ削除の確認: これらの 2 個のﾌｧｲﾙをごみ箱に移してもよろしいですか? -> いいえ\n"
            "Vask: ﾌｫﾙﾀﾞ /home/u/Backup は存在しません。 作成しますか? -> いいえ\n"
            "Vask: ﾌｧｲﾙの置き換えの確認: /t には同じ名前のﾌｧｲﾙがあります。 置き換えますか? 'a.txt' -> "
            "いいえ\n"
            "Vask: ﾌｧｲﾙ移動ｴﾗｰ: 次のﾌｧｲﾙは処理できませんでした。\n"
            "  /a/x\\ny: ｱｸｾｽが拒否されました。\n";
        QCOMPARE(Q(out.str()), Q(expected));
    }
};

QTEST_MAIN(FileOperationUiTest)
#include "FileOperationUiTest.moc"
