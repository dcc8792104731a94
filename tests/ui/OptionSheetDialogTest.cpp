// The options sheet's wiring: ids, kinds, captions, tab captions and tab order of the five pages, the
// tooltips, the tab switch a page refuses, the bytes an edit gives back, the WAVE picker's filters and the
// log list. Behaviour itself is the core's (tests/settings/OptionSheetTest.cpp).
#include <QAbstractButton>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <functional>

#include "platform/fakes/FakeSoundPlayer.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "settings/OptionSheet.h"
#include "settings/ui/LogListModel.h"
#include "settings/ui/OptionSheetDialog.h"

using namespace vask;
using P = OptionPage;

namespace {

struct Harness {
    MemoryFileSystem fs;
    FakeVolumeSource volumes;
    MemoryEnvironment environment;
    FakeSoundPlayer sound;
    MemoryProfileStore profile;
    ScriptedPrompter prompter;
    ProfileSettings settings;
    OptionSheetDialog dialog;
    OptionSheet sheet{OptionSheetPorts{dialog, prompter, fs, volumes, environment, sound, profile}, settings};

    Harness() {
        environment.variables = {{"HOME", "/home/ann"}};
        settings = DefaultProfileSettings(environment);
        volumes.Add("/", "ext4", "", 1, 1);
        fs.AddFolder("/usr/");
        dialog.Bind(sheet);
    }
    // Runs the sheet; body runs inside it, then the sheet is cancelled unless body closed it.
    OptionSheetOutcome Run(const std::function<void()>& body) {
        QTimer::singleShot(0, &dialog, [&] {
            body();
            if (dialog.isVisible()) dialog.reject();
        });
        return sheet.Run();
    }
    template <class T>
    T* Get(P page, int id) const {
        return qobject_cast<T*>(dialog.Control(page, id));
    }
};

QString Caption(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    return {};
}

QString TooltipOf(QWidget* target) {
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000)) return QStringLiteral("(stuck)");
    const QPoint local = target->rect().center();
    QHelpEvent request(QEvent::ToolTip, local, target->mapToGlobal(local));
    QApplication::sendEvent(target, &request);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The ids of a page's controls in focus-chain order, from its first control.
QList<int> TabOrder(const OptionSheetDialog& dialog, P page, int first, qsizetype count) {
    QList<int> order;
    QWidget* start = dialog.Control(page, first);
    QWidget* widget = start;
    do {
        const QString name = widget->objectName();
        if (name.startsWith(QStringLiteral("id")) && widget->parentWidget() != nullptr &&
            dialog.Page(page)->isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus) != 0) {
            order.append(name.mid(2).toInt());
        }
        widget = widget->nextInFocusChain();
    } while (widget != start && order.size() < count);
    return order;
}

}  // namespace

class OptionSheetDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void pagesHaveTheirControlsCaptionsTabsAndTabOrder() {
        Harness h;
        QCOMPARE(h.dialog.windowTitle(), QString::fromUtf8("ｵﾌﾟｼｮﾝ設定"));
        const char* tabs[] = {"削除方法", "回避ﾌｫﾙﾀﾞ", "全ﾌｧｲﾙ削除ﾌｫﾙﾀﾞ", "各種機能", "削除ﾛｸﾞ表示"};
        QCOMPARE(h.dialog.TabBar()->count(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(h.dialog.TabBar()->tabText(i), QString::fromUtf8(tabs[i]));
        // OK and Cancel only.
        QStringList buttons;
        for (QPushButton* button : h.dialog.findChildren<QPushButton*>()) {
            if (button->parentWidget() == &h.dialog) buttons << button->text();
        }
        QCOMPARE(buttons, (QStringList{QStringLiteral("OK"), QString::fromUtf8("キャンセル")}));

        struct Expected {
            P page;
            int id;
            const char* className;
            const char* caption;
        };
        QList<Expected> expected = {
            {P::Disposal, 1006, "QRadioButton", "ごみ箱へ(&G)"},
            {P::Disposal, 1007, "QRadioButton", "特定ﾌｫﾙﾀﾞへ(&S)"},
            {P::Disposal, 1009, "QRadioButton", "通常削除(&D)"},
            {P::Disposal, 1087, "QRadioButton", "圧縮(&L)"},
            {P::Disposal, 1008, "QLineEdit", nullptr},
            {P::Disposal, 1069, "QPushButton", "参照..."},
            {P::Disposal, 1010, "QLineEdit", nullptr},
            {P::Disposal, 1070, "QPushButton", "参照..."},
            {P::Functions, 1009, "QCheckBox", "削除ﾛｸﾞ作成(&L)"},
            {P::Functions, 1010, "QCheckBox", "その都度上書き(&U)"},
            {P::Functions, 1012, "QCheckBox", "ﾊｰﾄﾞﾃﾞｨｽｸのみ表示(&D)"},
            {P::Functions, 1032, "QCheckBox", "ﾂｰﾙﾋﾝﾄを表示(&H)"},
            {P::Functions, 1050, "QCheckBox", "ﾘｰﾄﾞｵﾝﾘｰﾌｫﾙﾀﾞを対象(&R)"},
            {P::Functions, 1035, "QCheckBox", "最近使ったﾌｧｲﾙを削除(&C)"},
            {P::Functions, 1041, "QCheckBox", "ﾃﾝﾎﾟﾗﾘﾌｫﾙﾀﾞのﾌｧｲﾙを削除(&T)"},
            {P::Functions, 1036, "QCheckBox", "削除終了時のWAVE再生(&W)"},
            {P::Functions, 1038, "QLineEdit", nullptr},
            {P::Functions, 1039, "QPushButton", "参照..."},
            {P::Functions, 1040, "QPushButton", "試聴"},
            {P::LogView, 1009, "QListView", nullptr},
            {P::LogView, 144, "QPushButton", "ﾘｾｯﾄ(&R)"},
        };
        QList<int> folderOrder[2];
        for (P page : {P::AvoidFolders, P::AllFilesFolders}) {
            for (int k = 0; k < 8; ++k) {
                expected.append({page, FirstFolderEdit(page) + k, "QLineEdit", nullptr});
                expected.append({page, 1071 + k, "QPushButton", "参照..."});
                folderOrder[page == P::AllFilesFolders] << FirstFolderEdit(page) + k << 1071 + k;
            }
        }
        for (const Expected& e : expected) {
            QWidget* widget = h.dialog.Control(e.page, e.id);
            QVERIFY2(widget != nullptr, qPrintable(QString::number(e.id)));
            QVERIFY2(widget->inherits(e.className), qPrintable(QString::number(e.id)));
            if (e.caption != nullptr) QCOMPARE(Caption(widget), QString::fromUtf8(e.caption));
        }
        for (auto [page, id] :
             {std::pair{P::Disposal, 1008}, {P::AvoidFolders, 1107}, {P::AllFilesFolders, 1079}})
            QCOMPARE(h.Get<QLineEdit>(page, id)->maxLength(), 246);
        // Labels: "ﾌｫﾙﾀﾞ名" above or beside the edits they name.
        for (P page : {P::AvoidFolders, P::AllFilesFolders}) {
            auto* label = h.dialog.Page(page)->findChild<QLabel*>(QStringLiteral("labelFolder"));
            QCOMPARE(label->text(), QString::fromUtf8("ﾌｫﾙﾀﾞ名(&F)"));
            QCOMPARE(label->buddy(), h.dialog.Control(page, FirstFolderEdit(page)));
        }
        QCOMPARE(h.dialog.Page(P::Disposal)->findChild<QLabel*>("labelLzhFolder")->text(),
                 QString::fromUtf8("ﾌｫﾙﾀﾞ名(&R)"));

        QCOMPARE(TabOrder(h.dialog, P::Disposal, 1006, 8),
                 (QList<int>{1006, 1007, 1009, 1087, 1008, 1069, 1010, 1070}));
        QCOMPARE(TabOrder(h.dialog, P::AvoidFolders, 1100, 16), folderOrder[0]);
        QCOMPARE(TabOrder(h.dialog, P::AllFilesFolders, 1079, 16), folderOrder[1]);
        QCOMPARE(TabOrder(h.dialog, P::Functions, 1009, 11),
                 (QList<int>{1009, 1010, 1012, 1032, 1050, 1035, 1041, 1036, 1038, 1039, 1040}));
        QCOMPARE(TabOrder(h.dialog, P::LogView, 1009, 2), (QList<int>{1009, 144}));
    }

    void tooltipsComeFromTheSheetAndFollowItsFlag() {
        Harness h;
        h.fs.AddFolder("/tmp/");
        h.environment.variables["TMPDIR"] = "/tmp";
        h.Run([&] {
            h.dialog.ChooseTab(P::Functions);
            h.dialog.ChooseTab(P::LogView);
            const struct {
                P page;
                QWidget* target;
                const char* text;  // "" for none
            } cases[] = {
                {P::Disposal, h.dialog.Control(P::Disposal, 1006), "削除ﾌｧｲﾙをごみ箱に移動させます。"},
                {P::Disposal, h.dialog.Control(P::Disposal, 1008),
                 "/home/ann/Backup/ﾌｫﾙﾀﾞをおすすめします。"},
                {P::Disposal, h.dialog.Control(P::Disposal, 1069), ""},
                {P::AvoidFolders, h.dialog.Control(P::AvoidFolders, 1103),
                 "削除対象にしたくないﾌｫﾙﾀﾞ名を入力します。"},
                {P::AllFilesFolders, h.dialog.Control(P::AllFilesFolders, 1086),
                 "全ﾌｧｲﾙを削除したいﾌｫﾙﾀﾞ名を入力します。"},
                {P::Functions, h.dialog.Control(P::Functions, 1041),
                 "/tmp/ﾌｫﾙﾀﾞのﾌｧｲﾙをｸﾘｱするときはﾁｪｯｸします。"},
                {P::Functions, h.dialog.Control(P::Functions, 1009), "削除結果をVask.Logﾌｧｲﾙに記録します。"},
                {P::LogView, h.Get<QListView>(P::LogView, 1009)->viewport(), "Vask.Logの内容を表示します。"},
                {P::LogView, h.dialog.Control(P::LogView, 144), "Vask.Logをﾘｾｯﾄします。"},
            };
            for (const auto& c : cases)
                QCOMPARE(TooltipOf(c.target), QString::fromUtf8(c.text));
            h.settings.bToolTip = 0;
            for (const auto& c : cases)
                QCOMPARE(TooltipOf(c.target), QString());
        });
    }

    void aRefusedPageKeepsItsTabAndAnUnboundSheetDoesNothing() {
        Harness h;
        h.Run([&] {
            h.dialog.ChooseTab(P::AvoidFolders);
            QCOMPARE(h.sheet.CurrentPage(), P::AvoidFolders);
            h.Get<QLineEdit>(P::AvoidFolders, 1102)->setText(QStringLiteral("/nowhere"));
            h.dialog.ChooseTab(P::Functions);
            QCOMPARE(h.dialog.TabBar()->currentIndex(), 1);
            QCOMPARE(h.dialog.findChild<QStackedWidget*>()->currentIndex(), 1);
            QCOMPARE(h.Get<QLineEdit>(P::AvoidFolders, 1102)->selectedText(), QStringLiteral("/nowhere"));
            // The page's OK is refused the same way.
            QTest::mouseClick(h.dialog.findChild<QPushButton*>("id1"), Qt::LeftButton);
            QVERIFY(h.dialog.isVisible());
        });
        QCOMPARE(h.prompter.Prompts().size(), std::size_t{2});
        QCOMPARE(h.prompter.Prompts()[0].text, std::string(kFolderMissingMessage));

        // The pages themselves hold no rule: without a sheet, ticking 1036 enables nothing.
        OptionSheetDialog unbound;
        unbound.SetEnabled(P::Functions, 1038, false);
        qobject_cast<QCheckBox*>(unbound.Control(P::Functions, 1036))->click();
        QVERIFY(!unbound.Control(P::Functions, 1038)->isEnabled());
        h.Run([&] {
            h.dialog.ChooseTab(P::Functions);
            QVERIFY(!h.dialog.Control(P::Functions, 1038)->isEnabled());
            h.Get<QCheckBox>(P::Functions, 1036)->click();
            QVERIFY(h.dialog.Control(P::Functions, 1038)->isEnabled());
            h.Get<QRadioButton>(P::Disposal, 1087)->click();
            QVERIFY(h.dialog.Control(P::Disposal, 1010)->isEnabled());
        });
    }

    void editsGiveBackTheBytesTheyWereGivenUntilChanged() {
        OptionSheetDialog dialog;
        const std::string notUtf8 = "/home/ann/\x95\x5c\xff/";
        const std::string longText = "/" + std::string(400, 'a') + "/";
        dialog.SetText(P::AvoidFolders, 1100, notUtf8);
        dialog.SetText(P::AvoidFolders, 1101, longText);
        QCOMPARE(dialog.Text(P::AvoidFolders, 1100), notUtf8);
        QCOMPARE(dialog.Text(P::AvoidFolders, 1101), longText);
        qobject_cast<QLineEdit*>(dialog.Control(P::AvoidFolders, 1100))->setText(QStringLiteral("/tmp"));
        QCOMPARE(dialog.Text(P::AvoidFolders, 1100), std::string("/tmp"));
        dialog.SetText(P::AvoidFolders, 1101, "/x/");
        QCOMPARE(qobject_cast<QLineEdit*>(dialog.Control(P::AvoidFolders, 1101))->maxLength(), 246);

        // Radio buttons can show no method at all (a stored value out of range).
        dialog.SetTicked(P::Disposal, 1007, true);
        dialog.SetTicked(P::Disposal, 1007, false);
        for (int id : {1006, 1007, 1009, 1087})
            QVERIFY(!dialog.IsTicked(P::Disposal, id));
        dialog.SetTicked(P::Disposal, 1009, true);
        QVERIFY(dialog.IsTicked(P::Disposal, 1009));
    }

    void theWavePickerListsSoundsThenEveryFile() {
        QTemporaryDir dir;
        for (const char* name : {"ding.wav", "CHIME.WAV", "notes.txt", "README"}) {
            QFile file(dir.filePath(QString::fromUtf8(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const auto picker =
            OptionSheetDialog::MakeWavePicker(nullptr, dir.filePath(QStringLiteral("ding.wav")));
        QCOMPARE(picker->nameFilters(),
                 (QStringList{QString::fromUtf8("ｻｳﾝﾄﾞ (*.wav)"), QString::fromUtf8("すべてのﾌｧｲﾙ (*.*)")}));
        QCOMPARE(picker->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(picker->directory().absolutePath(), QDir(dir.path()).absolutePath());
        auto* model = picker->findChild<QFileSystemModel*>();
        QVERIFY(model != nullptr);
        const auto listed = [&] {
            QStringList names;
            const QModelIndex folder = model->index(dir.path());
            for (int row = 0; row < model->rowCount(folder); ++row)
                names << model->index(row, 0, folder).data().toString();
            names.sort();
            return names;
        };
        QVERIFY(QTest::qWaitFor([&] { return listed().size() == 2; }, 5000));
        QCOMPARE(listed(), (QStringList{QStringLiteral("CHIME.WAV"), QStringLiteral("ding.wav")}));
        picker->selectNameFilter(QString::fromUtf8("すべてのﾌｧｲﾙ (*.*)"));
        QVERIFY(QTest::qWaitFor([&] { return listed().size() == 4; }, 5000));
    }

    void theLogPageListsTheLogAtItsEndAndResetEmptiesIt() {
        Harness h;
        std::string log;
        for (int i = 0; i < 500; ++i)
            log += "/home/ann/file" + std::to_string(i) + ".bak\r\n";
        auto node = h.fs.AddFile("/cwd/Vask.Log");
        node->content = log + std::string(300, 'x') + "\r\n";
        node->size = node->content.size();
        h.prompter.Answer(PromptAnswer::Yes);
        h.dialog.resize(600, 400);
        h.Run([&] {
            h.dialog.ChooseTab(P::LogView);
            auto* list = h.Get<QListView>(P::LogView, 1009);
            QCOMPARE(list->model()->rowCount(), 502);
            QCOMPARE(list->model()->index(501, 0).data().toString(), QString(41, QLatin1Char('x')));
            QVERIFY(QTest::qWaitFor([&] {
                return list->verticalScrollBar()->maximum() > 0 &&
                       list->verticalScrollBar()->value() == list->verticalScrollBar()->maximum();
            }));
            QVERIFY(list->horizontalScrollBar()->maximum() > 0);  // the 259-byte item is wider than the list
            QVERIFY(!(list->model()->flags(list->model()->index(0, 0)) & Qt::ItemIsSelectable));
            h.Get<QPushButton>(P::LogView, 144)->click();
            QCOMPARE(list->model()->rowCount(), 0);
        });
        QVERIFY(h.fs.Find("/cwd/Vask.Log") == nullptr);
    }
};

QTEST_MAIN(OptionSheetDialogTest)
#include "OptionSheetDialogTest.moc"
