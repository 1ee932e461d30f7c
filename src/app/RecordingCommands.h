#pragma once
// The recording's file commands: "Öffnen..." and "Speichern...", the
// question about an unsaved take before it is replaced or the window closes,
// the saves under way, the take's journal, and the recording named on the
// command line. The window owns it and calls it from its handlers; the takes
// that programs which have ended left are offered by the LeftTakeRecovery it
// owns.

#include "app/LeftTakeRecovery.h"
#include "app/RecordingSaves.h"
#include "app/UnsavedTake.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <vector>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace files {
enum class AudioFormat;
}

namespace recorder {
class RecordingStream;
class TakeJournal;
struct LeftTake;
}

namespace app {

class SettingsWriter;

class RecordingCommands final : private LeftTakeHost {
public:
    // `stopForFile` ends a recording or playback and silences the device
    // before a file is read or written, telling a failure and going on;
    // `closeWindow` closes the window once a save it waited for is done.
    RecordingCommands(QWidget &window, recorder::RecordingStream &stream, std::function<void()> stopForFile,
                      std::function<void()> closeWindow);
    ~RecordingCommands();

    const UnsavedTake &Take() const { return take_; }
    UnsavedTake &Take() { return take_; }
    const RecordingSaves &Saves() const { return *saves_; }

    // The settings the commands keep and follow: the folder last used, kept
    // between runs, and the stored instrument, which a take saved as sound
    // is played with, as playback plays it.
    void UseSettings(SettingsWriter &settings) { settings_ = &settings; }
    // The dialogs, created on first use in the folder last used and kept
    // with their last folder.
    QFileDialog *OpenDialog();
    QFileDialog *SaveDialog();

    // "Öffnen...": the unsaved take is asked about first.
    void Open();
    // "Speichern...": returns once the file's bytes are made; they are
    // written meanwhile. True when a save was started.
    bool Save();
    // Whether an action that discards the recording may go on: waits for the
    // saves under way, asks when the take is unsaved, and saves it when the
    // user wants.
    bool MayDiscardTake();
    // As MayDiscardTake for closing the window, which never waits here: the
    // close comes back once the saves under way are done.
    bool MayClose();
    // The window closes: whatever still waits for a save gives up.
    void Closing();
    // The window is being destroyed: no save's end closes it any more.
    void WindowGoing() { closeAfterSaves_ = false; }
    // The window is going: a save the user did not give up on gets `bound`
    // to finish, and its failure is shown.
    void FinishAtExit(std::chrono::milliseconds bound);

    // Told the file the take is now the one of (opened or saved, its name in
    // bytes), or an empty name for a take of no file (a left take restored).
    void OnFileNamed(std::function<void(const std::string &fileName)> named) { named_ = std::move(named); }

    // One argument, the file's name in bytes as given, is opened as the open
    // command opens it (by its extension), one of another extension as a
    // native recording; one that cannot be opened is told.
    void LoadCommandLineFile(const std::vector<std::string> &arguments);

    // The take's journal follows the transport: a take starts, grows and
    // ends; a take that is saved or replaced takes its journal with it.
    void TakeStarted();
    void TakeGrew();
    void TakeEnded();
    const recorder::TakeJournal &Journal() const { return *journal_; }
    recorder::TakeJournal &Journal() { return *journal_; }
    // Looks, off the window's thread, for takes that programs which have
    // ended left unsaved, and offers each of them once they are found.
    void OfferLeftTakes();

private:
    // What the recovery of left takes asks of the window and the commands.
    LeftTakeAnswer AskAboutLeft(const QString &question) override;
    void TellWarning(const QString &text) override;
    std::optional<std::string> ChooseFileForLeft() override;
    void SaveLeft(std::string fileName, std::vector<std::uint8_t> bytes,
                  std::function<void(std::exception_ptr failure)> done) override;
    bool MayReplaceTake() override;
    void TakeRestored(recorder::LeftTake &&take) override;

    // The file chosen in the dialog, the transport stopped first; nothing
    // when the dialog was cancelled.
    std::optional<std::string> ChooseFile(QFileDialog &dialog);
    // Runs the dialog; the folder of a chosen file is remembered.
    std::optional<std::string> RunDialog(QFileDialog &dialog);
    void StartInLastFolder(QFileDialog &dialog) const;
    void ShowRefusal(const std::exception &refused);
    // A Standard MIDI File replaces the recording once it has been read.
    void ReadMidiFile(const std::string &fileName);
    // What an opened file held that the recording cannot, told in one box.
    void TellMissed(const std::vector<std::string> &missed);
    // True when the file was read, or its reading has started.
    bool OpenFile();
    void SaveFinished(std::uint64_t version, const std::exception_ptr &failure);
    // The take rendered as sound on the saves' thread, with its progress
    // shown; it stays unsaved, as a sound file cannot be opened again.
    void SaveAsSound(const std::string &fileName, files::AudioFormat format);

    QWidget &window_;
    recorder::RecordingStream &stream_;
    std::function<void()> stopForFile_;
    SettingsWriter *settings_ = nullptr;
    std::function<void()> closeWindow_;
    UnsavedTake take_;
    std::unique_ptr<RecordingSaves> saves_;
    std::unique_ptr<LeftTakeRecovery> leftTakes_;
    std::unique_ptr<recorder::TakeJournal> journal_;
    // A close waits for the saves under way.
    bool closeAfterSaves_ = false;
    QFileDialog *openDialog_ = nullptr;
    QFileDialog *saveDialog_ = nullptr;
    std::function<void(const std::string &)> named_ = [](const std::string &) {};
    // The names of the saves under way, in the order they finish.
    std::deque<std::string> savingNames_;
};

} // namespace app
