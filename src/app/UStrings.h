#pragma once
// The program's own texts and fixed data: message texts, settings names and
// the default key map.

#include <QString>
#include <QtGlobal>
#include <QStringList>

#include <array>

namespace app {

inline constexpr char NoDevicesText[] = QT_TRANSLATE_NOOP("app::TForm1", "Sie haben keine MIDI-Geräte installiert.");

// A key-map entry that is no code: the conversion's message, then the
// section, the entry and the settings file.
inline constexpr char KeyEntryFaultText[] = QT_TRANSLATE_NOOP("app::TForm1", "%1 ([%2] %3 in %4)");
inline constexpr char InputGoneText[] = QT_TRANSLATE_NOOP("app::TForm1", "Der MIDI-Eingang ist nicht mehr verfügbar.");
// The input and the output device went together (their server ended); %1 the device.
inline constexpr char InputAndDeviceGoneText[] =
    QT_TRANSLATE_NOOP("app::TForm1", "Der MIDI-Eingang und das MIDI-Gerät „%1“ sind nicht mehr verfügbar.");
inline constexpr char NoInputCaption[] = QT_TRANSLATE_NOOP("app::TForm1", "Kein Eingang");

// Settings file: sections and keys.
inline constexpr char DeviceSection[] = "Device";
inline constexpr char DeviceIdKey[] = "ID";
// The chosen device's name beside its index: indexes change as ports come and go.
inline constexpr char DeviceNameKey[] = "Name";
// The chosen MIDI source, by name and index as for the device; no section: none.
inline constexpr char InputDeviceSection[] = "InputDevice";
inline constexpr char CommonSection[] = "Common";
inline constexpr char BeatKey[] = "Beat";
inline constexpr char TranspositionKey[] = "Transposition";
inline constexpr char DrumsKey[] = "Drums";
inline constexpr char VolumeKey[] = "Volume";
inline constexpr char InstrumentKey[] = "Instrument";
inline constexpr char ChannelKey[] = "Channel";
inline constexpr char VelocityByPositionKey[] = "VelocityByPosition";
inline constexpr char ShowKeyLabelsKey[] = "ShowKeyLabels";
inline constexpr char KeysSection[] = "Keys";

// Default key map: entry i plays piano key DefaultKeyNumbers[i] with the
// platform virtual-key code DefaultKeyCodes[i].
inline constexpr std::array<int, 42> DefaultKeyCodes{
    226, 89,  88,  67,  86,  66,  78,  77,  188, 190, 189, 16,  65, 83,
    70,  71,  72,  75,  76,  222, 191, 81,  87,  69,  82,  84,  90, 85,
    73,  79,  80,  186, 187, 49,  50,  52,  53,  55,  56,  57,  219, 221,
};
inline constexpr std::array<int, 42> DefaultKeyNumbers{
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
    29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42,
};

// The defaults as the two lists hold them: one decimal string per entry.
QStringList DefaultKeyCodeList();
QStringList DefaultKeyNumberList();

} // namespace app
