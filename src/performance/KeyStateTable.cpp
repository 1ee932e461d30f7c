#include "performance/KeyStateTable.h"

#include "common/Guard.h"
#include "performance/KeyCodes.h"
#include "performance/X11AutoRepeat.h"

#include <QApplication>
#include <QApplicationStateChangeEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace performance {

void KeyStateTable::Press(std::uint32_t position, int virtualKey)
{
    // An event travelling up the widget chain reaches the filter once per
    // widget, so the same press can come more than once.
    for (const auto &key : down_)
        if (key.position == position)
            return;
    down_.push_back({position, virtualKey});
    ++changes_;
}

void KeyStateTable::Release(std::uint32_t position)
{
    if (std::erase_if(down_, [position](const DownKey &key) { return key.position == position; }) > 0)
        ++changes_;
}

void KeyStateTable::ReleaseAll()
{
    if (down_.empty())
        return;
    down_.clear();
    ++changes_;
}

void KeyStateTable::Forget(int virtualKey)
{
    if (std::erase_if(down_, [virtualKey](const DownKey &key) { return key.virtualKey == virtualKey; }) > 0)
        ++changes_;
}

bool KeyStateTable::IsDown(int virtualKey) const
{
    return std::any_of(down_.begin(), down_.end(),
                       [virtualKey](const DownKey &key) { return key.virtualKey == virtualKey; });
}

KeyStateFilter::KeyStateFilter(KeyStateTable &table, QObject *parent)
    : QObject(parent), table_(table)
{
    MakeAutoRepeatDetectable();
}

std::uint32_t KeyStateFilter::PositionOf(const QKeyEvent &event)
{
    // Native scan codes stay below 0x10000 on every platform Qt supports.
    if (event.nativeScanCode() != 0)
        return event.nativeScanCode();
    return 0x10000u + static_cast<std::uint32_t>(event.key());
}

bool KeyStateFilter::eventFilter(QObject *watched, QEvent *event)
{
    // A failure here lets the event go on unchanged.
    bool consumed = false;
    common::RunGuarded([&] { consumed = Observe(watched, *event); });
    return consumed;
}

bool KeyStateFilter::Plays(const QObject *receiver, const std::optional<int> &code) const
{
    if (!code || !plays_)
        return false;
    // The menu bar reached by Alt alone has the focus and takes letters as
    // its access keys.
    if (qobject_cast<const QMenuBar *>(QApplication::focusWidget()) != nullptr)
        return false;
    return MeantForThePlayingWindow(receiver) && plays_(*code);
}

bool KeyStateFilter::MeantForThePlayingWindow(const QObject *receiver) const
{
    if (playingWindow_ == nullptr)
        return true;
    // An open menu or one of our dialogs has the keyboard even while the
    // event still passes the playing window on its way.
    if (QApplication::activePopupWidget() != nullptr || QApplication::activeModalWidget() != nullptr)
        return false;
    if (const auto *widget = qobject_cast<const QWidget *>(receiver))
        return widget->window() == playingWindow_;
    if (const auto *window = qobject_cast<const QWindow *>(receiver))
        return window == playingWindow_->windowHandle();
    return false;
}

bool KeyStateFilter::IsChord(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
        return false; // a modifier itself may play
    default:
        return (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    }
}

bool KeyStateFilter::Observe(const QObject *receiver, const QEvent &event)
{
    switch (event.type()) {
    case QEvent::KeyPress: {
        const auto &key = static_cast<const QKeyEvent &>(event);
        // Ctrl+letter is a command, matched or not: it never plays.
        if (IsChord(key))
            return false;
        const auto code = VirtualKeyOf(key);
        const bool counted = code && !key.isAutoRepeat() && MeantForThePlayingWindow(receiver);
        if (counted)
            table_.Press(PositionOf(key), *code);
        const bool plays = Plays(receiver, code);
        // Its own guard: a failure there must not let the key on to the focused control.
        if (counted && plays && pressed_)
            common::RunGuarded(pressed_);
        return plays;
    }
    case QEvent::KeyRelease: {
        const auto &key = static_cast<const QKeyEvent &>(event);
        if (!key.isAutoRepeat())
            table_.Release(PositionOf(key));
        return Plays(receiver, VirtualKeyOf(key));
    }
    case QEvent::ApplicationDeactivate:
        table_.ReleaseAll();
        break;
    case QEvent::WindowDeactivate:
        // Releases go on counting from anywhere, but one that goes to another
        // window of ours may never come back here.
        if (playingWindow_ != nullptr && receiver == playingWindow_)
            table_.ReleaseAll();
        break;
    case QEvent::ApplicationStateChange:
        if (static_cast<const QApplicationStateChangeEvent &>(event).applicationState() !=
            Qt::ApplicationActive)
            table_.ReleaseAll();
        break;
    default:
        break;
    }
    return false;
}

} // namespace performance
