#include "app/ui/Application.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <vector>

#include "app/core/MainDialogController.h"
#include "app/core/StartUp.h"
#include "app/ui/DesktopLauncher.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtArchiverProgress.h"
#include "app/ui/QtFileOperationUi.h"
#include "app/ui/QtNotificationSign.h"
#include "app/ui/QtPrompter.h"
#include "app/ui/QtSoundPlayer.h"
#include "app/ui/StderrFileOperationUi.h"
#include "app/ui/StderrPrompter.h"
#include "app/ui/UndoRunButton.h"
#include "disposal/RunJournalWriter.h"
#include "disposal/RunUndo.h"
#include "platform/linux/DlopenArchiverLoader.h"
#include "platform/linux/FlockInstanceLock.h"
#include "platform/linux/LinuxVolumeSource.h"
#include "platform/linux/NanoSleeper.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/ProcessEnvironment.h"
#include "platform/linux/QtProfileStore.h"
#include "platform/linux/SystemClock.h"
#include "settings/ui/OptionSheetDialog.h"

namespace vask {

namespace {

// Message boxes and file-operation questions go to the windows while someone may be there to answer, and
// to standard error with the answers that dispose of nothing when nobody is: without a display, and from
// the moment a termination signal arrived (a box waiting for a click would keep the process alive). Once a
// forced stop was asked for, only its own closing message is still shown in a window: what the run says on
// its way to the stop point is no longer news to anyone.
struct Routing {
    bool toStderr = false;
    std::function<bool()> stopping;

    bool Console(const std::string& text = std::string()) const {
        return toStderr || (stopping && stopping() && text != kForcedStopMessage);
    }
};

void CloseModalWidgets() {
    // Each open box and dialog gives its escape answer, which disposes of nothing.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (!modal->close()) break;
    }
}

class RoutedPrompter : public Prompter {
  public:
    RoutedPrompter(Prompter& window, Prompter& console, const Routing& routing)
        : window_(window), console_(console), routing_(routing) {}
    PromptAnswer Ask(const Prompt& prompt) override {
        return (routing_.Console(prompt.text) ? console_ : window_).Ask(prompt);
    }

  private:
    Prompter& window_;
    Prompter& console_;
    const Routing& routing_;
};

class RoutedOperationUi : public FileOperationUi {
  public:
    RoutedOperationUi(FileOperationUi& window, FileOperationUi& console, const Routing& routing)
        : window_(window), console_(console), routing_(routing) {}
    // The side an operation began on sees it end, even when the questions moved to standard error
    // meanwhile (a termination signal): its progress window must close.
    void BeginOperation(FileOperationKind kind, std::size_t count) override {
        begun_ = &Now();
        begun_->BeginOperation(kind, count);
    }
    void EndOperation() override {
        FileOperationUi& begun = begun_ != nullptr ? *begun_ : Now();
        begun_ = nullptr;
        begun.EndOperation();
    }
    bool ConfirmStart(FileOperationKind kind, const std::vector<FileOperationItem>& items) override {
        return Now().ConfirmStart(kind, items);
    }
    bool OfferCreateFolder(const std::string& folder) override { return Now().OfferCreateFolder(folder); }
    ReplaceAnswer AskReplace(const std::string& source, const std::string& target) override {
        return Now().AskReplace(source, target);
    }
    bool Progress(std::size_t done, std::size_t total, const std::string& path) override {
        return Now().Progress(done, total, path);
    }
    void ReportFailures(FileOperationKind kind, const std::vector<FileOperationFailure>& failures) override {
        Now().ReportFailures(kind, failures);
    }

  private:
    FileOperationUi& Now() { return routing_.Console() ? console_ : window_; }
    FileOperationUi& window_;
    FileOperationUi& console_;
    const Routing& routing_;
    FileOperationUi* begun_ = nullptr;
};

// SIGTERM and SIGINT: the handler only writes the signal number into a pipe; the event loop reads it the
// next time anything pumps events, which is where the forced stop can be taken safely.
int signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (::write(signalPipe[1], &byte, 1) < 0) {
        // The pipe is full of earlier signals: the stop is already on its way.
    }
    errno = saved;
}

bool InstallTerminationSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

// Back to the default actions for interactive use. Returns a signal that arrived meanwhile, or 0.
int RestoreTerminationSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    unsigned char byte = 0;
    return ::read(signalPipe[0], &byte, 1) == 1 ? byte : 0;
}

// Qt aborts the program when its platform cannot open the display it was given (a stale DISPLAY in a
// cron job). With offscreen as the last choice it falls back instead, and the platform name tells.
bool ChoosePlatform() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return false;
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    QByteArray platforms;
    if (wayland && qgetenv("XDG_SESSION_TYPE") == "wayland") platforms = "wayland;";
    if (x11) platforms += "xcb;";
    if (wayland && platforms.isEmpty()) platforms = "wayland;";
    platforms += "offscreen";
    qputenv("QT_QPA_PLATFORM", platforms);
    return true;
}

// Cron gives no XDG_RUNTIME_DIR, and Qt says so on every start; a cron job would mail that line each time.
QtMessageHandler qtMessages = nullptr;

