#include "app/RecordingCommands.h"

#include "app/ErrorHandler.h"
#include "app/RecordingDialogs.h"
#include "common/Guard.h"
#include "common/Language.h"
#include "files/RecordingFiles.h"
#include "recorder/RecordingStream.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

#include <utility>
#include <vector>

namespace app {

RecordingCommands::RecordingCommands(QWidget &window, recorder::RecordingStream &stream,
                                     std::function<void()> stopForFile, std::function<void()> closeWindow)
    : window_(window), stream_(stream), stopForFile_(std::move(stopForFile)), closeWindow_(std::move(closeWindow)),
      saves_(std::make_unique<RecordingSaves>(
          [this](std::uint64_t version, std::exception_ptr failure) { SaveFinished(version, failure); }))
{
}

QFileDialog *RecordingCommands::OpenDialog()
{
    if (!openDialog_)
        openDialog_ = CreateOpenDialog(&window_);
    return openDialog_;
}

QFileDialog *RecordingCommands::SaveDialog()
{
    if (!saveDialog_)
        saveDialog_ = CreateSaveDialog(&window_);
    return saveDialog_;
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
    return take_.MayDiscard([this] { return AskAboutUnsavedTake(&window_); }, [this] {
        closeAfterSaves_ = Save();
        return false;
    });
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
    if (failure) {
        // A close waiting for the save does not happen: the take stays.
        closeAfterSaves_ = false;
        std::rethrow_exception(failure);
    }
    take_.MarkSaved(version);
    if (closeAfterSaves_ && saves_->UnderWay() == 0) {
        closeAfterSaves_ = false;
        // Once whoever waits for the saves has gone on.
        QMetaObject::invokeMethod(
            &window_, [this]() noexcept { common::RunGuarded([this] { closeWindow_(); }); }, Qt::QueuedConnection);
    }
}

std::optional<std::string> RecordingCommands::ChooseFile(QFileDialog &dialog)
{
    const auto name = RunFileDialog(dialog);
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
    try {
        files::OpenRecording(*name, stream_);
    } catch (const files::EUnsupportedFormat &refused) {
        ShowRefusal(refused);
        return false;
    }
    // The recording in memory is now the one in the file.
    take_.MarkSaved();
    return true;
}

bool RecordingCommands::Save()
{
    const auto name = ChooseFile(*SaveDialog());
    if (!name)
        return false;
    std::vector<std::uint8_t> bytes;
    try {
        bytes = files::SavedFileBytes(*name, stream_);
    } catch (const files::EUnsupportedFormat &refused) {
        ShowRefusal(refused);
        return false;
    }
    saves_->Start(*name, std::move(bytes), take_.Version());
    return true;
}

void RecordingCommands::LoadCommandLineFile(const QStringList &arguments)
{
    // A folder, a pipe or a device is named as a file the user wants: the
    // load refuses it with the open command's message rather than pass over
    // it unsaid.
    if (arguments.size() != 1)
        return;
    const QString &name = arguments.front();
    if (!QFileInfo::exists(name))
        return;
    stream_.LoadFromFile(QFile::encodeName(name).toStdString());
    take_.MarkSaved();
}

} // namespace app
