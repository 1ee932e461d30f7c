#pragma once
// The window's own message texts and the settings file's section and key
// names. The default key map lives with the key map (performance/KeyMap.h).

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
// The "Aufnahme" menu's practice items; files without them: all off.
inline constexpr char MetronomeKey[] = "Metronome";
inline constexpr char CountInKey[] = "CountIn";
inline constexpr char RepeatPlaybackKey[] = "RepeatPlayback";
// The folder a recording was last opened from or saved to.
inline constexpr char LastFolderKey[] = "LastFolder";
inline constexpr char KeysSection[] = "Keys";

} // namespace app