// Where DISPLAY names a display that cannot be opened (a cron job's, after the session ended), Qt says so in
// two lines before it falls back to offscreen, which Vask then treats as no display at all: the same mail
// on every run. What the platform plugins say while Qt picks one is held until it is known which came up,
// and shown only when it is a display.
struct HeldMessage {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
};
bool holdingPlatformMessages = false;
std::vector<HeldMessage> heldPlatformMessages;
void ReleasePlatformMessages(bool show);

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg &&
        message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set"))) {
        return;
    }
    if (holdingPlatformMessages && type != QtFatalMsg && context.category != nullptr &&
        std::strncmp(context.category, "qt.qpa", 6) == 0) {
        heldPlatformMessages.push_back(
            {type, context.file, context.function, context.category, context.line, message});
        return;
    }
    // No platform at all: what was held says why.
    if (holdingPlatformMessages && type == QtFatalMsg) ReleasePlatformMessages(true);
    if (qtMessages != nullptr) qtMessages(type, context, message);
}

void ReleasePlatformMessages(bool show) {
    holdingPlatformMessages = false;
    std::vector<HeldMessage> held;
    held.swap(heldPlatformMessages);
    if (!show) return;
    for (const HeldMessage& m : held) {
        const QMessageLogContext context(m.file.constData(), m.line, m.function.constData(),
                                         m.category.constData());
        QuietMessages(m.type, context, m.text);
    }
}

bool HaveDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

}  // namespace

int RunVask(int argc, char** argv) {
    qtMessages = qInstallMessageHandler(QuietMessages);
    const bool platformChosen = ChoosePlatform();
    holdingPlatformMessages = platformChosen;
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("Vask"));
    // Programs Vask starts (viewer, help) choose their own platform.
    if (platformChosen) qunsetenv("QT_QPA_PLATFORM");
    const bool haveDisplay = HaveDisplay();
    ReleasePlatformMessages(haveDisplay);

    // The windows are Japanese; Qt's own texts (message box buttons) follow when a translation is there.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    Routing routing;
    routing.toStderr = !haveDisplay;
    StderrPrompter consolePrompter(std::cerr);
    ProcessEnvironment environment;
    // Before any window is made or any setting read: a second copy changes nothing.
    FlockInstanceLock instanceLock(environment);
    {
        QtPrompter unownedPrompter(nullptr);
        RoutedPrompter prompter(unownedPrompter, consolePrompter, routing);
        if (const int refused = ClaimSingleInstance(instanceLock, prompter); refused != 0) return refused;
    }

    MainWindow window;
    QtPrompter windowPrompter(&window);
    RoutedPrompter prompter(windowPrompter, consolePrompter, routing);

    PosixFileSystem fileSystem;
    SystemClock clock;
    std::unique_ptr<QtProfileStore> profile = QtProfileStore::OpenStandard(environment);
    LinuxVolumeSource volumes;
    DesktopLauncher launcher(DesktopLauncher::FindHelpPage(
        DesktopLauncher::StandardHelpPageCandidates(QCoreApplication::applicationDirPath())));
    MainDialogController controller(
        MainDialogPorts{window, prompter, clock, fileSystem, environment, volumes, launcher, *profile});
    window.Bind(controller);

    QtFileOperationUi windowOperationUi(&window, clock);
    StderrFileOperationUi consoleOperationUi(std::cerr);
    RoutedOperationUi operationUi(windowOperationUi, consoleOperationUi, routing);
    QtNotificationSign sign(haveDisplay, !qEnvironmentVariableIsSet("VASK_NO_TRAY"));
    NanoSleeper sleeper;
    StartUpFlow flow(StartUpPorts{controller, window, prompter, sign, sleeper, clock}, operationUi);
    DlopenArchiverLoader archiver;
    QtArchiverProgress archiverWithProgress(archiver, &window);
    QtSoundPlayer sound;
    controller.AttachDisposal(flow.OperationUi(), archiverWithProgress, sound);
    OptionSheetDialog optionSheet(&window);
    QtPrompter sheetPrompter(&optionSheet);
    optionSheet.Bind(controller.AttachOptionSheet(optionSheet, sheetPrompter, sound));
    // Journals that can no longer give anything back go at start-up; the rest can be undone from the log
    // page.
    const std::string runsFolder = RunJournalFolder(environment);
    if (!runsFolder.empty()) RemoveSettledRuns(fileSystem, runsFolder, clock.NowSeconds());
    // The undo extracts without the packing window: it shows a progress window of its own.
    AttachUndoRunButton(optionSheet, fileSystem, clock, runsFolder, &archiver);
    routing.stopping = [&flow] { return flow.StopRequested(); };
    // A stop agreed to while another box of the run is open (the "*.*" question) closes that box too.
    sign.OnClick([&flow] {
        flow.OnTrayNotify();
        if (flow.StopRequested()) CloseModalWidgets();
    });

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (InstallTerminationSignals()) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&] {
            unsigned char byte = 0;
            if (::read(signalPipe[0], &byte, 1) != 1) return;
            routing.toStderr = true;
            flow.OnStopSignal(byte);
            // The run then unwinds to its next safe point.
            CloseModalWidgets();
        });
    }

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    const StartUpFlow::Outcome outcome = flow.OnInitDialog(JoinArguments(arguments), haveDisplay);
    if (outcome.exitStatus == exit_status::kBadCommandLine) std::cerr << kUsageLine << std::endl;
    if (!outcome.showWindow) return outcome.exitStatus;

    // Interactive use: a signal ends Vask the ordinary way again. One that came while a start-up message was
    // open (first start, changed drives) ends it now, before the window shows.
    signalNotifier.reset();
    if (const int pending = RestoreTerminationSignals(); pending != 0) return exit_status::BySignal(pending);
    if (flow.StopRequested()) return flow.StopStatus();
    window.exec();
    return exit_status::kDone;
}

}  // namespace vask
