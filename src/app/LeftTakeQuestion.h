#pragma once
// The question put at start about a take that a program which has ended left
// unsaved (its journal): restore it, save it under a name, or discard it.

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>

class QWidget;

namespace app {

inline constexpr char LeftTakeText[] =
    QT_TRANSLATE_NOOP("LeftTake", "Eine nicht gespeicherte Aufnahme vom %1 (%2) wurde gefunden.");
inline constexpr char LeftTakeRestoreText[] = QT_TRANSLATE_NOOP("LeftTake", "Wiederherstellen");
inline constexpr char LeftTakeSaveText[] = QT_TRANSLATE_NOOP("LeftTake", "Speichern unter...");
inline constexpr char LeftTakeDiscardText[] = QT_TRANSLATE_NOOP("LeftTake", "Verwerfen");
inline constexpr char LeftTakeDamagedText[] =
    QT_TRANSLATE_NOOP("LeftTake", "Eine nicht gespeicherte Aufnahme war beschädigt und wurde als %1 aufbewahrt.");
inline constexpr char JournalFailedText[] = QT_TRANSLATE_NOOP(
    "LeftTake", "Die Sicherungsdatei der Aufnahme %1 kann nicht geschrieben werden. Die Aufnahme geht im Speicher weiter.");
inline constexpr char JournalNotRemovedText[] = QT_TRANSLATE_NOOP(
    "LeftTake", "Die Sicherungsdatei der Aufnahme %1 kann nicht gelöscht werden. Sie wird beim nächsten Start wieder angeboten.");

// Later: the box was closed without a choice, and the take is offered again
// at the next start.
enum class LeftTakeAnswer { Restore, SaveAs, Discard, Later };

// The question's text, in the window's language: the date and time the take
// was last written, and its length as minutes and seconds.
QString LeftTakeQuestionText(std::chrono::system_clock::time_point written, std::chrono::milliseconds length);

// The question as a modal box owned by `owner`.
LeftTakeAnswer AskAboutLeftTake(QWidget *owner, const QString &text);

// Replaces the box: the answerer answers in the user's place, given the
// question's text. Empty: the box is shown to the user.
using LeftTakeAnswerer = std::function<LeftTakeAnswer(const QString &text)>;
void SetLeftTakeAnswerer(LeftTakeAnswerer answerer);

} // namespace app
