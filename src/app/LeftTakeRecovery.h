#pragma once
// The takes that programs which have ended left unsaved: they are looked for
// off the window's thread at start, and each one found is offered (restore
// it, save it under a name, or discard it). Also tells the journal's faults.
// It touches no widget itself: what it needs of the window and of the file
// commands comes through LeftTakeHost.

#include "app/LeftTakeQuestion.h"
#include "app/RecordingSaves.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace common {
class SerialWorker;
}

namespace recorder {
class RecordingStream;
struct LeftJournals;
struct LeftTake;
enum class JournalFault;
}

namespace app {

// What the recovery needs of the window around it; called on the window's
// thread only.
class LeftTakeHost {
public:
    // The question about one found take, given its text.
    virtual LeftTakeAnswer AskAboutLeft(const QString &question) = 0;
    // Tells a failure or a finding, already in the window's language.
    virtual void TellWarning(const QString &text) = 0;
    // The file to save a left take in; none when the user cancelled.
    virtual std::optional<std::string> ChooseFileForLeft() = 0;
    // Writes a left take's file bytes off the window's thread; `done` is told
    // the result on the window's thread.
    virtual void SaveLeft(std::string fileName, std::vector<std::uint8_t> bytes,
                          std::function<void(std::exception_ptr failure)> done) = 0;
    // Whether the current take may be replaced by a restored one (the user
    // may be asked about an unsaved take); then the transport is stopped.
    virtual bool MayReplaceTake() = 0;
    // The restored take is the recording now: it counts as unsaved, and its
    // journal is the current take's.
    virtual void TakeRestored(recorder::LeftTake &&take) = 0;

protected:
    ~LeftTakeHost() = default;
};

class LeftTakeRecovery {
public:
    // `worker` does the work on the disk, `post` hands its findings back to
    // the window's thread; `stream` is the recording a restored take
    // replaces.
    LeftTakeRecovery(common::SerialWorker &worker, RecordingSaves::Poster post, recorder::RecordingStream &stream,
                     LeftTakeHost &host);

    LeftTakeRecovery(const LeftTakeRecovery &) = delete;
    LeftTakeRecovery &operator=(const LeftTakeRecovery &) = delete;

    // Looks in `folder`, off the window's thread, for takes that programs
    // which have ended left unsaved, and offers each of them once they are
    // found.
    void OfferLeftTakes(std::string folder);
    // Offers what a look found: the journals kept aside are told, then each
    // take is asked about.
    void Offer(recorder::LeftJournals &found);

    // What tells the journal's faults, from any thread, on the window's.
    std::function<void(recorder::JournalFault, const std::string &)> JournalFaultTeller();

    // A recording holding `bytes`, read from their start.
    static recorder::RecordingStream StreamOf(const std::vector<std::uint8_t> &bytes);

private:
    void Restore(recorder::LeftTake &take);
    void SaveLeftTake(std::shared_ptr<recorder::LeftTake> take);
    // Removes a left take's journal on the worker's thread.
    void RemoveLeftTake(std::shared_ptr<recorder::LeftTake> take);

    common::SerialWorker &worker_;
    RecordingSaves::Poster post_;
    recorder::RecordingStream &stream_;
    LeftTakeHost &host_;
};

} // namespace app
