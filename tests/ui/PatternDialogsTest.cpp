// The wizard and editor windows' wiring: controls and captions, the check list and its clicks, the input
// lock, OK into the main window's pattern box (through the real Wizard button), Edit, Revert, the editor's
// save and its tooltips.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "app/core/MainDialogController.h"
#include "app/ui/MainWindow.h"
#include "patterns/PatternListFile.h"
#include "patterns/ui/PatternListEditDialog.h"
#include "patterns/ui/PatternWizardDialog.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeLauncher.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryDialogState.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "platform/fakes/SpelledCp932Decoder.h"

using namespace vask;

namespace {

const char kList[] = "' head\r\n<A>\r\n*.bak\r\n---\r\n*.old\r\n<その他>\r\n<end>\r\n";

void PutList(MemoryFileSystem& fs, const std::string& content) {
    auto node = fs.AddFile("/cwd/VaskFile.Txt", 0);
    node->content = content;
    node->size = content.size();
}

std::string ListOf(MemoryFileSystem& fs) {
    return MemoryFileSystem::ContentOf(*fs.Find("/cwd/VaskFile.Txt"));
}

struct WizardHarness {
    MemoryFileSystem fs;
    ScriptedPrompter prompter;
    MemoryDialogState box;
    SpelledCp932Decoder decoder;
    bool tooltips = true;
    std::unique_ptr<PatternWizardDialog> dialog;

    void Open(std::function<bool()> runEditor = {}) {
        dialog = std::make_unique<PatternWizardDialog>(
            PatternWizardPorts{box,
                               prompter,
                               fs,
                               decoder,
                               [this] { return SplitPatternText(box.patternText); },
                               [this] { return tooltips; },
                               std::move(runEditor),
                               {}});
        dialog->Start();
        dialog->show();
    }
    QListView* List() const { return qobject_cast<QListView*>(dialog->Control(1059)); }
    Qt::CheckState State(int row) const {
        return List()->model()->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>();
    }
    void ClickBox(int row) const {
        QListView* list = List();
        QStyleOptionViewItem option;
        option.initFrom(list->viewport());
        option.widget = list;
        option.rect = list->visualRect(list->model()->index(row, 0));
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    }
    void WaitForUnlock() const { QTRY_VERIFY_WITH_TIMEOUT(!dialog->InputLocked(), 2000); }
};

QString TooltipOf(QWidget* target) {
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000)) return QStringLiteral("(stuck)");
    const QPoint local = target->rect().center();
    QHelpEvent request(QEvent::ToolTip, local, target->mapToGlobal(local));
    QApplication::sendEvent(target, &request);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

}  // namespace

class PatternDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void wizardHasItsControlsAndShowsTheList() {
        WizardHarness h;
        PutList(h.fs, kList);
        h.box.patternText = "*.BAK";
        h.Open();
        QCOMPARE(h.dialog->windowTitle(), QString::fromUtf8(kWizardCaption));
        const std::pair<int, const char*> buttons[] = {
            {1, "OK"}, {2, "キャンセル"}, {1061, "編集(&E)"}, {1062, "元に戻す(&U)"}};
        for (const auto& [id, caption] : buttons) {
            auto* button = qobject_cast<QPushButton*>(h.dialog->Control(id));
            QVERIFY2(button != nullptr, caption);
            QCOMPARE(button->text(), QString::fromUtf8(caption));
        }
        QCOMPARE(h.dialog->findChild<QLabel*>()->text(), QString::fromUtf8("ﾌｧｲﾙ名(&F)"));
        QAbstractItemModel* model = h.List()->model();
        QCOMPARE(model->rowCount(), 6);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("<A>"));
        QCOMPARE(h.State(0), Qt::PartiallyChecked);
        QCOMPARE(h.State(1), Qt::Checked);
        QVERIFY(!(model->flags(model->index(2, 0)) & Qt::ItemIsEnabled));  // separator
        QVERIFY(!(model->flags(model->index(5, 0)) & Qt::ItemIsEnabled));  // last line
        QVERIFY(model->flags(model->index(3, 0)) & Qt::ItemIsUserCheckable);
        // Cancel leaves the pattern box as it was.
        h.box.patternItems = {"*.x"};
        QTest::mouseClick(h.dialog->Control(2), Qt::LeftButton);
        QCOMPARE(h.dialog->result(), int(QDialog::Rejected));
        QCOMPARE(h.box.patternText, std::string("*.BAK"));
        QCOMPARE(h.box.patternItems.size(), std::size_t(1));
    }

    void headerClickTicksItsSectionAndLocksInputFor500Ms() {
        WizardHarness h;
        PutList(h.fs, kList);
        h.box.patternText = "*.bak";
        h.Open();
        QVERIFY(QTest::qWaitForWindowExposed(h.dialog.get()));
        h.ClickBox(0);  // partly ticked: unticked with its section
        QCOMPARE(h.State(0), Qt::Unchecked);
        QCOMPARE(h.State(1), Qt::Unchecked);
        QVERIFY(h.dialog->InputLocked());
        h.ClickBox(3);  // within the lock: not received
        QCOMPARE(h.State(3), Qt::Unchecked);
        h.WaitForUnlock();
        h.ClickBox(0);
        QCOMPARE(h.State(1), Qt::Checked);
        QCOMPARE(h.State(3), Qt::Checked);
        QCOMPARE(h.State(2), Qt::Unchecked);  // the separator stays as it was
        h.WaitForUnlock();
        h.ClickBox(5);  // the disabled closing line
        QCOMPARE(h.State(5), Qt::Unchecked);
        h.WaitForUnlock();
        // A key that moves the current line is a click too: it locks the input.
        QTest::keyClick(h.List(), Qt::Key_Down);
        QVERIFY(h.dialog->InputLocked());
        h.WaitForUnlock();
        QTest::mouseClick(h.dialog->Control(1), Qt::LeftButton);
        QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
        QCOMPARE(h.box.patternText, std::string("*.bak;*.old"));
    }

    void editAndRevertReloadTheList() {
        WizardHarness h;
        PutList(h.fs, kList);
        auto defaults = h.fs.AddFile("/cwd/VaskFile._xt", 0);
        defaults->content = "<D>\r\n*.d\r\n<end>\r\n";
        defaults->size = defaults->content.size();
        h.Open([&h] {
            PutList(h.fs, "<E>\r\n*.e\r\n<end>\r\n");
            return true;
        });
        h.prompter.Answer(PromptAnswer::Yes);
        QTest::mouseClick(h.dialog->Control(1061), Qt::LeftButton);
        QCOMPARE(h.List()->model()->rowCount(), 3);
        QCOMPARE(h.List()->model()->index(0, 0).data().toString(), QStringLiteral("<E>"));
        h.prompter.Answer(PromptAnswer::Yes);
        QTest::mouseClick(h.dialog->Control(1062), Qt::LeftButton);
        QCOMPARE(h.List()->model()->index(1, 0).data().toString(), QStringLiteral("*.d"));
        QCOMPARE(ListOf(h.fs), std::string("<D>\r\n*.d\r\n<end>\r\n"));
        QCOMPARE(h.prompter.UnexpectedCount(), 0);
    }

    void tooltipsFollowTheOption() {
        WizardHarness h;
        PutList(h.fs, kList);
        h.Open();
        QVERIFY(QTest::qWaitForWindowExposed(h.dialog.get()));
        QCOMPARE(TooltipOf(h.List()->viewport()), QString::fromUtf8("削除ﾌｧｲﾙをﾁｪｯｸしてください。"));
        QCOMPARE(
            TooltipOf(h.dialog->Control(1062)),
            QString::fromUtf8("削除ﾌｧｲﾙ入力ﾘｽﾄをﾃﾞﾌｫﾙﾄに戻します。編集に失敗した場合にご使用ください。"));
        h.tooltips = false;
        QCOMPARE(TooltipOf(h.dialog->Control(1061)), QString());
    }

    void editorShowsTheFileAndSavesWhatWasTyped() {
        MemoryFileSystem fs;
        PutList(fs, "<A>\r\n*.bak");
        ScriptedPrompter prompter;
        SpelledCp932Decoder decoder;
        PatternListEditDialog editor(fs, prompter, decoder, [] { return true; });
        QCOMPARE(editor.windowTitle(), QString::fromUtf8(kEditorCaption));
        QVERIFY(editor.Start());
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QPlainTextEdit* box = editor.EditBox();
        QCOMPARE(box->objectName(), QStringLiteral("id1061"));
        QCOMPARE(box->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(box->toPlainText(), QStringLiteral("<A>\n*.bak\n"));
        QCOMPARE(TooltipOf(box->viewport()), QString::fromUtf8("ご自身の責任においてご使用ください。"));
        // Enter inserts a line break and does not press OK.
        box->setFocus();
        box->moveCursor(QTextCursor::End);
        QTest::keyClicks(box, "*.tmp");
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(editor.isVisible());
        prompter.Answer(PromptAnswer::Yes);
        QTest::mouseClick(editor.findChild<QPushButton*>(QStringLiteral("id1")), Qt::LeftButton);
        QCOMPARE(editor.result(), int(QDialog::Accepted));
        QCOMPARE(ListOf(fs), std::string("<A>\r\n*.bak\r\n*.tmp\r\n"));
        QCOMPARE(prompter.Prompts().front().text, std::string(kSaveQuestion));
    }

    void editorStaysOpenWhenTheSaveFails() {
        MemoryFileSystem fs;
        PutList(fs, "old\r\n");
        ScriptedPrompter prompter({PromptAnswer::Yes, PromptAnswer::Ok});
        SpelledCp932Decoder decoder;
        PatternListEditDialog editor(fs, prompter, decoder, [] { return false; });
        QVERIFY(editor.Start());
        editor.show();
        editor.EditBox()->appendPlainText(QStringLiteral("new"));
        fs.FailNthCall(FsOperation::Rename, 1, EXDEV);
        QTest::mouseClick(editor.findChild<QPushButton*>(QStringLiteral("id1")), Qt::LeftButton);
        QVERIFY(editor.isVisible());
        QCOMPARE(ListOf(fs), std::string("old\r\n"));
        QCOMPARE(prompter.Prompts().size(), std::size_t(2));
    }

    void wizardButtonOfTheMainWindowPutsTheTickedPatternsIntoThePatternBox() {
        MemoryFileSystem fs;
        PutList(fs, kList);
        FakeClock clock;
        MemoryEnvironment environment;
        FakeVolumeSource volumes;
        FakeLauncher launcher;
        MemoryProfileStore profile;
        ScriptedPrompter prompter;
        MainWindow window;
        MainDialogController controller(
            MainDialogPorts{window, prompter, clock, fs, environment, volumes, launcher, profile});
        window.Bind(controller);
        controller.Start();
        window.InsertPatternItem(0, "*.old");
        window.SetPatternText("*.old;*.new");
        bool sawWizard = false;
        QTimer::singleShot(0, [&] {
            auto* wizard = qobject_cast<PatternWizardDialog*>(QApplication::activeModalWidget());
            if (wizard == nullptr) return;
            sawWizard = true;
            QCOMPARE(wizard->Wizard().List().BuildPatternText(), std::string("*.old;*.new"));
            wizard->Wizard().List().ToggleByUser(1);  // *.bak
            wizard->Wizard().OnPatternListClicked();
            wizard->accept();
        });
        QTest::mouseClick(window.Control(control::kWizard), Qt::LeftButton);
        QVERIFY(sawWizard);
        QCOMPARE(window.PatternText(), std::string("*.bak;*.old;*.new"));
        QCOMPARE(window.PatternItemCount(), 0);
        // The box takes the text of a long list whole: a cut one could end in a pattern that names more.
        std::string longText;
        for (int i = 0; longText.size() < 40000; ++i)
            longText += "*.ext" + std::to_string(i) + ";";
        window.SetPatternText(longText);
        QCOMPARE(window.PatternText().size(), longText.size());
    }
};

QTEST_MAIN(PatternDialogsTest)
#include "PatternDialogsTest.moc"
