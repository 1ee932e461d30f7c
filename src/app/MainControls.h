#pragma once
// The main window's controls, each named as its object name (tests find them
// by it): built in one place with their texts, positions and ranges, and
// handed to the window, which wires them to its handlers.

#include "performance/KeyGeometry.h"

#include <array>
#include <cstdint>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QString;
class QSlider;
class QToolButton;
class QWidget;

namespace performance {
class PianoKey;
}
namespace recorder {
class SteadyTimer;
}

namespace app {

class SpinButtons;

struct MainControls {
    static constexpr int ClientWidth = 679;
    static constexpr int ClientHeight = 345;

    QWidget *Client = nullptr;
    QCheckBox *CheckBox1 = nullptr;      // "Drums-Begleitung"
    QLabel *Label1 = nullptr;            // "Tempo:"
    QLineEdit *Edit1 = nullptr;          // tempo field
    SpinButtons *UpDown1 = nullptr;      // tempo, 1..300
    QLabel *Label2 = nullptr;            // "Taktschläge pro Minute"
    QLabel *Label3 = nullptr;            // "Transposition:"
    QLineEdit *Edit2 = nullptr;          // transposition field
    SpinButtons *UpDown2 = nullptr;      // transposition, -36..51
    QLabel *Label4 = nullptr;            // "Halbtonschritte"
    QToolButton *SpeedButton1 = nullptr; // "Aufnahme"
    QToolButton *SpeedButton2 = nullptr; // "Wiedergabe"
    QToolButton *SpeedButton3 = nullptr; // "Angehalten"
    QButtonGroup *TransportGroup = nullptr;
    QLabel *Label5 = nullptr;            // "Lautstärke:"
    QSlider *TrackBar1 = nullptr;        // volume, 0..127
    QLabel *TakeTime = nullptr;          // the take's minutes:seconds, while recording or playing
    // Key1..Key42, indexed by number - 1.
    std::array<performance::PianoKey *, performance::KeyCount> keys_{};
    recorder::SteadyTimer *DrumTimer = nullptr;
    recorder::SteadyTimer *ClockTimer = nullptr;
};

// "m:ss" of the take at `tick` 50 ms clock ticks.
QString TakeTimeText(std::int32_t tick);

// Builds the controls into a client area that becomes `window`'s central
// widget; the timers get the window as their parent. Nothing is connected.
MainControls BuildMainControls(QMainWindow &window, int clockIntervalMs);

} // namespace app
