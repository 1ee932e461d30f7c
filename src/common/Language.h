#pragma once
// The language of the program's texts. German is the source language: its
// texts are in the code and need no catalogue. Any other language gets the
// catalogue made for it, and English when there is none. Qt's own texts
// (dialogs, message box buttons) follow in the same language.
//
// Texts built outside Qt (the exceptions of the file and stream code) keep
// German in what(): the tests and the converter's callers read that. They
// are translated where they are shown, by TranslatedMessage. The device
// layer's texts are English in the code, as its peers' are; their
// catalogues (<DeviceCatalogueName>_<language>) carry German and any other
// language but English.

#include <QLocale>
#include <QString>
#include <QStringList>

#include <string>

namespace common {

inline constexpr char SourceLanguage[] = "de";
inline constexpr char FallbackLanguage[] = "en";
// Overrides the locale: "de" or "en" (or another language with a catalogue).
inline constexpr char LanguageVariable[] = "MIDI_SONORET_LANGUAGE";
// The program's catalogues are named <CatalogueName>_<language>.qm.
inline constexpr char CatalogueName[] = "midi-sonoret";
inline constexpr char DeviceCatalogueName[] = "midi-sonoret-devices";
// The context of the device layer's texts in their catalogues.
inline constexpr char DeviceContext[] = "DeviceErrors";

// Where the program's catalogues may be, for an executable in `executableDir`:
// beside it (the build tree), under the install prefix's share/ once installed.
QStringList CatalogueFolders(const QString &executableDir);

// The language to show: the variable when it is set; else the first of the
// system's UI languages that is German or has a catalogue; German when no
// language is set (the C or POSIX locale), English for any other.
QString ChooseLanguage(const QStringList &folders);

// Replaces the catalogues installed before by the program's and Qt's for
// `language`. False when the program's catalogue is missing (German needs
// none); Qt's are optional, as not every system has them.
bool InstallLanguage(const QString &language, const QStringList &folders);

// The language installed last; German before any.
QLocale::Language CurrentLanguage();

// Chooses and installs the language for the running application.
void InstallChosenLanguage();

// An exception text of ours in the language shown: the German text matched
// against the known patterns, its variable part (a file name, a number)
// carried over, a count in the language's plural form; a device text
// (English) looked up in the device catalogue.
// Texts of no pattern come back as they are.
QString TranslatedMessage(const std::string &german);

} // namespace common
