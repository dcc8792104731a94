// The main window's wiring: controls, captions, tab order, default button, start states, tooltips, closing
// during a search, and the result list during and after a real search over an in-memory volume.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <functional>

#include "UiTests.h"
#include "app/core/MainDialogController.h"
#include "app/ui/ListDelegates.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ResultListModel.h"
#include "app/ui/SearchClipWidget.h"
#include "app/ui/UpDownControl.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeLauncher.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"

using namespace vask;

namespace {

const QString kInitialStatus = QString::fromUtf8(kInitialStatusText);

// The window over in-memory ports, as the application builds it.
struct Harness {
    MemoryFileSystem fileSystem;
    FakeClock clock;
    MemoryEnvironment environment;
    FakeVolumeSource volumes;
    FakeLauncher launcher;
    MemoryProfileStore profile;
    ScriptedPrompter prompter;
    MainWindow window;
    std::unique_ptr<MainDialogController> controller;

    void Start() {
        controller = std::make_unique<MainDialogController>(
            MainDialogPorts{window, prompter, clock, fileSystem, environment, volumes, launcher, profile});
        window.Bind(*controller);
        controller->Start();
    }
    template <class T>
    T* Get(int id) const {
        return qobject_cast<T*>(window.Control(id));
    }
    QListView* Results() const { return Get<QListView>(control::kResultList); }
    // A volume /vol/ with three *.bak files (10, 20, 30 bytes) and more in /vol/many/, and a pump at every
    // entry of a walk.
    void AddSearchableVolume(int manyFiles = 0) {
        volumes.Add("/vol/", "ext4", "DATA", 0x1234abcd, 1ull << 30);
        fileSystem.AddFile("/vol/a.bak", 10);
        fileSystem.AddFile("/vol/b.bak", 20);
        fileSystem.AddFile("/vol/keep.txt", 40);
        fileSystem.AddFile("/vol/sub/c.bak", 30);
        for (int i = 0; i < manyFiles; ++i)
            fileSystem.AddFile("/vol/many/f" + std::to_string(1000 + i) + ".bak", 1);
        clock.stepMs = 25;
    }
    void PrepareSearch(const std::string& patterns) {
        window.SetPatternText(patterns);
        window.SetDriveCheckState(0, 1);
    }
};

// The tooltip the window shows for a help request on target, or "" when it shows none.
QString TooltipOf(QWidget* target) {
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000)) return QStringLiteral("(stuck)");
    const QPoint local = target->rect().center();
    QHelpEvent request(QEvent::ToolTip, local, target->mapToGlobal(local));
    QApplication::sendEvent(target, &request);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

QString CaptionOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    return {};
}

