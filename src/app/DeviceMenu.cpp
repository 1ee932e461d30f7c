#include "app/DeviceMenu.h"

#include "app/Accessibility.h"
#include "app/DeviceDirectory.h"
#include "common/GuardedConnect.h"
#include "midi_out/FluidSynthBackend.h"

#include <QActionGroup>

namespace app {

DeviceMenu::DeviceMenu(QWidget *parent)
    : QMenu(tr("Gerät"), parent), group_(new QActionGroup(this))
{
    setObjectName(QStringLiteral("DeviceMenu"));
    group_->setExclusive(true);
    common::GuardedConnect(group_, &QActionGroup::triggered, this,
                           [this](QAction *item) { emit ItemClicked(item->data().toInt()); });
}

DeviceMenu::DeviceMenu(const QString &title, const QString &noneCaption, QWidget *parent)
    : DeviceMenu(parent)
{
    setTitle(title);
    noneCaption_ = noneCaption;
}

void DeviceMenu::Rebuild(const DeviceDirectory &devices, int selected)
{
    for (QAction *item : group_->actions()) {
        group_->removeAction(item);
        removeAction(item);
        delete item;
    }
    const int last = noneCaption_.isEmpty() ? 0 : NoneIndex;
    for (int i = devices.Count() - 1; i >= last; --i) {
        const QString caption = i == NoneIndex ? noneCaption_ : Caption(devices.NameOf(i));
        auto *item = new QAction(caption, this);
        item->setCheckable(true);
        item->setData(i);
        item->setChecked(i == selected);
        group_->addAction(item);
        // A screen reader hears the device or input that was chosen.
        common::GuardedConnect(item, &QAction::toggled, this, [this, item](bool on) {
            if (on)
                TellChecked(this, item);
        });
        if (i == NoneIndex && !actions().isEmpty())
            insertAction(actions().front(), item);
        else
            addAction(item);
    }
}

QString DeviceMenu::Caption(const std::string &name)
{
    if (name == midi_out::FluidSynthBackend::DeviceName)
        return tr("FluidSynth (eingebaut)");
    return QString::fromStdString(name);
}

void DeviceMenu::Check(int index)
{
    if (QAction *item = Item(index)) {
        item->setChecked(true);
        return;
    }
    if (QAction *checked = group_->checkedAction()) {
        // An exclusive group keeps its last check: lift it for a moment.
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
}

QAction *DeviceMenu::Item(int index) const
{
    for (QAction *item : group_->actions())
        if (item->data().toInt() == index)
            return item;
    return nullptr;
}

int DeviceMenu::CheckedIndex() const
{
    const QAction *checked = group_->checkedAction();
    return checked ? checked->data().toInt() : -1;
}

} // namespace app
