#include "app/HelpPage.h"

#include "app/ErrorHandler.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace app {

QStringList HelpPageCandidates(const QString &executableDir)
{
    const QDir dir(executableDir);
    return {QDir::cleanPath(dir.filePath(QStringLiteral("help/index.html"))),
            QDir::cleanPath(dir.filePath(QStringLiteral("../share/midi-sonoret/help/index.html")))};
}

QString FindHelpPage(const QString &executableDir)
{
    for (const QString &candidate : HelpPageCandidates(executableDir))
        if (QFileInfo(candidate).isFile())
            return candidate;
    return {};
}

void OpenHelpPage(const QString &executableDir)
{
    const QString page = FindHelpPage(executableDir);
    if (page.isEmpty()) {
        ErrorHandler::ShowDetectedError(
            QString::fromUtf8(HelpPageNotFoundText).arg(HelpPageCandidates(executableDir).front()));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        ErrorHandler::ShowDetectedError(QString::fromUtf8(HelpPageNotFoundText).arg(page));
}

} // namespace app
