#pragma once
// The device submenu "Gerät": one radio item per output device, captioned
// with the device's name and numbered with its index, highest index first.

#include <QMenu>

class QActionGroup;

namespace app {

class DeviceDirectory;

class DeviceMenu : public QMenu {
    Q_OBJECT
public:
    explicit DeviceMenu(QWidget *parent = nullptr);

    // Items for the devices of `devices`; the one numbered `selected` is
    // checked (none when no item has that number).
    void Rebuild(const DeviceDirectory &devices, int selected);
    // Checks the item numbered `index`, or clears the check when there is none.
    void Check(int index);

    QAction *Item(int index) const;
    // The number of the checked item; -1 when none is checked.
    int CheckedIndex() const;

signals:
    void ItemClicked(int index);

private:
    QActionGroup *group_;
};

} // namespace app
