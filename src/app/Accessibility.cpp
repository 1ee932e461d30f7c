#include "app/Accessibility.h"

#include "app/InstrumentMenu.h"
#include "app/SpinButtons.h"
#include "common/Guard.h"
#include "performance/NoteNames.h"
#include "performance/PianoKey.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QPointer>
#include <QWindow>

namespace app {

namespace {

// Every answer to a screen reader's question runs through the shared guard:
// the question comes from Qt's bridge, and nothing may unwind into it.
template <class T, class Action>
T Answer(Action &&action, T fallback = T())
{
    common::RunGuarded([&] { fallback = action(); });
    return fallback;
}

QString StripAmpersands(QString text)
{
    // "&&" is a literal ampersand; a single one marks the access key.
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

class PianoKeyAccessible : public QAccessibleWidget {
public:
    explicit PianoKeyAccessible(performance::PianoKey *key) : QAccessibleWidget(key, QAccessible::Button) {}

    QString text(QAccessible::Text type) const override
    {
        return Answer<QString>([&] {
            switch (type) {
            case QAccessible::Name:
                return performance::NoteName(Key().Note());
            case QAccessible::Description: {
                const QString keys = Key().PcKeys();
                return keys.isEmpty() ? QString()
                                      : QCoreApplication::translate("Accessibility", "PC-Taste %1").arg(keys);
            }
            default:
                return QAccessibleWidget::text(type);
            }
        });
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = Key().IsSounding();
        return state;
    }

private:
    const performance::PianoKey &Key() const { return *static_cast<performance::PianoKey *>(widget()); }
};

class SpinAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SpinAccessible(SpinButtons *spin) : QAccessibleWidget(spin, QAccessible::SpinBox) {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override
    {
        return Answer<QString>([&] {
            return type == QAccessible::Value ? QString::number(Spin().Position()) : QAccessibleWidget::text(type);
        });
    }

    QVariant currentValue() const override { return Spin().Position(); }
    void setCurrentValue(const QVariant &value) override
    {
        common::RunGuarded([&] { Spin().SetPosition(value.toInt()); });
    }
    QVariant maximumValue() const override { return Spin().Maximum(); }
    QVariant minimumValue() const override { return Spin().Minimum(); }
    QVariant minimumStepSize() const override { return 1; }

    QStringList actionNames() const override
    {
        return QStringList{increaseAction(), decreaseAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == increaseAction() || name == decreaseAction())
            common::RunGuarded([&] { Spin().StepBy(name == increaseAction() ? 1 : -1); });
        else
            QAccessibleWidget::doAction(name);
    }

private:
    SpinButtons &Spin() const { return *static_cast<SpinButtons *>(widget()); }
};

// One of the grid's items: it is drawn by the grid, so it is an interface
// of its own on the item's action.
class InstrumentItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    InstrumentItemAccessible(QAction *item, InstrumentGrid *grid) : item_(item), grid_(grid) {}

    bool isValid() const override { return item_ && grid_; }
    QObject *object() const override { return item_; }
    QWindow *window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        // The menu, past the scroll area the grid sits in.
        QWidget *menu = grid_ ? grid_->parentWidget() : nullptr;
        while (menu && !qobject_cast<QMenu *>(menu))
            menu = menu->parentWidget();
        return menu ? QAccessible::queryAccessibleInterface(menu) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text type) const override
    {
        return Answer<QString>([&] { return type == QAccessible::Name ? StripAmpersands(item_->text()) : QString(); });
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect inGrid = grid_->ItemRect(Program());
        return QRect(grid_->mapToGlobal(inGrid.topLeft()), inGrid.size());
    }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid())
            return state;
        state.checkable = true;
        state.checked = item_->isChecked();
        state.focusable = true;
        state.selectable = true;
        state.selected = grid_->Current() == Program();
        state.focused = state.selected && grid_->hasFocus();
        state.invisible = !grid_->isVisible();
        // Scrolled out of the menu's view.
        state.offscreen = !grid_->visibleRegion().boundingRect().contains(grid_->ItemRect(Program()));
        return state;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && isValid())
            common::RunGuarded([this] { grid_->Choose(Program()); });
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    int Program() const { return item_->data().toInt(); }

private:
    QPointer<QAction> item_;
    QPointer<InstrumentGrid> grid_;
};

// The instrument menu holds one widget item, the grid; a screen reader gets
// the grid's 128 items as the menu's own.
class InstrumentMenuAccessible : public QAccessibleWidget {
public:
    explicit InstrumentMenuAccessible(InstrumentMenu *menu) : QAccessibleWidget(menu, QAccessible::PopupMenu) {}

    int childCount() const override { return static_cast<int>(Grid().Group()->actions().size()); }
    QAccessibleInterface *child(int index) const override
    {
        return QAccessible::queryAccessibleInterface(Grid().Item(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *action = child ? qobject_cast<const QAction *>(child->object()) : nullptr;
        return action && Grid().Item(action->data().toInt()) == action ? action->data().toInt() : -1;
    }
    QAccessibleInterface *focusChild() const override
    {
        return Grid().hasFocus() ? child(Grid().Current()) : nullptr;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int program = 0; program < childCount(); ++program)
            if (QAccessibleInterface *item = child(program); item && item->rect().contains(x, y))
                return item;
        return nullptr;
    }
    QString text(QAccessible::Text type) const override
    {
        return Answer<QString>([&] {
            return type == QAccessible::Name ? StripAmpersands(Menu().title()) : QAccessibleWidget::text(type);
        });
    }

private:
    InstrumentMenu &Menu() const { return *static_cast<InstrumentMenu *>(widget()); }
    InstrumentGrid &Grid() const { return *Menu().Grid(); }
};

std::function<void(const QAccessibleEvent &)> &TellListener()
{
    static std::function<void(const QAccessibleEvent &)> listener;
    return listener;
}

QAccessibleInterface *Factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("performance::PianoKey"))
        return new PianoKeyAccessible(static_cast<performance::PianoKey *>(object));
    if (className == QLatin1String("app::SpinButtons"))
        return new SpinAccessible(static_cast<SpinButtons *>(object));
    if (className == QLatin1String("app::InstrumentMenu"))
        return new InstrumentMenuAccessible(static_cast<InstrumentMenu *>(object));
    if (className == QLatin1String("QAction"))
        if (auto *grid = qobject_cast<InstrumentGrid *>(object->parent()))
            return new InstrumentItemAccessible(static_cast<QAction *>(object), grid);
    return nullptr;
}

} // namespace

void InstallAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}

void TellChecked(QMenu *menu, QAction *item)
{
    const auto index = menu->actions().indexOf(item);
    if (index < 0)
        return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(menu, changed);
    event.setChild(static_cast<int>(index));
    Tell(event);
}

void Tell(QAccessibleEvent &event)
{
    if (TellListener())
        TellListener()(event);
    QAccessible::updateAccessibility(&event);
}

void SetTellListener(std::function<void(const QAccessibleEvent &)> listener)
{
    TellListener() = std::move(listener);
}

} // namespace app
