#pragma once
// The main window's menu bar. The menus only build themselves and call the
// window's handlers; what an item does lives in the window.

#include <QCoreApplication>

class QAction;
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

private:
    InstrumentMenu *instruments_;
    DeviceMenu *devices_;
};

} // namespace app
