#pragma once
// The program's own help page: one HTML page shipped beside the executable
// in the build tree and under the install prefix's share/ once installed.

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace app {

inline constexpr char HelpPageNotFoundText[] = QT_TRANSLATE_NOOP("HelpPage", "Die Hilfeseite kann nicht geöffnet werden: %1");

// Where the page may be, in the order they are tried.
QStringList HelpPageCandidates(const QString &executableDir);

// The first candidate that exists; empty when none does.
QString FindHelpPage(const QString &executableDir);

// Opens the page in the system's browser; a page that is missing or that no
// browser takes is reported in a message box.
void OpenHelpPage(const QString &executableDir);

} // namespace app
