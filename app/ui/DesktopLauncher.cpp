#include "app/ui/DesktopLauncher.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace vask {

bool DesktopLauncher::OpenFile(const std::string& path) {
    // Percent-encoding keeps every byte, so a name that is not valid UTF-8 still names the same file.
    const QByteArray encoded =
        QByteArray(path.data(), static_cast<qsizetype>(path.size())).toPercentEncoding("/");
    const QUrl url = QUrl::fromEncoded(QByteArrayLiteral("file://") + encoded, QUrl::StrictMode);
    if (!url.isValid()) return false;
    return QDesktopServices::openUrl(url);
}

bool DesktopLauncher::OpenTrash() {
    return QDesktopServices::openUrl(QUrl(QStringLiteral("trash:///")));
}

bool DesktopLauncher::OpenHelp() {
    if (helpPage_.isEmpty() || !QFileInfo(helpPage_).isFile()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(helpPage_));
}

QString DesktopLauncher::FindHelpPage(const QStringList& candidates) {
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

QStringList DesktopLauncher::StandardHelpPageCandidates(const QString& executableFolder) {
    const QDir folder(executableFolder);
    return {folder.filePath(QStringLiteral("help/index.html")),
            QDir::cleanPath(folder.filePath(QStringLiteral("../share/vask/help/index.html")))};
}

}  // namespace vask
