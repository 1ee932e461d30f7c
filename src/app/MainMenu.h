#pragma once
// The main window's menu bar. The menus only build themselves and call the
// window's handlers; what an item does lives in the window.

#include <QCoreApplication>

class QAction;
class QActionGroup;
class QMenuBar;

namespace app {

class DeviceMenu;
class InstrumentMenu;
class TForm1;

class MainMenu {
    Q_DECLARE_TR_FUNCTIONS(app::MainMenu)
public:
    MainMenu(TForm1 &form, QMenuBar *bar);

    InstrumentMenu *Instruments() const { return instruments_; }
    DeviceMenu *Devices() const { return devices_; }
    DeviceMenu *Inputs() const { return inputs_; }
    // The item of channel 1..16 in "Kanal"; none outside.
    QAction *ChannelItem(int channel) const;
    QAction *VelocityByPositionItem() const { return velocityByPosition_; }
    QAction *KeyLabelsItem() const { return keyLabels_; }

private:
    InstrumentMenu *instruments_;
    DeviceMenu *devices_;
    DeviceMenu *inputs_;
    QActionGroup *channels_;
    QAction *velocityByPosition_;
    QAction *keyLabels_;
};

} // namespace app
