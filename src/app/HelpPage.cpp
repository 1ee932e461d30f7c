#include "app/HelpPage.h"

#include "app/ErrorHandler.h"
#include "common/Language.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace app {

QStringList HelpPageCandidates(const QString &executableDir)
{
    // The page is written in German and in English, for every other language.
    const QString page = common::CurrentLanguage() == QLocale::German ? QStringLiteral("index.html")
                                                                      : QStringLiteral("index.en.html");
    const QDir dir(executableDir);
    return {QDir::cleanPath(dir.filePath(QStringLiteral("help/") + page)),
            QDir::cleanPath(dir.filePath(QStringLiteral("../share/midi-sonoret/help/") + page))};
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
            QCoreApplication::translate("HelpPage", HelpPageNotFoundText).arg(HelpPageCandidates(executableDir).front()));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        ErrorHandler::ShowDetectedError(QCoreApplication::translate("HelpPage", HelpPageNotFoundText).arg(page));
}

} // namespace app
