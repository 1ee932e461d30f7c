#include "app/UnsavedTake.h"

#include "app/ErrorHandler.h"

#include <QMessageBox>
#include <QPushButton>

namespace app {

namespace {
UnsavedTakeAnswerer &Answerer()
{
    static UnsavedTakeAnswerer answerer;
    return answerer;
}
} // namespace

bool UnsavedTake::MayDiscard(const std::function<UnsavedTakeAnswer()> &ask,
                             const std::function<bool()> &save) const
{
    if (!unsaved_)
        return true;
    switch (ask()) {
    case UnsavedTakeAnswer::Save:
        return save();
    case UnsavedTakeAnswer::Discard:
        return true;
    case UnsavedTakeAnswer::Cancel:
        break;
    }
    return false;
}

UnsavedTakeAnswer AskAboutUnsavedTake(QWidget *owner)
{
    if (Answerer())
        return Answerer()();
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kApplicationTitle),
                    QString::fromUtf8(UnsavedTakeText), QMessageBox::NoButton, owner);
    QPushButton *save = box.addButton(QString::fromUtf8(UnsavedTakeSaveText), QMessageBox::AcceptRole);
    QPushButton *discard =
        box.addButton(QString::fromUtf8(UnsavedTakeDiscardText), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QString::fromUtf8(UnsavedTakeCancelText), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    // Esc and the box's close button mean "Abbrechen": nothing changes.
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return UnsavedTakeAnswer::Save;
    if (box.clickedButton() == discard)
        return UnsavedTakeAnswer::Discard;
    return UnsavedTakeAnswer::Cancel;
}

void SetUnsavedTakeAnswerer(UnsavedTakeAnswerer answerer) { Answerer() = std::move(answerer); }

} // namespace app
