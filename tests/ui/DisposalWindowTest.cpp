// The window around a disposal: where Enter goes after a delete that did not happen, the age check box
// under every way of ticking it, the look of the drive rows and of every message box, and the archiver run
// behind its packing window.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "UiTests.h"
#include "app/core/MainDialogController.h"
#include "app/ui/ListDelegates.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtArchiverProgress.h"
#include "app/ui/QtFileOperationUi.h"
#include "app/ui/QtPrompter.h"
#include "disposal/Compression.h"
#include "platform/fakes/FakeArchiverLoader.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeLauncher.h"
#include "platform/fakes/FakeSoundPlayer.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"

using namespace vask;

namespace {

// The window with the real file-operation dialogs over in-memory ports.
struct DisposalHarness {
    MemoryFileSystem fileSystem;
    FakeClock clock;
    MemoryEnvironment environment;
    FakeVolumeSource volumes;
    FakeLauncher launcher;
    MemoryProfileStore profile;
    ScriptedPrompter prompter;
    FakeSoundPlayer sound;
    FakeArchiverLoader archiver{FakeArchiverLoader::Behaviour::Move, &fileSystem};
    MainWindow window;
    QtFileOperationUi operationUi{&window, clock};
    std::unique_ptr<MainDialogController> controller;

    DisposalHarness() {
        volumes.Add("/vol/", "ext4", "DATA", 0x1234abcd, 1ull << 30);
        fileSystem.AddFile("/vol/a.bak", 10);
        fileSystem.AddFolder("/backup/");
        fileSystem.AddFile("/backup/a.bak", 3);  // a namesake in the move folder
        controller = std::make_unique<MainDialogController>(
            MainDialogPorts{window, prompter, clock, fileSystem, environment, volumes, launcher, profile});
        window.Bind(*controller);
        controller->AttachDisposal(operationUi, archiver, sound);
        controller->Start();
        controller->Settings().strFolderEdit = "/backup/";
    }
    template <class T>
    T* Get(int id) const {
        return qobject_cast<T*>(window.Control(id));
    }
    void Search() {
        window.SetPatternText("*.bak");
        window.SetDriveCheckState(0, 1);
        QTest::mouseClick(window.Control(control::kSearch), Qt::LeftButton);
    }
};

// Runs action on the next modal box that shows (from inside its event loop).
void OnNextModal(std::function<void(QWidget*)> action) {
    auto pending = std::make_shared<std::function<void(QWidget*)>>(std::move(action));
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, pending] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal->isVisible()) {
            poll->stop();
            poll->deleteLater();
            (*pending)(modal);
        }
    });
    poll->start(10);
}

void Click(QWidget* box, const char* buttonName) {
    QPushButton* button = box->findChild<QPushButton*>(QString::fromLatin1(buttonName));
    QVERIFY2(button != nullptr, buttonName);
    button->click();
}

QImage Render(const QListWidget& list, QStyle::State extra) {
    QStyleOptionViewItem option;
    option.initFrom(list.viewport());
    option.widget = &list;
    option.rect = QRect(0, 0, 300, 20);
    option.state |= QStyle::State_Enabled | QStyle::State_Active | extra;
    QImage image(300, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    list.itemDelegate()->paint(&painter, option, list.model()->index(0, 0));
    return image;
}

// A library whose Run waits until released, as a long archive run would.
class SlowLibrary : public ArchiverLibrary {
  public:
    explicit SlowLibrary(std::atomic<bool>& release, std::thread::id& ranOn)
        : release_(release), ranOn_(ranOn) {}
    int GetRunning() override { return 0; }
    int Run(const std::string& commandLine, std::string& output) override {
        ranOn_ = std::this_thread::get_id();
        while (!release_)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        output = "packed " + commandLine;
        return 7;
    }

  private:
    std::atomic<bool>& release_;
    std::thread::id& ranOn_;
};

class SlowLoader : public ArchiverLoader {
  public:
    std::unique_ptr<ArchiverLibrary> Load() override { return std::make_unique<SlowLibrary>(release, ranOn); }
    std::atomic<bool> release{false};
    std::thread::id ranOn;
};

}  // namespace

class DisposalWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void enterSearchesAgainAfterADeleteThatDidNotHappen() {
        struct Case {
            const char* name;
            int method;
            std::function<void(QWidget*)> answer;
        };
        const Case cases[] = {
            {"いいえ to the confirmation", kDisposeToTrash, [](QWidget* box) { Click(box, "no"); }},
            {"Escape at the confirmation", kDisposeToTrash,
             [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); }},
            {"いいえ to the replace question", kDisposeMoveToFolder, [](QWidget* box) { Click(box, "no"); }},
        };
        for (const Case& c : cases) {
            DisposalHarness h;
            h.controller->Settings().nTrush = c.method;
            h.prompter.Answer(PromptAnswer::Yes);  // the move confirmation, where there is one
            h.window.show();
            QVERIFY(QTest::qWaitForWindowActive(&h.window));
            h.Search();
            QPushButton* deleteButton = h.Get<QPushButton>(control::kDelete);
            QVERIFY2(deleteButton->isEnabled(), c.name);
            deleteButton->setFocus();
            OnNextModal(c.answer);
            QTest::mouseClick(deleteButton, Qt::LeftButton);

            QCOMPARE(h.window.StatusText(), std::string("処理が中止されました。"));
            QVERIFY2(h.fileSystem.Find("/vol/a.bak") != nullptr, c.name);
            QVERIFY2(h.Get<QPushButton>(control::kSearch)->isDefault(), c.name);
            QVERIFY2(!h.Get<QPushButton>(control::kCancel)->isDefault(), c.name);
            // The window is active again once the box has gone (a window manager gives the activation back;
            // the offscreen platform does not); the focus is where Enter searches.
            h.window.activateWindow();
            QVERIFY2(QTest::qWaitForWindowActive(&h.window), c.name);
            QComboBox* patterns = h.Get<QComboBox>(control::kPatternBox);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY2(focus == patterns || focus == patterns->lineEdit(),
                     qPrintable(QString::fromUtf8(c.name) + " " +
                                (focus != nullptr ? focus->objectName() : QStringLiteral("none"))));
            // Enter searches again; Vask stays open.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QVERIFY2(h.window.isVisible(), c.name);
            QVERIFY2(h.window.StatusText().starts_with("1個中、1個のﾌｧｲﾙが選択されています。"), c.name);
        }
    }

    void dayEditFollowsEveryChangeOfTheAgeCheckBox() {
        struct Case {
            const char* name;
            std::function<void(QCheckBox*)> change;
        };
        const Case cases[] = {
            {"click", [](QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton); }},
            {"space",
             [](QCheckBox* box) {
                 box->setFocus();
                 QTest::keyClick(box, Qt::Key_Space);
             }},
            {"accessibility toggle",
             [](QCheckBox* box) {
                 QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
                 QVERIFY(accessible != nullptr && accessible->actionInterface() != nullptr);
                 accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
             }},
            {"setChecked", [](QCheckBox* box) { box->setChecked(!box->isChecked()); }},
        };
        for (const Case& c : cases) {
            DisposalHarness h;
            h.window.show();
            QVERIFY(QTest::qWaitForWindowActive(&h.window));
            QCheckBox* box = h.Get<QCheckBox>(control::kLastDateCheck);
            QWidget* dayEdit = h.window.Control(control::kDayEdit);
            QVERIFY2(!box->isChecked() && !dayEdit->isEnabled(), c.name);
            c.change(box);
            QVERIFY2(box->isChecked() && dayEdit->isEnabled(), c.name);
            c.change(box);
            QVERIFY2(!box->isChecked() && !dayEdit->isEnabled(), c.name);
        }
    }

    void driveRowsShowNoFocusFrameHoverOrSelection() {
        DisposalHarness h;
        h.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        auto* list = h.Get<QListWidget>(control::kDriveList);
        const QImage plain = Render(*list, {});
        for (QStyle::State state :
             {QStyle::State(QStyle::State_HasFocus), QStyle::State(QStyle::State_MouseOver),
              QStyle::State(QStyle::State_Selected)}) {
            QCOMPARE(Render(*list, state), plain);
        }
    }

    void everyMessageBoxLooksAlike() {
        struct Case {
            PromptButtons buttons;
            QStringList labels;
            const char* click;
            PromptAnswer answer;
        };
        const Case cases[] = {
            {PromptButtons::Ok, {"OK"}, nullptr, PromptAnswer::Ok},
            {PromptButtons::OkCancel, {"OK", "キャンセル"}, "ok", PromptAnswer::Ok},
            {PromptButtons::YesNo, {"はい(&Y)", "いいえ(&N)"}, nullptr, PromptAnswer::No},
            {PromptButtons::YesNoCancel, {"はい(&Y)", "いいえ(&N)", "キャンセル"}, "no", PromptAnswer::No},
            {PromptButtons::RetryCancel, {"再試行(&R)", "キャンセル"}, "retry", PromptAnswer::Retry},
        };
        // What one box showed: its button texts in order, and whether any carried an icon.
        QStringList shown;
        bool anyIcon = false;
        bool firstIsDefault = false;
        const auto inspect = [&](QWidget* box) {
            shown.clear();
            anyIcon = false;
            auto* messageBox = qobject_cast<QMessageBox*>(box);
            QVERIFY(messageBox != nullptr);
            for (QAbstractButton* button : messageBox->buttons()) {
                anyIcon = anyIcon || !button->icon().isNull();
            }
            for (QPushButton* button : box->findChildren<QPushButton*>())
                shown.append(button->text());
            firstIsDefault = messageBox->defaultButton() != nullptr &&
                             messageBox->defaultButton() == messageBox->buttons().value(0);
        };
        QWidget parent;
        QtPrompter prompter(&parent);
        for (const Case& c : cases) {
            OnNextModal([&](QWidget* box) {
                inspect(box);
                if (c.click != nullptr) {
                    Click(box, c.click);
                } else {
                    QTest::keyClick(box, Qt::Key_Escape);
                }
            });
            QCOMPARE(prompter.Ask(Prompt{"text", "", c.buttons, PromptIcon::None}), c.answer);
            shown.sort();
            QStringList expected = c.labels;
            expected.sort();
            QCOMPARE(shown, expected);
            QVERIFY(!anyIcon);
        }
        // The file operation's questions share the look.
        FakeClock clock;
        QtFileOperationUi operationUi(&parent, clock);
        OnNextModal([&](QWidget* box) {
            inspect(box);
            Click(box, "no");
        });
        QVERIFY(!operationUi.ConfirmStart(FileOperationKind::Trash, {FileOperationItem{"/a", 1, {}}}));
        shown.sort();
        QCOMPARE(shown, (QStringList{"いいえ(&N)", "はい(&Y)"}));
        QVERIFY(!anyIcon);
    }

    void theArchiverRunsOffTheWindowThreadBehindAPackingWindow() {
        SlowLoader slow;
        QWidget parent;
        QtArchiverProgress progress(slow, &parent);
        std::unique_ptr<ArchiverLibrary> library = progress.Load();
        QVERIFY(library != nullptr);
        QCOMPARE(library->GetRunning(), 0);

        bool sawWindow = false;
        int ticks = 0;
        QTimer ticker;  // the window thread keeps handling events meanwhile
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            ++ticks;
            QWidget* window = progress.PackingWindow();
            if (window != nullptr && window->isVisible() && QApplication::activeModalWidget() == window &&
                window->windowTitle() == QString::fromUtf8(kPackingTitle)) {
                sawWindow = true;
                QTest::keyClick(window, Qt::Key_Escape);  // cannot close it
                window->close();
                if (ticks >= 5 && window->isVisible()) slow.release = true;
            }
        });
        ticker.start(10);
        std::string output;
        const int result = library->Run("@__Vask__.---", output);
        ticker.stop();

        QCOMPARE(result, 7);
        QCOMPARE(output, std::string("packed @__Vask__.---"));
        QVERIFY(sawWindow);
        QVERIFY(ticks >= 5);
        QVERIFY(slow.ranOn != std::this_thread::get_id());
        QCOMPARE(progress.PackingWindow(), nullptr);

        FakeArchiverLoader missing(FakeArchiverLoader::Behaviour::Missing);
        QtArchiverProgress none(missing, &parent);
        QVERIFY(none.Load() == nullptr);
    }
};

std::unique_ptr<QObject> NewDisposalWindowTest() {
    return std::make_unique<DisposalWindowTest>();
}

#include "DisposalWindowTest.moc"
