#pragma once
// The device submenu "Gerät": one radio item per output device, captioned
// with the device's name and numbered with its index, highest index first.
// The input submenu "Eingang" is built the same way from the sources, after
// an item for no source, numbered NoneIndex.

#include <QMenu>

#include <string>

class QActionGroup;

namespace app {

class DeviceDirectory;

class DeviceMenu : public QMenu {
    Q_OBJECT
public:
    static constexpr int NoneIndex = -1;

    explicit DeviceMenu(QWidget *parent = nullptr);
    // A menu titled `title` whose first item, `noneCaption`, stands for none.
    DeviceMenu(const QString &title, const QString &noneCaption, QWidget *parent = nullptr);

    // Items for the devices of `devices`; the one numbered `selected` is
    // checked (none when no item has that number).
    void Rebuild(const DeviceDirectory &devices, int selected);
    // Checks the item numbered `index`, or clears the check when there is none.
    void Check(int index);

    QAction *Item(int index) const;
    // How the device of this name is shown: the built-in synthesizer in the
    // window's language, the others by the name they carry. The settings
    // keep the name itself.
    static QString Caption(const std::string &name);
    // The number of the checked item; -1 when none is checked.
    int CheckedIndex() const;

signals:
    void ItemClicked(int index);

private:
    QActionGroup *group_;
    QString noneCaption_;
};

} // namespace app
