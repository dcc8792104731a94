// The window's parts on their own: the result model, the search clip, the message boxes, the launcher and the
// sign of an unattended run.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <sstream>

#include "UiTests.h"
#include "app/ui/DesktopLauncher.h"
#include "app/ui/QtNotificationSign.h"
#include "app/ui/QtPrompter.h"
#include "app/ui/ResultListModel.h"
#include "app/ui/SearchClipWidget.h"
#include "app/ui/StderrPrompter.h"
#include "app/ui/UndoRunButton.h"
#include "disposal/RunJournalWriter.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "settings/ui/OptionSheetDialog.h"
#include "tests/disposal/AgreeingFileOperationUi.h"

using namespace vask;

namespace {

// Receives the URLs QDesktopServices would hand to the desktop.
class UrlRecorder : public QObject {
    Q_OBJECT

  public:
    QList<QUrl> urls;

  public slots:
    void Open(const QUrl& url) { urls.append(url); }
};

// Answers the next message box with inspect(box), which returns the button to click (null: press Escape).
void AnswerNextBox(std::function<QAbstractButton*(QMessageBox&)> inspect) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        if (QAbstractButton* button = inspect(*box)) {
            button->click();
        } else {
            QTest::keyClick(box, Qt::Key_Escape);
        }
    });
    poll->start();
}

