#include "app/LeftTakeRecovery.h"

#include "common/Language.h"
#include "common/SerialWorker.h"
#include "files/RecordingFiles.h"
#include "recorder/RecordingStream.h"
#include "recorder/TakeJournal.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

#include <utility>

namespace app {

LeftTakeRecovery::LeftTakeRecovery(common::SerialWorker &worker, RecordingSaves::Poster post,
                                   recorder::RecordingStream &stream, LeftTakeHost &host)
    : worker_(worker), post_(std::move(post)), stream_(stream), host_(host)
{
}

void LeftTakeRecovery::OfferLeftTakes(std::string folder)
{
    // Reading the folder may wait on the disk: the worker does it.
    worker_.Hand([folder = std::move(folder), post = post_, this] {
        auto found = std::make_shared<recorder::LeftJournals>(recorder::FindLeftJournals(folder));
        if (!found->takes.empty() || !found->damaged.empty())
            post([this, found] { Offer(*found); });
    });
}

void LeftTakeRecovery::Offer(recorder::LeftJournals &found)
{
    for (const std::string &aside : found.damaged)
        host_.TellWarning(QCoreApplication::translate("LeftTake", LeftTakeDamagedText)
                              .arg(QFile::decodeName(QByteArray::fromStdString(aside))));
    for (recorder::LeftTake &take : found.takes) {
        auto left = std::make_shared<recorder::LeftTake>(std::move(take));
        switch (host_.AskAboutLeft(LeftTakeQuestionText(left->written, left->length))) {
        case LeftTakeAnswer::Restore:
            Restore(*left);
            break;
        case LeftTakeAnswer::SaveAs:
            SaveLeftTake(left);
            break;
        case LeftTakeAnswer::Discard:
            RemoveLeftTake(left);
            break;
        case LeftTakeAnswer::Later:
            break; // its lock goes with it: offered at the next start
        }
    }
}

void LeftTakeRecovery::Restore(recorder::LeftTake &take)
{
    if (!host_.MayReplaceTake())
        return;
    recorder::RecordingStream restored = StreamOf(take.bytes);
    stream_.Swap(restored);
    // Unsaved, as any take: the question protects it, and the journal stays
    // until it is saved or given up.
    host_.TakeRestored(std::move(take));
}

void LeftTakeRecovery::SaveLeftTake(std::shared_ptr<recorder::LeftTake> take)
{
    const auto name = host_.ChooseFileForLeft();
    if (!name)
        return; // kept: offered again at the next start
    std::vector<std::uint8_t> bytes;
    try {
        bytes = files::SavedFileBytes(*name, StreamOf(take->bytes));
    } catch (const files::EUnsupportedFormat &refused) {
        host_.TellWarning(common::TranslatedMessage(refused.what()));
        return;
    }
    host_.SaveLeft(*name, std::move(bytes), [this, take](std::exception_ptr failure) {
        if (failure)
            std::rethrow_exception(failure); // the journal stays for the next start
        RemoveLeftTake(take);
    });
}

void LeftTakeRecovery::RemoveLeftTake(std::shared_ptr<recorder::LeftTake> take)
{
    worker_.Hand([tell = JournalFaultTeller(), take] {
        if (!recorder::RemoveJournal(take->path))
            tell(recorder::JournalFault::NotRemoved, take->path);
    });
}

std::function<void(recorder::JournalFault, const std::string &)> LeftTakeRecovery::JournalFaultTeller()
{
    // Called on the worker's thread; shown once the window's thread comes to
    // it, and not at all once the window has gone.
    return [post = post_, this](recorder::JournalFault fault, const std::string &path) {
        post([this, fault, path] {
            const char *text = fault == recorder::JournalFault::NotWritten ? JournalFailedText : JournalNotRemovedText;
            host_.TellWarning(
                QCoreApplication::translate("LeftTake", text).arg(QFile::decodeName(QByteArray::fromStdString(path))));
        });
    };
}

recorder::RecordingStream LeftTakeRecovery::StreamOf(const std::vector<std::uint8_t> &bytes)
{
    recorder::RecordingStream stream;
    stream.Write(bytes.data(), bytes.size());
    stream.Seek(0, recorder::SeekOrigin::Begin);
    return stream;
}

} // namespace app
