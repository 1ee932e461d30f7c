#include "app/RecordingCommands.h"

#include "app/AudioSaveProgress.h"
#include "app/ErrorHandler.h"
#include "app/RecordingDialogs.h"
#include "app/SettingsWriter.h"
#include "app/UStrings.h"
#include "common/Guard.h"
#include "common/Language.h"
#include "files/AudioExport.h"
#include "files/MidiImport.h"
#include "files/RecordingFiles.h"
#include "recorder/RecordingStream.h"
#include "recorder/TakeJournal.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <filesystem>
#include <utility>
#include <vector>

namespace app {

RecordingCommands::RecordingCommands(QWidget &window, recorder::RecordingStream &stream,
                                     std::function<void()> stopForFile, std::function<void()> closeWindow)
    : window_(window), stream_(stream), stopForFile_(std::move(stopForFile)), closeWindow_(std::move(closeWindow)),
      saves_(std::make_unique<RecordingSaves>(
          [this](std::uint64_t version, std::exception_ptr failure) { SaveFinished(version, failure); }))
{
    leftTakes_ = std::make_unique<LeftTakeRecovery>(saves_->Worker(), saves_->WindowPoster(), stream_,
                                                    static_cast<LeftTakeHost &>(*this));
    // A journal that cannot be written or removed is told on the window's
    // thread, in the window's language.
    journal_ = std::make_unique<recorder::TakeJournal>(
        recorder::JournalFolder(), saves_->Worker(),
        leftTakes_->JournalFaultTeller());
}

RecordingCommands::~RecordingCommands() = default;

void RecordingCommands::StartInLastFolder(QFileDialog &dialog) const
{
    if (!settings_)
        return;
    // A folder gone since, or never stored (an older settings file): the
    // dialog's own start.
    const QString folder =
        QFile::decodeName(QByteArray::fromStdString(settings_->ReadString(CommonSection, LastFolderKey, {})));
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        dialog.setDirectory(folder);
}

QFileDialog *RecordingCommands::OpenDialog()
{
    if (!openDialog_) {
        openDialog_ = CreateOpenDialog(&window_);
        StartInLastFolder(*openDialog_);
    }
    return openDialog_;
}

QFileDialog *RecordingCommands::SaveDialog()
{
    if (!saveDialog_) {
        saveDialog_ = CreateSaveDialog(&window_);
        StartInLastFolder(*saveDialog_);
    }
    return saveDialog_;
}

std::optional<std::string> RecordingCommands::RunDialog(QFileDialog &dialog)
{
    auto name = RunFileDialog(dialog);
    if (!name || !settings_)
        return name;
    const std::string folder = std::filesystem::path(*name).parent_path().string();
    // A settings file holds no line breaks: such a folder is not kept.
    if (!folder.empty() && folder.find_first_of("\r\n") == std::string::npos)
        settings_->WriteString(CommonSection, LastFolderKey, folder);
    return name;
}

void RecordingCommands::Open()
{
    if (MayDiscardTake())
        OpenFile();
}

bool RecordingCommands::MayDiscardTake()
{
    // The saves under way decide whether the take is lost: their results
    // come first.
    if (!saves_->WaitUntilDone())
        return false;
    return take_.MayDiscard([this] { return AskAboutUnsavedTake(&window_); },
                            [this] { return Save() && saves_->WaitUntilDone() && !take_.IsUnsaved(); });
}

bool RecordingCommands::MayClose()
{
    // The first request waits for the saves under way with the window at
    // work, and comes back when they are done. A second one does not wait
    // for a disk that may never answer: it asks as for an unsaved take, or
    // closes when the take is saved.
    if (saves_->UnderWay() > 0 && !closeAfterSaves_) {
        closeAfterSaves_ = true;
        return false;
    }
    closeAfterSaves_ = false;
    // "Speichern..." closes once the take is in the file.
    const bool mayClose = take_.MayDiscard([this] { return AskAboutUnsavedTake(&window_); }, [this] {
        closeAfterSaves_ = Save();
        return false;
    });
    // Saved or given up: its journal goes with the window.
    if (mayClose)
        journal_->Remove();
    return mayClose;
}

void RecordingCommands::Closing()
{
    if (saves_->UnderWay() > 0)
        saves_->GiveUpWaiting();
}

void RecordingCommands::FinishAtExit(std::chrono::milliseconds bound)
{
    closeAfterSaves_ = false;
    if (!saves_->GaveUp())
        saves_->Flush(bound);
}

void RecordingCommands::SaveFinished(std::uint64_t version, const std::exception_ptr &failure)
{
    std::string name;
    if (!savingNames_.empty()) {
        name = std::move(savingNames_.front());
        savingNames_.pop_front();
    }
    if (failure) {
        // A close waiting for the save does not happen: the take stays.
        closeAfterSaves_ = false;
        std::rethrow_exception(failure);
    }
    take_.MarkSaved(version);
    if (!take_.IsUnsaved())
        journal_->Remove();
    named_(name);
    if (closeAfterSaves_ && saves_->UnderWay() == 0) {
        closeAfterSaves_ = false;
        // Once whoever waits for the saves has gone on.
        QMetaObject::invokeMethod(
            &window_, [this]() noexcept { common::RunGuarded([this] { closeWindow_(); }); }, Qt::QueuedConnection);
    }
}

std::optional<std::string> RecordingCommands::ChooseFile(QFileDialog &dialog)
{
    const auto name = RunDialog(dialog);
    if (!name)
        return std::nullopt;
    stopForFile_();
    return name;
}

void RecordingCommands::ShowRefusal(const std::exception &refused)
{
    ErrorHandler::ShowDetectedError(common::TranslatedMessage(refused.what()), MessageIcon::Warning, &window_);
}

bool RecordingCommands::OpenFile()
{
    const auto name = ChooseFile(*OpenDialog());
    if (!name)
        return false;
    if (files::IsMidiFileKey(files::ExtensionKey(*name))) {
        ReadMidiFile(*name);
        return true;
    }
    try {
        files::OpenRecording(*name, stream_);
    } catch (const files::EUnsupportedFormat &refused) {
        ShowRefusal(refused);
        return false;
    }
    // The recording in memory is now the one in the file; the take it
    // replaced was saved or given up.
    take_.MarkSaved();
    journal_->Remove();
    named_(*name);
    return true;
}

bool RecordingCommands::Save()
{
    const auto name = ChooseFile(*SaveDialog());
    if (!name)
        return false;
    if (const auto format = files::AudioFormatOfKey(files::ExtensionKey(*name))) {
        SaveAsSound(*name, *format);
        return true;
    }
    std::vector<std::uint8_t> bytes;
    try {
        bytes = files::SavedFileBytes(*name, stream_);
    } catch (const files::EUnsupportedFormat &refused) {
        ShowRefusal(refused);
        return false;
    }
    saves_->Start(*name, std::move(bytes), take_.Version());
    savingNames_.push_back(*name);
    return true;
}

void RecordingCommands::SaveAsSound(const std::string &fileName, files::AudioFormat format)
{
    // Owned by the window: a save still under way when it goes takes the
    // dialog with it.
    QPointer<AudioSaveProgress> progress =
        new AudioSaveProgress(&window_, QFile::decodeName(QByteArray::fromStdString(fileName)));
    files::AudioRendering rendering;
    rendering.progress = progress->Reporter();
    if (settings_)
        rendering.program = static_cast<std::uint8_t>(settings_->ReadInteger(CommonSection, InstrumentKey, 0) & 0x7F);
    saves_->StartMade(
        fileName,
        [fileName, format, records = stream_.Bytes(),
         rendering = std::move(rendering)] { files::ExportAudioFile(fileName, format, records, rendering); },
        [progress](std::exception_ptr failure) {
            if (progress)
                progress->Finish();
            if (!failure)
                return;
            try {
                std::rethrow_exception(failure);
            } catch (const files::ERenderCancelled &) {
                // Given up by the user, who needs no message about it.
            }
        });
}

void RecordingCommands::LoadCommandLineFile(const std::vector<std::string> &arguments)
{
    // A missing file, a folder, a pipe or a device is named as a file the
    // user wants: the load refuses it with the open command's message rather
    // than pass over it unsaid.
    if (arguments.size() != 1)
        return;
    const std::string &fileName = arguments.front();
    // What the open command takes by its extension is read as it reads it;
    // a name of any other extension as a recording.
    const std::string key = files::ExtensionKey(fileName);
    if (files::IsMidiFileKey(key)) {
        ReadMidiFile(fileName);
        return;
    }
    if (key == files::kSoundTextKey)
        files::OpenRecording(fileName, stream_);
    else
        stream_.LoadFromFile(fileName);
    take_.MarkSaved();
    named_(fileName);
}

void RecordingCommands::ReadMidiFile(const std::string &fileName)
{
    // A song file takes many times as long to read as a recording of its
    // size: it is read on the saves' thread, and whatever would replace the
    // recording waits for it as for a save.
    struct Read {
        std::vector<std::uint8_t> records;
        files::MidiImportNotes notes;
    };
    auto read = std::make_shared<Read>();
    saves_->Read(
        [read, fileName] {
            read->records =
                files::MidiFileRecords(recorder::RecordingStream::ReadWholeFile(fileName), fileName, read->notes);
        },
        [this, read, fileName](std::exception_ptr failure) {
            if (failure)
                std::rethrow_exception(failure); // the recording stays as it was
            recorder::RecordingStream song = LeftTakeRecovery::StreamOf(read->records);
            stream_.Swap(song);
            take_.MarkSaved();
            journal_->Remove();
            named_(fileName);
            TellMissed(read->notes.Texts(fileName));
        });
}

void RecordingCommands::TellMissed(const std::vector<std::string> &missed)
{
    QStringList texts;
    for (const std::string &text : missed)
        texts << common::TranslatedMessage(text);
    if (!texts.empty())
        ErrorHandler::ShowDetectedError(texts.join(QLatin1Char('\n')), MessageIcon::Warning, &window_);
}

void RecordingCommands::TakeStarted() { journal_->Begin(); }

void RecordingCommands::TakeGrew() { journal_->Follow(stream_); }

void RecordingCommands::TakeEnded() { journal_->Seal(stream_); }

void RecordingCommands::OfferLeftTakes() { leftTakes_->OfferLeftTakes(recorder::JournalFolder()); }

LeftTakeAnswer RecordingCommands::AskAboutLeft(const QString &question)
{
    return AskAboutLeftTake(&window_, question);
}

void RecordingCommands::TellWarning(const QString &text)
{
    ErrorHandler::ShowDetectedError(text, MessageIcon::Warning, &window_);
}

std::optional<std::string> RecordingCommands::ChooseFileForLeft() { return RunDialog(*SaveDialog()); }

void RecordingCommands::SaveLeft(std::string fileName, std::vector<std::uint8_t> bytes,
                                 std::function<void(std::exception_ptr failure)> done)
{
    saves_->StartOther(std::move(fileName), std::move(bytes), std::move(done));
}

bool RecordingCommands::MayReplaceTake()
{
    if (!MayDiscardTake())
        return false;
    stopForFile_();
    return true;
}

void RecordingCommands::TakeRestored(recorder::LeftTake &&take)
{
    take_.MarkChanged();
    journal_->Adopt(std::move(take));
    named_(std::string());
}

} // namespace app
