#include "app/LeftTakeQuestion.h"

#include "app/ErrorHandler.h"
#include "common/Language.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

namespace app {

namespace {
LeftTakeAnswerer &Answerer()
{
    static LeftTakeAnswerer answerer;
    return answerer;
}
} // namespace

QString LeftTakeQuestionText(std::chrono::system_clock::time_point written, std::chrono::milliseconds length)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(length + std::chrono::milliseconds(500));
    // The date in the window's language, not the system's (C under many a
    // service manager).
    const QString when = QLocale(common::CurrentLanguage()).toString(
        QDateTime::fromSecsSinceEpoch(std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count()),
        QLocale::ShortFormat);
    const QString duration =
        QStringLiteral("%1:%2").arg(seconds.count() / 60).arg(seconds.count() % 60, 2, 10, QLatin1Char('0'));
    return QCoreApplication::translate("LeftTake", LeftTakeText).arg(when, duration);
}

LeftTakeAnswer AskAboutLeftTake(QWidget *owner, const QString &text)
{
    if (Answerer())
        return Answerer()(text);
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kApplicationTitle), text, QMessageBox::NoButton, owner);
    QPushButton *restore =
        box.addButton(QCoreApplication::translate("LeftTake", LeftTakeRestoreText), QMessageBox::AcceptRole);
    QPushButton *save = box.addButton(QCoreApplication::translate("LeftTake", LeftTakeSaveText), QMessageBox::ActionRole);
    QPushButton *discard =
        box.addButton(QCoreApplication::translate("LeftTake", LeftTakeDiscardText), QMessageBox::DestructiveRole);
    box.setDefaultButton(restore);
    box.exec();
    if (box.clickedButton() == restore)
        return LeftTakeAnswer::Restore;
    if (box.clickedButton() == save)
        return LeftTakeAnswer::SaveAs;
    if (box.clickedButton() == discard)
        return LeftTakeAnswer::Discard;
    return LeftTakeAnswer::Later;
}

void SetLeftTakeAnswerer(LeftTakeAnswerer answerer) { Answerer() = std::move(answerer); }

} // namespace app
