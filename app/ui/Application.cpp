#include "app/ui/Application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/core/MainDialogController.h"
#include "app/ui/DesktopLauncher.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtFileOperationUi.h"
#include "app/ui/QtPrompter.h"
#include "app/ui/QtSoundPlayer.h"
#include "platform/linux/DlopenArchiverLoader.h"
#include "platform/linux/LinuxVolumeSource.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/ProcessEnvironment.h"
#include "platform/linux/QtProfileStore.h"
#include "platform/linux/SystemClock.h"
#include "settings/ui/OptionSheetDialog.h"

namespace vask {

int RunVask(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vask"));

    // The windows are Japanese; Qt's own texts (message box buttons) follow when a translation is there.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    PosixFileSystem fileSystem;
    SystemClock clock;
    ProcessEnvironment environment;
    std::unique_ptr<QtProfileStore> profile = QtProfileStore::OpenStandard(environment);
    LinuxVolumeSource volumes;

    MainWindow window;
    QtPrompter prompter(&window);
    DesktopLauncher launcher(DesktopLauncher::FindHelpPage(
        DesktopLauncher::StandardHelpPageCandidates(QCoreApplication::applicationDirPath())));
    MainDialogController controller(
        MainDialogPorts{window, prompter, clock, fileSystem, environment, volumes, launcher, *profile});
    window.Bind(controller);
    QtFileOperationUi operationUi(&window, clock);
    DlopenArchiverLoader archiver;
    QtSoundPlayer sound;
    controller.AttachDisposal(operationUi, archiver, sound);
    OptionSheetDialog optionSheet(&window);
    QtPrompter sheetPrompter(&optionSheet);
    optionSheet.Bind(controller.AttachOptionSheet(optionSheet, sheetPrompter, sound));

    controller.Start();
    window.exec();
    return 0;
}

}  // namespace vask
