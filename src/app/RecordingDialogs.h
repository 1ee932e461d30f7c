#pragma once
// The open and save dialogs of the recording commands: their filters,
// default extension and options, and the one place where a dialog is run,
// which tests replace to answer it without a person.

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace app {

// One entry of a dialog's filter list: the description as the user reads it
// and the patterns that make it work.
struct FileFilter {
    const char *description;
    const char *patterns;
};

inline constexpr FileFilter OpenFilters[] = {
    {QT_TRANSLATE_NOOP("RecordingDialogs", "Alle unterstützten Dateien (*.vsq; *.vnx; *.mid; *.midi; *.smf)"),
     "*.vsq *.vnx *.mid *.midi *.smf *.MID *.MIDI *.SMF"},
    {QT_TRANSLATE_NOOP("RecordingDialogs", "Varno MIDI Sonoret-Datei (*.vsq)"), "*.vsq"},
    {QT_TRANSLATE_NOOP("RecordingDialogs", "MIDI-Datei (*.mid *.midi)"), "*.mid *.midi *.smf *.MID *.MIDI *.SMF"},
    {QT_TRANSLATE_NOOP("RecordingDialogs", "Varno Sound Textdatei (*.vnx)"), "*.vnx"},
};
inline constexpr FileFilter SaveFilters[] = {
    {QT_TRANSLATE_NOOP("RecordingDialogs", "Varno MIDI Sonoret-Datei (*.vsq)"), "*.vsq"},
    {QT_TRANSLATE_NOOP("RecordingDialogs", "MIDI-Datei (*.mid)"), "*.mid"},
    {QT_TRANSLATE_NOOP("RecordingDialogs", "WAV-Audio (*.wav)"), "*.wav"},
    {QT_TRANSLATE_NOOP("RecordingDialogs", "FLAC-Audio (*.flac)"), "*.flac"},
    {QT_TRANSLATE_NOOP("RecordingDialogs", "Ogg-Vorbis-Audio (*.ogg)"), "*.ogg"},
};
inline constexpr char RecordingDefaultSuffix[] = "vsq";

// The description in the language shown.
QString DescriptionOf(const FileFilter &filter);

// The extension a bare file name gets under `filter`.
QString DefaultSuffixOf(const FileFilter &filter);

// Dialogs owned by `owner`: the open dialog takes only an existing file, the
// save dialog asks before replacing one. The first filter is preselected;
// the save dialog's default extension follows the filter chosen.
QFileDialog *CreateOpenDialog(QWidget *owner);
QFileDialog *CreateSaveDialog(QWidget *owner);

// Shows the dialog modally; the chosen file's name as the bytes that name
// it, or nothing when cancelled.
std::optional<std::string> RunFileDialog(QFileDialog &dialog);

// Replaces how dialogs are run: the runner answers the dialog in the user's
// place and returns the chosen file name, or nothing for a cancel. Empty:
// the dialog is shown to the user.
using FileDialogRunner = std::function<std::optional<QString>(QFileDialog &dialog)>;
void SetFileDialogRunner(FileDialogRunner runner);

} // namespace app
