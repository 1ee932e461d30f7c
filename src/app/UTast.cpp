#include "app/UTast.h"

#include "common/Guard.h"
#include "performance/KeyCodes.h"

#include <QKeyEvent>
#include <QLabel>

namespace app {

using performance::KeyCount;
using performance::PressedColor;
using performance::SilentColor;

namespace {
constexpr char LabelText[] = QT_TRANSLATE_NOOP(
    "app::TForm2",
    "Tippen Sie die Taste auf der Tastatur, der die blau markierte Sonorettaste zugeordnet "
    "werden soll!");
constexpr int LastKey = KeyCount;
} // namespace

TForm2::TForm2(KeyAssignmentHost &host, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      host_(host)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(tr("Tasten zuweisen"));
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(ClientWidth, ClientHeight);
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(FontPixelSize);
    setFont(arial);
    // The window itself takes the keys; none of its parts can have the focus.
    setFocusPolicy(Qt::StrongFocus);

    keys_ = performance::CreatePianoKeys(this, RowShift);
    for (auto *key : keys_)
        key->setAttribute(Qt::WA_TransparentForMouseEvents);

    Label1 = new QLabel(tr(LabelText), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(9, 288, 660, 19);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

void TForm2::Started()
{
    for (auto *key : keys_)
        key->SetOutlineColor(SilentColor);
    assignmentCursor_ = 1;
    Key(assignmentCursor_)->SetOutlineColor(PressedColor);
}

void TForm2::KeyDown(int code)
{
    if (assignmentCursor_ > LastKey)
        return;
    // Stored first: a refused write leaves the cursor where it is.
    host_.AssignKey(code, assignmentCursor_);
    Key(assignmentCursor_)->SetOutlineColor(SilentColor);
    ++assignmentCursor_;
    if (assignmentCursor_ <= LastKey)
        Key(assignmentCursor_)->SetOutlineColor(PressedColor);
    else
        close();
}

bool TForm2::event(QEvent *event)
{
    // Every key is the window's, before any shortcut or focus move (Tab)
    // could claim it; modifiers and auto-repeats count like any key.
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        event->accept();
        return true;
    case QEvent::KeyPress: {
        event->accept();
        const auto code = performance::VirtualKeyOf(static_cast<const QKeyEvent &>(*event));
        if (code)
            common::RunGuarded([&] { KeyDown(*code); });
        return true;
    }
    default:
        return QWidget::event(event);
    }
}

void TForm2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Restoring from the task bar is no new start.
    if (!event->spontaneous())
        common::RunGuarded([this] { Started(); });
}

void TForm2::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Minimising is no end of the assignment.
    if (!event->spontaneous())
        common::RunGuarded([this] { host_.ReloadKeyMap(); });
}

} // namespace app
