// The launcher port over QDesktopServices: files and the trash open with the desktop's programs, the help
// page with the desktop's browser. Nothing waits for the program started.
#pragma once

#include <QString>
#include <QStringList>

#include "platform/Launcher.h"

namespace vask {

class DesktopLauncher : public Launcher {
  public:
    // helpPage: the help page's file path; empty when none was found.
    explicit DesktopLauncher(QString helpPage) : helpPage_(std::move(helpPage)) {}

    // The path is passed byte for byte (as a percent-encoded file URL), whatever its encoding.
    bool OpenFile(const std::string& path) override;
    // Opens trash:///.
    bool OpenTrash() override;
    // False when the help page is not there.
    bool OpenHelp() override;

    // The first existing help page among the candidates.
    static QString FindHelpPage(const QStringList& candidates);
    // Where the page lies: "help/index.html" beside the executable (the build tree), then the installed
    // data folder "../share/vask/help/index.html".
    static QStringList StandardHelpPageCandidates(const QString& executableFolder);

  private:
    QString helpPage_;
};

}  // namespace vask
