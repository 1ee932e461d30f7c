#pragma once
// The main window's menu bar. The menus only build themselves and call the
// window's handlers; what an item does lives in the window.

#include <QCoreApplication>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QToolButton;

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
    // The "Aufnahme" menu's checkable practice items.
    QAction *MetronomeItem() const { return metronome_; }
    QAction *CountInItem() const { return countIn_; }
    QAction *RepeatItem() const { return repeat_; }

    // "Aufnahme", "Wiedergabe" and "Angehalten" at the head of the "Aufnahme"
    // menu, with shortcuts on Ctrl so that no playing key can reach them.
    // An item clicks its button, so that both run the same handlers; the
    // items' checks follow the buttons.
    void AddTransport(QToolButton *record, QToolButton *play, QToolButton *stop);
    // The transport items in the order above.
    QAction *TransportItem(int index) const { return transport_[index]; }

    static constexpr int TransportCount = 3;

private:
    InstrumentMenu *instruments_;
    DeviceMenu *devices_;
    DeviceMenu *inputs_;
    QActionGroup *channels_;
    QAction *velocityByPosition_;
    QAction *keyLabels_;
    QAction *metronome_;
    QAction *countIn_;
    QAction *repeat_;
    QMenu *recording_;
    QAction *transport_[TransportCount] = {};
};

} // namespace app