// Moves the files (made here) to /to/ in one run journalled under /runs/; returns how many were moved.
std::size_t MoveInOneRun(MemoryFileSystem& fs, std::initializer_list<const char*> paths) {
    std::vector<FileOperationItem> items;
    for (const char* path : paths) {
        auto node = fs.AddFile(path, 1, 1000, 0644);
        node->content = "x";
        items.push_back({path, 1, {node->device, node->inode, 1000LL * 1000000000LL}});
    }
    auto writer = RunJournalWriter::Create(fs, "/runs/", RunJournalHeader{0, 1, false});
    if (!writer.ok()) return 0;
    AgreeingFileOperationUi ui;
    FileOperationEngine engine(fs, ui);
    engine.SetRecorder(writer.value().get());
    return engine.Run(FileOperationKind::Move, items, "/to/").done;
}

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

  private slots:
    // The log page's undo button: disabled without a journal; with one it names the run, puts the files
    // back and says how many.
    void undoButtonNamesTheRunAndPutsItBack() {
        MemoryFileSystem fs;
        FakeClock clock;
        clock.utcOffsetSeconds = 0;
        fs.AddFolder("/runs");
        fs.AddFolder("/to");
        OptionSheetDialog dialog;
        QPushButton* button = AttachUndoRunButton(dialog, fs, clock, "/runs/");
        QVERIFY(button != nullptr);
        QCOMPARE(button->text(), QString::fromUtf8("元に戻す(&Z)"));
        QVERIFY(!button->isEnabled());

        QCOMPARE(MoveInOneRun(fs, {"/d/a.bak", "/d/b.bak"}), std::size_t{2});
        dialog.ChooseTab(OptionPage::LogView);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(button->isEnabled());

        QString question, result;
        AnswerNextBox([&](QMessageBox& box) -> QAbstractButton* {
            question = box.text();
            AnswerNextBox([&](QMessageBox& done) -> QAbstractButton* {
                result = done.text();
                return done.findChild<QAbstractButton*>("ok");
            });
            return box.findChild<QAbstractButton*>("yes");
        });
        button->click();
        QCOMPARE(question, QString::fromUtf8("1970/01/01 00:00 移動 2 個 の処理を元に戻しますか?"));
        QCOMPARE(result, QString::fromUtf8("2 個のﾌｧｲﾙを元に戻しました。"));
        QVERIFY(fs.Find("/d/a.bak") != nullptr && fs.Find("/d/b.bak") != nullptr);
        QVERIFY(fs.Find("/to/a.bak") == nullptr);
        // Settled: nothing left to offer.
        QVERIFY(!button->isEnabled());
    }

    // With several runs the question offers the older ones in a short list; that list's buttons read like
    // every other box of Vask (its texts, no theme icons), not Qt's own "Cancel".
    void olderRunsAreListedInAWindowLikeTheBoxes() {
        MemoryFileSystem fs;
        FakeClock clock;
        fs.AddFolder("/runs");
        fs.AddFolder("/to");
        for (const char* path : {"/d/a.bak", "/d/b.bak"})
            QCOMPARE(MoveInOneRun(fs, {path}), std::size_t{1});
        OptionSheetDialog dialog;
        QPushButton* button = AttachUndoRunButton(dialog, fs, clock, "/runs/");
        dialog.ChooseTab(OptionPage::LogView);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QStringList buttons;
        int runsListed = 0;
        auto* poll = new QTimer(&dialog);
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || qobject_cast<QMessageBox*>(modal) != nullptr || !modal->isVisible())
                return;
            poll->stop();
            for (QAbstractButton* each : modal->findChildren<QAbstractButton*>())
                buttons << each->text() + (each->icon().isNull() ? QString() : QStringLiteral(" +icon"));
            if (auto* list = modal->findChild<QComboBox*>()) runsListed = list->count();
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        poll->start();
        AnswerNextBox([](QMessageBox& box) { return box.findChild<QAbstractButton*>("older"); });
        button->click();
        QCOMPARE(runsListed, 2);
        buttons.sort();
        QCOMPARE(buttons, QStringList({QStringLiteral("OK"), QStringLiteral("キャンセル")}));
        QVERIFY(fs.Find("/to/a.bak") != nullptr && fs.Find("/to/b.bak") != nullptr);  // nothing undone
    }

    void modelAnnouncesOnlyAppendedRowsAndResetsWhenEmptied() {
        ResultList results;
        results.Append("/a", 1, {});
        ResultListModel model(results);
        QCOMPARE(model.rowCount(), 1);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        results.Append("/b", 2, {});
        results.Append("/c", 3, {});
        QCOMPARE(model.rowCount(), 1);  // not yet announced
        QVERIFY(model.Sync());
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 1);
        QCOMPARE(inserted.at(0).at(2).toInt(), 2);
        QVERIFY(!model.Sync());
        QCOMPARE(inserted.size(), 1);

        // Emptied before the views heard of it: rows they still know read as nothing, then a reset.
        results.Clear();
        QVERIFY(!model.data(model.index(2), Qt::DisplayRole).isValid());
        QVERIFY(!model.setData(model.index(2), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!model.Sync());
        QCOMPARE(reset.size(), 1);
        QCOMPARE(model.rowCount(), 0);
    }

    void modelReadsAndTicksTheListItself() {
        ResultList results;
        results.Append(std::string("/x/\xe3\x81\x82\xff.bak", 11), 5, {});
        ResultListModel model(results);
        QSignalSpy changed(&model, &ResultListModel::CheckChanged);
        QCOMPARE(model.data(model.index(0), Qt::DisplayRole).toString(),
                 QString::fromUtf8("/x/あ\xef\xbf\xbd.bak"));
        QCOMPARE(model.data(model.index(0), Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(model.flags(model.index(0)) & Qt::ItemIsUserCheckable);

        QVERIFY(model.setData(model.index(0), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(results[0].checkState, std::uint8_t{0});
        QCOMPARE(changed.size(), 1);
        QVERIFY(!model.setData(model.index(0), QStringLiteral("text"), Qt::EditRole));
        // Whoever changes the list, the model shows it.
        results.SetCheckState(0, 1);
        QCOMPARE(model.data(model.index(0), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    }

    void aMillionResultsScrollAndTick() {
        ResultList results;
        for (int i = 0; i < 1'000'000; ++i)
            results.Append("/data/file" + std::to_string(i) + ".tmp", 1, {});
        ResultListModel model(results);
        QListView view;
        view.setUniformItemSizes(true);
        view.setModel(&model);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(model.rowCount(), 1'000'000);
        view.scrollToBottom();
        const QModelIndex last = model.index(999'999);
        QVERIFY(view.viewport()->rect().intersects(view.visualRect(last)));
        QCOMPARE(view.indexAt(view.visualRect(last).center()), last);
        QCOMPARE(model.data(last).toString(), QStringLiteral("/data/file999999.tmp"));
        QVERIFY(model.setData(last, Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(results[999'999].checkState, std::uint8_t{0});
        QCOMPARE(results[999'998].checkState, std::uint8_t{1});
    }

    void clipPlaysAndRestsOnTheFirstFrame() {
        SearchClipWidget clip;
        QCOMPARE(clip.size(), QSize(48, 50));
        QVERIFY(!clip.IsPlaying());
        clip.Play();
        QVERIFY(clip.IsPlaying());
        QTRY_VERIFY(clip.CurrentFrame() > 0);
        clip.Stop();
        QVERIFY(!clip.IsPlaying());
        QCOMPARE(clip.CurrentFrame(), 0);
        // The frames differ from one another (the lens moves) and stay inside the clip.
        QImage first(48, 50, QImage::Format_ARGB32), middle(48, 50, QImage::Format_ARGB32);
        first.fill(Qt::transparent);
        middle.fill(Qt::transparent);
        {
            QPainter a(&first), b(&middle);
            SearchClipWidget::DrawFrame(a, 0);
            SearchClipWidget::DrawFrame(b, SearchClipWidget::kFrameCount / 2);
        }
        QVERIFY(first != middle);
        QCOMPARE(first.pixelColor(0, 0).alpha(), 0);
    }

    void promptShowsCaptionIconAndButtonsAndMapsTheAnswer() {
        QtPrompter prompter;
        QString caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        AnswerNextBox([&](QMessageBox& box) {
            caption = box.windowTitle();
            icon = box.icon();
            buttons = box.standardButtons();
            return box.button(QMessageBox::Yes);
        });
        QCOMPARE(
            prompter.Ask(Prompt{"検索を中止してよろしいですか?", "", PromptButtons::YesNo, PromptIcon::None}),
            PromptAnswer::Yes);
        QCOMPARE(caption, QStringLiteral("Vask"));
        QCOMPARE(icon, QMessageBox::Warning);  // no icon named: the exclamation
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);

        AnswerNextBox([&](QMessageBox& box) {
            icon = box.icon();
            return nullptr;
        });
        QCOMPARE(prompter.Ask(Prompt{"?", "", PromptButtons::YesNo, PromptIcon::Question}), PromptAnswer::No);
        QCOMPARE(icon, QMessageBox::Question);

        AnswerNextBox([](QMessageBox&) { return nullptr; });
        QCOMPARE(prompter.Ask(Prompt{"?", "", PromptButtons::YesNoCancel, PromptIcon::None}),
                 PromptAnswer::Cancel);
        AnswerNextBox([&](QMessageBox& box) {
            caption = box.windowTitle();
            return nullptr;
        });
        QCOMPARE(prompter.Ask(Prompt{"!", "Other", PromptButtons::Ok, PromptIcon::Stop}), PromptAnswer::Ok);
        QCOMPARE(caption, QStringLiteral("Other"));
        AnswerNextBox([](QMessageBox& box) { return box.button(QMessageBox::Retry); });
        QCOMPARE(prompter.Ask(Prompt{"!", "", PromptButtons::RetryCancel, PromptIcon::None}),
                 PromptAnswer::Retry);
    }

    // Qt wraps a box's text at about 500 pixels, and Japanese breaks between any two characters: the end
    // of a sentence went to a line of its own ("…してくださ" / "い。"). The lines as Vask breaks them stay.
    void everyLineOfABoxStaysWhole() {
        const char* const texts[] = {
            "ﾌｧｲﾙ先頭にあるｺﾒﾝﾄをよくお読みの上、ご自身の責任において編集してください。\n編集しますか?",
            "起動ｵﾌﾟｼｮﾝが異常。またはｱｲｺﾝへのﾄﾞﾗｯｸﾞｱﾝﾄﾞﾄﾞﾛｯﾌﾟは出来ません。",
            "削除対象のﾄﾞﾗｲﾌﾞをﾘｾｯﾄしました。\nもう一度削除対象のﾄﾞﾗｲﾌﾞをﾁｪｯｸし直してください。",
        };
        QtPrompter prompter;
        for (const char* text : texts) {
            QString cut;
            AnswerNextBox([&](QMessageBox& box) {
                auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
                if (label == nullptr) {
                    cut = QStringLiteral("no label");
                    return nullptr;
                }
                for (const QString& line : label->text().split(QLatin1Char('\n'))) {
                    if (label->fontMetrics().horizontalAdvance(line) > label->contentsRect().width())
                        cut = line;
                }
                return nullptr;
            });
            prompter.Ask(Prompt{text, "", PromptButtons::Ok, PromptIcon::None});
            QVERIFY2(cut.isEmpty(), qPrintable(cut));
        }
    }

    // The main window of an unattended run is never shown: a box over it came up in the top left corner,
    // centred on where that hidden window would be. Over a shown window it stays centred on the window.
    void boxesOverAHiddenWindowComeUpInTheMiddleOfTheScreen() {
        QWidget hidden;
        hidden.setGeometry(0, 0, 100, 80);
        QWidget shown;
        shown.setGeometry(0, 0, 200, 160);
        shown.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shown));
        const struct {
            QWidget* parent;
            QPoint centre;
        } cases[] = {
            {&hidden, QApplication::primaryScreen()->availableGeometry().center()},
            {&shown, shown.frameGeometry().center()},
        };
        for (const auto& c : cases) {
            QtPrompter prompter(c.parent);
            QPoint centre;
            QWidget* owner = &hidden;
            AnswerNextBox([&](QMessageBox& box) {
                centre = box.frameGeometry().center();
                owner = box.parentWidget();
                return nullptr;
            });
            prompter.Ask(
                Prompt{"初回起動ではｻｲﾚﾝﾄﾓｰﾄﾞ実行出来ません。", "", PromptButtons::Ok, PromptIcon::None});
            QVERIFY2((centre - c.centre).manhattanLength() < 120,
                     qPrintable(QStringLiteral("at %1,%2").arg(centre.x()).arg(centre.y())));
            QCOMPARE(owner, c.parent == &hidden ? nullptr : c.parent);
        }
    }

    void topmostBoxesAndTheConsoleBoxes() {
        QtPrompter prompter;
        bool onTop = false;
        AnswerNextBox([&](QMessageBox& box) {
            onTop = box.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            return box.button(QMessageBox::No);
        });
        Prompt question{"強制終了してよろしいですか?", "", PromptButtons::YesNo, PromptIcon::Question};
        question.topmost = true;
        QCOMPARE(prompter.Ask(question), PromptAnswer::No);
        QVERIFY(onTop);

        // Without a display: two lines each, and the answer that disposes of nothing.
        struct Case {
            Prompt prompt;
            PromptAnswer answer;
            std::string lines;
        };
        const Case cases[] = {
            {{"初回起動では\n一度", "", PromptButtons::Ok, PromptIcon::None},
             PromptAnswer::Ok,
             "Vask\n初回起動では 一度\n"},
            {{"*.*?", "", PromptButtons::YesNo, PromptIcon::Question},
             PromptAnswer::No,
             "Vask\n*.*? -> いいえ\n"},
            {{"q", "ﾌｧｲﾙの移動の確認", PromptButtons::YesNoCancel, PromptIcon::None},
             PromptAnswer::Cancel,
             "ﾌｧｲﾙの移動の確認\nq -> キャンセル\n"},
            {{"r", "", PromptButtons::RetryCancel, PromptIcon::None},
             PromptAnswer::Cancel,
             "Vask\nr -> キャンセル\n"},
            {{"o", "", PromptButtons::OkCancel, PromptIcon::None},
             PromptAnswer::Cancel,
             "Vask\no -> キャンセル\n"},
        };
        for (const Case& c : cases) {
            std::ostringstream out;
            StderrPrompter console(out);
            QCOMPARE(console.Ask(c.prompt), c.answer);
            QCOMPARE(out.str(), c.lines);
        }
    }

    void signShowsThePhaseAndOffersTheStopOnLeftAndRightPresses() {
        QtNotificationSign none(false);
        none.Add(189, "x");
        QCOMPARE(none.ShownKind(), QtNotificationSign::Kind::None);
        QVERIFY(none.Window() == nullptr && none.TrayIcon() == nullptr);

        QtNotificationSign sign(true, false);
        int presses = 0;
        sign.OnClick([&] { ++presses; });
        sign.Add(189, "Vaskがｻｲﾚﾝﾄﾓｰﾄﾞ実行中...");
        QCOMPARE(sign.ShownKind(), QtNotificationSign::Kind::Window);
        QWidget* window = sign.Window();
        QVERIFY(window != nullptr && window->isVisible());
        QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
        bool tipShown = false;
        for (QLabel* label : window->findChildren<QLabel*>())
            tipShown = tipShown || label->text() == QStringLiteral("Vaskがｻｲﾚﾝﾄﾓｰﾄﾞ実行中...");
        QVERIFY(tipShown);
        sign.Modify(171);
        QTest::mousePress(window, Qt::LeftButton);
        QTest::mousePress(window, Qt::RightButton);
        QTest::mousePress(window, Qt::MiddleButton);
        QTRY_COMPARE(presses, 2);
        QTest::qWait(20);
        QCOMPARE(presses, 2);
        sign.Remove();
        QVERIFY(sign.Window() == nullptr);
        QCOMPARE(sign.ShownKind(), QtNotificationSign::Kind::None);
    }

    // A Yes to the stop question removes the sign; the press that asked it must be over by then, or the
    // removal deletes the window under its own event handler (the right button's context-menu event
    // then reaches a deleted widget).
    void aPressIsAnsweredAfterItsEventSoTheHandlerMayRemoveTheSign() {
        for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            QtNotificationSign sign(true, false);
            bool pressReturned = false;
            int answered = 0;
            sign.OnClick([&] {
                QVERIFY(pressReturned);
                ++answered;
                sign.Remove();
            });
            sign.Add(189, "x");
            QTest::mousePress(sign.Window(), button);
            pressReturned = true;
            QTRY_COMPARE(answered, 1);
            QVERIFY(sign.Window() == nullptr);
        }
    }

    void launcherHandsOverExactUrlsAndFindsTheHelpPage() {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("trash"), &recorder, "Open");
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QDir(folder.path()).mkpath(QStringLiteral("share/vask/help"));
        QDir(folder.path()).mkpath(QStringLiteral("bin"));
        const QString installed = folder.filePath(QStringLiteral("share/vask/help/index.html"));
        QFile page(installed);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();

        const QStringList candidates =
            DesktopLauncher::StandardHelpPageCandidates(folder.filePath(QStringLiteral("bin")));
        QCOMPARE(DesktopLauncher::FindHelpPage(candidates), QFileInfo(installed).canonicalFilePath());
        DesktopLauncher launcher(DesktopLauncher::FindHelpPage(candidates));
        QVERIFY(launcher.OpenFile(std::string("/tmp/a b%/\xff\xe3\x81\x82.txt")));
        QVERIFY(launcher.OpenTrash());
        QVERIFY(launcher.OpenHelp());
        QCOMPARE(recorder.urls.size(), 3);
        QCOMPARE(recorder.urls[0].toEncoded(), QByteArray("file:///tmp/a%20b%25/%FF%E3%81%82.txt"));
        QCOMPARE(recorder.urls[1].toString(), QStringLiteral("trash:///"));
        QCOMPARE(recorder.urls[2], QUrl::fromLocalFile(QFileInfo(installed).canonicalFilePath()));

        QVERIFY(!DesktopLauncher(QString()).OpenHelp());
        QVERIFY(!DesktopLauncher(folder.filePath(QStringLiteral("missing.html"))).OpenHelp());
        QCOMPARE(recorder.urls.size(), 3);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("trash"));
    }
};

std::unique_ptr<QObject> NewWidgetsTest() {
    return std::make_unique<WidgetsTest>();
}

#include "WidgetsTest.moc"