// Runs action once from inside the next pump of events (during a search: from inside the walk).
void DuringNextPump(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void everyControlHasItsIdKindAndCaption() {
        Harness h;
        h.Start();
        struct Expected {
            int id;
            const char* className;
            const char* caption;  // nullptr: no caption to check
        };
        const Expected expected[] = {
            {1002, "QListWidget", nullptr},
            {1015, "QComboBox", nullptr},
            {1060, "QPushButton", "Wizard(&W)..."},
            {1066, "QCheckBox", "最終更新日ﾁｪｯｸ(&U)"},
            {1067, "QLineEdit", nullptr},
            {1068, "vask::UpDownControl", nullptr},
            {1001, "QPushButton", "ｵﾌﾟｼｮﾝ設定(&O)..."},
            {1044, "QPushButton", "ごみ箱確認(&G)..."},
            {1017, "QPushButton", "ﾊﾞｰｼﾞｮﾝ情報(&A)..."},
            {57670, "QPushButton", "ﾍﾙﾌﾟ(&H)"},
            {1036, "vask::SearchClipWidget", nullptr},
            {1020, "QListView", nullptr},
            {1021, "QLabel", kInitialStatusText},
            {1029, "QPushButton", "検索(&S)"},
            {1000, "QPushButton", "削除(&L)"},
            {1022, "QPushButton", "中止(&B)"},
            {2, "QPushButton", "キャンセル"},
        };
        for (const Expected& e : expected) {
            QWidget* widget = h.window.Control(e.id);
            QVERIFY2(widget != nullptr, qPrintable(QString::number(e.id)));
            QCOMPARE(widget->objectName(), QStringLiteral("id%1").arg(e.id));
            QVERIFY2(widget->inherits(e.className), qPrintable(QString::number(e.id)));
            if (e.caption != nullptr) QCOMPARE(CaptionOf(widget), QString::fromUtf8(e.caption));
        }
        QCOMPARE(h.window.windowTitle(), QStringLiteral("Vask"));
        const std::pair<const char*, const char*> frames[] = {
            {"groupTargets", "削除対象"}, {"groupResults", "検索結果"}, {"groupStatus", "操作状況"}};
        for (const auto& [name, title] : frames) {
            QCOMPARE(h.window.findChild<QGroupBox*>(name)->title(), QString::fromUtf8(title));
        }
        auto* drive = h.window.findChild<QLabel*>("labelDrive");
        auto* files = h.window.findChild<QLabel*>("labelFiles");
        QCOMPARE(drive->text(), QString::fromUtf8("ﾄﾞﾗｲﾌﾞ(&D)"));
        QCOMPARE(drive->buddy(), h.window.Control(1002));
        QCOMPARE(files->text(), QString::fromUtf8("削除ﾌｧｲﾙ(&F)"));
        QCOMPARE(files->buddy(), h.window.Control(1015));
        QCOMPARE(h.window.findChild<QLabel*>("labelDays")->text(), QString::fromUtf8("日以前"));
        QVERIFY(!h.window.windowIcon().isNull());
        QVERIFY(!h.Get<QPushButton>(1060)->icon().isNull());
    }

    void tabOrderIsTemplateOrder() {
        Harness h;
        h.Start();
        const QList<int> expected{1002, 1015,  1060, 1066, 1067, 1001, 1044,
                                  1017, 57670, 1020, 1029, 1000, 1022, 2};
        QList<int> order;
        QWidget* first = h.window.Control(1002);
        QWidget* widget = first;
        do {
            const QString name = widget->objectName();
            if (name.startsWith(QStringLiteral("id")) && (widget->focusPolicy() & Qt::TabFocus) != 0) {
                order.append(name.mid(2).toInt());
            }
            widget = widget->nextInFocusChain();
        } while (widget != first && order.size() <= expected.size());
        QCOMPARE(order, expected);
        QCOMPARE(h.window.Control(1068)->focusPolicy(), Qt::NoFocus);
    }

    void startStatesDefaultButtonAndFixedSize() {
        Harness h;
        h.Start();
        QVERIFY(h.Get<QPushButton>(1029)->isDefault());
        QVERIFY(!h.window.IsControlEnabled(control::kDelete));
        QVERIFY(!h.window.IsControlEnabled(control::kAbort));
        QVERIFY(h.window.IsControlEnabled(control::kSearch));
        QVERIFY(h.window.IsControlEnabled(control::kCancel));
        // Age box unticked: the day edit and its arrows are off until the box is clicked.
        QVERIFY(!h.window.IsControlEnabled(control::kDayEdit));
        QVERIFY(!h.window.IsControlEnabled(control::kDaySpin));
        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        QTest::mouseClick(h.Get<QCheckBox>(1066), Qt::LeftButton);
        QVERIFY(h.window.IsControlEnabled(control::kDayEdit));
        QVERIFY(h.window.IsControlEnabled(control::kDaySpin));

        QVERIFY(!(h.window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(h.window.minimumSize(), h.window.maximumSize());
        // Every caption gets the room it asks for; the status line holds a long search text.
        for (QWidget* widget : h.window.findChildren<QWidget*>()) {
            if (CaptionOf(widget).isEmpty()) continue;
            if (widget == h.window.Control(control::kStatusLine) || !widget->isVisibleTo(&h.window)) continue;
            QVERIFY2(widget->width() >= widget->sizeHint().width(), qPrintable(widget->objectName()));
            QVERIFY2(widget->height() >= widget->sizeHint().height(), qPrintable(widget->objectName()));
        }
        auto* status = h.Get<QLabel>(control::kStatusLine);
        const QString longest =
            QString::fromUtf8("1000000個中、1000000個のﾌｧｲﾙが選択されています。削除対象容量=999.9GBytes");
        QVERIFY(status->contentsRect().width() >= status->fontMetrics().horizontalAdvance(longest));
        QVERIFY(status->contentsRect().width() >= status->fontMetrics().horizontalAdvance(kInitialStatus));
    }

    void dayEditTakesFiveDigitsAndArrowsStepWithinRange() {
        Harness h;
        h.Start();
        h.window.SetLastDateCheck(1);
        h.controller->OnLastDateCheck();
        auto* edit = h.Get<QLineEdit>(control::kDayEdit);
        edit->clear();
        QCOMPARE(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QTest::keyClicks(edit, "12a-34 5678");
        QCOMPARE(edit->text(), QStringLiteral("12345"));
        edit->clear();
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QStringLiteral("1"));
        edit->setText(QStringLiteral("14000"));
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QStringLiteral("14000"));
        // A typed number above the range steps down from the top of the range.
        edit->setText(QStringLiteral("99999"));
        QTest::mouseClick(h.window.Control(control::kDaySpin)->findChildren<QToolButton*>().at(1),
                          Qt::LeftButton);
        QCOMPARE(edit->text(), QStringLiteral("13999"));
        edit->setText(QStringLiteral("0"));
        QTest::keyClick(edit, Qt::Key_Down);
        QCOMPARE(edit->text(), QStringLiteral("0"));
        // Disabled arrows leave the edit alone.
        h.window.SetControlEnabled(control::kDaySpin, false);
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QStringLiteral("0"));
    }

    void patternBoxKeepsItsTextAndBytes() {
        Harness h;
        h.Start();
        h.window.ClearPatternList();
        h.window.SetPatternText("*.tmp");
        h.window.InsertPatternItem(0, "*.bak;*.old");
        h.window.InsertPatternItem(1, std::string("\xff\xfe.x", 4));
        QCOMPARE(h.window.PatternText(), std::string("*.tmp"));
        QCOMPARE(h.window.PatternItemText(1), std::string("\xff\xfe.x", 4));
        h.window.ClearPatternList();
        QCOMPARE(h.window.PatternItemCount(), 0);
        QCOMPARE(h.window.PatternText(), std::string("*.tmp"));
        QVERIFY(h.Get<QComboBox>(control::kPatternBox)->completer() == nullptr);
    }

    void driveListKeepsLinesByteExactAndGreysUntickableDrives() {
        Harness h;
        h.profile.SetInt("bFixed", 0);
        h.volumes.Add("/", "ext4", std::string("\xff\xfe", 2), 0x0badf00d, 5'000'000'000ull);
        h.volumes.Add("/net/", "nfs4", "", 7, 1000);
        h.Start();
        QCOMPARE(h.window.DriveItemCount(), 2);
        const DriveItem root = h.window.DriveItemAt(0);
        const DriveItem remote = h.window.DriveItemAt(1);
        QCOMPARE(h.window.DriveItemText(0), root.line);
        QVERIFY(root.line.find("\xff\xfe") != std::string::npos);
        QVERIFY(root.line.ends_with("0badf00d00000003"));
        QCOMPARE(root.mountPoint, std::string("/"));
        QCOMPARE(remote.type, kDriveRemote);
        QVERIFY(!remote.enabled);
        QCOMPARE(DriveItemDelegate::VisibleText(QByteArray::fromStdString(remote.line)),
                 QString::fromUtf8(remote.line.substr(0, remote.line.size() - 16)).trimmed());

        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        auto* list = h.Get<QListWidget>(control::kDriveList);
        QVERIFY(list->visualItemRect(list->item(0)).height() >= 18);
        const auto clickCheckBox = [list](int row) {
            QStyleOptionViewItem option;
            option.initFrom(list->viewport());
            option.widget = list;
            option.rect = list->visualItemRect(list->item(row));
            option.features = QStyleOptionViewItem::HasCheckIndicator;
            const QRect box =
                list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
        };
        clickCheckBox(1);
        QCOMPARE(h.window.DriveCheckState(1), 0);
        clickCheckBox(0);
        QCOMPARE(h.window.DriveCheckState(0), 1);
        h.window.SetDriveCheckState(1, 2);
        QCOMPARE(h.window.DriveCheckState(1), 2);
    }

    void tooltipsFollowTheControllerAndTheOption() {
        Harness h;
        h.Start();
        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        QWidget* viewport = h.Results()->viewport();
        QCOMPARE(TooltipOf(h.window.Control(control::kSearch)),
                 QString::fromUtf8("削除を伴わない検索だけですので、安心して操作してください。"));
        QCOMPARE(TooltipOf(h.Get<QComboBox>(control::kPatternBox)->lineEdit()),
                 QString::fromUtf8("右側の削除ﾌｧｲﾙWizardﾎﾞﾀﾝをｸﾘｯｸすると入力が簡単にできます。"));
        // A disabled control still answers.
        QCOMPARE(TooltipOf(h.window.Control(control::kDelete)),
                 QString::fromUtf8("検索結果のﾌｧｲﾙを削除します。"));
        QCOMPARE(TooltipOf(viewport), kInitialStatus);
        // No text from the table: nothing, not even a tooltip of the widget's own.
        QWidget* arrow = h.window.Control(control::kDaySpin)->findChild<QToolButton*>();
        h.window.Control(control::kDaySpin)->setToolTip(QStringLiteral("own"));
        QCOMPARE(TooltipOf(arrow), QString());

        h.controller->State().results.Append("/vol/a.bak", 1, {});
        h.window.ResultsChanged();
        const QString tickedText = QString::fromUtf8(
            "削除しないﾌｧｲﾙはﾁｪｯｸをはずしてください。また、ﾀﾞﾌﾞﾙｸﾘｯｸで内容が確認できます。");
        QCOMPARE(TooltipOf(viewport), tickedText);
        h.window.ResultModel()->setData(h.window.ResultModel()->index(0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(TooltipOf(viewport), kInitialStatus);

        h.controller->Settings().bToolTip = 0;
        QCOMPARE(TooltipOf(h.window.Control(control::kSearch)), QString());
        QCOMPARE(TooltipOf(viewport), QString());
    }

    void enterInThePatternBoxSearches() {
        Harness h;
        h.Start();
        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        h.window.SetPatternText("*.bak");
        QTest::keyClick(h.Get<QComboBox>(control::kPatternBox)->lineEdit(), Qt::Key_Return);
        QCOMPARE(h.window.StatusText(), std::string("該当ﾌｧｲﾙが見つかりません。"));
        QCOMPARE(h.prompter.Prompts().size(), std::size_t{0});
    }

    void closingIsRefusedWhileSearchingAndAbortEndsTheSearch() {
        Harness h;
        h.AddSearchableVolume();
        h.Start();
        h.PrepareSearch("*.bak");
        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        bool sawSearch = false;
        bool stillOpen = false;
        bool clipPlayed = false;
        DuringNextPump([&] {
            sawSearch = h.controller->IsSearching() && h.window.IsControlEnabled(control::kAbort) &&
                        !h.window.IsControlEnabled(control::kSearch) &&
                        !h.window.IsControlEnabled(control::kCancel);
            clipPlayed = h.Get<SearchClipWidget>(control::kSearchClip)->IsPlaying();
            QTest::keyClick(&h.window, Qt::Key_Escape);
            h.window.close();
            h.window.reject();
            stillOpen = h.window.isVisible();
            h.prompter.Answer(PromptAnswer::Yes);
            QTest::mouseClick(h.window.Control(control::kAbort), Qt::LeftButton);
        });
        QTest::mouseClick(h.window.Control(control::kSearch), Qt::LeftButton);
        QVERIFY(sawSearch);
        QVERIFY(clipPlayed);
        QVERIFY(stillOpen);
        QCOMPARE(h.window.StatusText(), std::string("処理が中止されました。"));
        QCOMPARE(h.window.ResultModel()->rowCount(), 0);
        QVERIFY(!h.window.IsControlEnabled(control::kDelete));
        QVERIFY(!h.Get<SearchClipWidget>(control::kSearchClip)->IsPlaying());
        QCOMPARE(h.Get<SearchClipWidget>(control::kSearchClip)->CurrentFrame(), 0);
        // Once the search is over, Escape ends the dialog.
        QTest::keyClick(&h.window, Qt::Key_Escape);
        QVERIFY(!h.window.isVisible());
        QCOMPARE(h.window.result(), int(QDialog::Rejected));
    }

    void searchFillsTheListAndRowsTickAndOpen() {
        Harness h;
        h.AddSearchableVolume(300);
        h.Start();
        h.PrepareSearch("*.bak");
        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        int rowsSeenDuringWalk = -1;
        DuringNextPump([&] { rowsSeenDuringWalk = h.window.ResultModel()->rowCount(); });
        QTest::mouseClick(h.window.Control(control::kSearch), Qt::LeftButton);

        ResultListModel* model = h.window.ResultModel();
        QCOMPARE(model->rowCount(), 303);
        QVERIFY(rowsSeenDuringWalk >= 0 && rowsSeenDuringWalk < 303);
        QVERIFY(h.window.IsControlEnabled(control::kDelete));
        QVERIFY(h.window.StatusText().starts_with("303個中、303個のﾌｧｲﾙが選択されています。"));
        // The newest result is in view.
        QListView* list = h.Results();
        QVERIFY(list->viewport()->rect().intersects(list->visualRect(model->index(302))));

        list->scrollToTop();
        const QRect first = list->visualRect(model->index(0));
        QVERIFY(first.height() >= list->fontMetrics().height());
        QStyleOptionViewItem option;
        option.initFrom(list->viewport());
        option.widget = list;
        option.rect = first;
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
        QCOMPARE(h.controller->State().results[0].checkState, std::uint8_t{0});
        QVERIFY(h.window.StatusText().starts_with("303個中、302個"));

        const QPoint second = list->visualRect(model->index(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(second),
                                list->viewport()->mapToGlobal(QPointF(second)), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &doubleClick);
        QCOMPARE(h.launcher.openedFiles,
                 std::vector<std::string>{std::string(h.controller->State().results[1].Path())});
        QCOMPARE(h.window.SelectedResultIndex(), -1);

        const QPoint third = list->visualRect(model->index(2)).center();
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, third);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, third, list->viewport()->mapToGlobal(third));
        QApplication::sendEvent(list->viewport(), &menu);
        QCOMPARE(h.launcher.openedFiles.size(), std::size_t{2});
        QCOMPARE(h.launcher.openedFiles[1], std::string(h.controller->State().results[2].Path()));
    }
};

std::unique_ptr<QObject> NewMainWindowTest() {
    return std::make_unique<MainWindowTest>();
}

#include "MainWindowTest.moc"
