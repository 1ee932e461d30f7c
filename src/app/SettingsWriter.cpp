#include "app/SettingsWriter.h"

#include "common/SerialWorker.h"

#include <mutex>
#include <optional>
#include <utility>

namespace app {

struct SettingsWriter::State {
    State(std::string fileName, FailureHandler failureHandler, Store storeChanges)
        : file(std::move(fileName)), onFailure(std::move(failureHandler)), store(std::move(storeChanges))
    {
    }

    // Everything handed over and not yet in the file, oldest first.
    std::vector<SettingsChange> Pending() const
    {
        std::vector<SettingsChange> all(writing);
        all.insert(all.end(), queued.begin(), queued.end());
        return all;
    }

    SettingsFile file;
    std::mutex mutex;
    std::vector<SettingsChange> queued;
    // The batch the thread is writing: changed by the thread only, under
    // the mutex, so the thread reads it without.
    std::vector<SettingsChange> writing;
    FailureHandler onFailure;
    Store store;
    std::optional<std::string> failureBeingShown; // told, and not yet shown to the user
    // A job that writes what is queued is handed to the worker and has not
    // yet taken it: changes handed over meanwhile join it.
    bool writeHanded = false;
    common::SerialWorker worker;
};

SettingsWriter::SettingsWriter(std::string fileName, FailureHandler onFailure, Store store)
{
    if (!store)
        store = [](SettingsFile &file, PendingChanges changes) { file.Apply(changes); };
    state_ = std::make_shared<State>(std::move(fileName), std::move(onFailure), std::move(store));
}

SettingsWriter::~SettingsWriter()
{
    // A write stuck on a disk or a lock must not keep the program from
    // ending: the thread owns what it needs and ends with the process.
    const std::lock_guard lock(state_->mutex);
    state_->onFailure = nullptr; // whoever would be told is going away
}

const std::string &SettingsWriter::FileName() const { return state_->file.FileName(); }

// The file is read under the mutex: the thread cannot start or finish a
// batch meanwhile, so the file holds either none or all of the batch being
// written, and applying that batch again on top changes nothing.
template <class Read>
auto SettingsWriter::ReadThrough(Read &&read) const
{
    const std::lock_guard lock(state_->mutex);
    if (state_->writing.empty() && state_->queued.empty())
        return read(PendingChanges());
    const auto pending = state_->Pending();
    return read(PendingChanges(pending));
}

std::string SettingsWriter::ReadString(const std::string &section, const std::string &key,
                                       const std::string &defaultValue) const
{
    return ReadThrough([&](PendingChanges pending) {
        return state_->file.ReadString(section, key, defaultValue, pending);
    });
}

std::int32_t SettingsWriter::ReadInteger(const std::string &section, const std::string &key,
                                         std::int32_t defaultValue) const
{
    return ReadThrough([&](PendingChanges pending) {
        return state_->file.ReadInteger(section, key, defaultValue, pending);
    });
}

bool SettingsWriter::ReadBool(const std::string &section, const std::string &key, bool defaultValue) const
{
    return ReadThrough([&](PendingChanges pending) {
        return state_->file.ReadBool(section, key, defaultValue, pending);
    });
}

std::vector<std::string> SettingsWriter::ReadSection(const std::string &section) const
{
    return ReadThrough([&](PendingChanges pending) { return state_->file.ReadSection(section, pending); });
}

std::vector<std::string> SettingsWriter::ReadSectionValues(const std::string &section) const
{
    return ReadThrough(
        [&](PendingChanges pending) { return state_->file.ReadSectionValues(section, pending); });
}

void SettingsWriter::WriteString(const std::string &section, const std::string &key, const std::string &value)
{
    SettingsFile::CheckEntry(section, key, value);
    Hand(SettingsChange::Write(section, key, value));
}

void SettingsWriter::WriteInteger(const std::string &section, const std::string &key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void SettingsWriter::WriteBool(const std::string &section, const std::string &key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void SettingsWriter::EraseSection(const std::string &section)
{
    Hand(SettingsChange::Erase(section));
}

void SettingsWriter::Hand(SettingsChange change)
{
    const std::lock_guard lock(state_->mutex);
    {
        auto &queued = state_->queued;
        // A value still waiting takes the new one in its place, unless its
        // section is erased after it: the write must then come after the
        // erase.
        if (change.kind == SettingsChange::Kind::Write) {
            for (auto it = queued.rbegin(); it != queued.rend(); ++it) {
                if (!SettingsFile::SameName(it->section, change.section))
                    continue;
                if (it->kind == SettingsChange::Kind::EraseSection)
                    break;
                if (SettingsFile::SameName(it->key, change.key)) {
                    it->value = std::move(change.value);
                    return;
                }
            }
        }
        queued.push_back(std::move(change));
    }
    if (!state_->writeHanded) {
        state_->writeHanded = true;
        state_->worker.Hand([state = state_] { WriteQueued(state); });
    }
}

void SettingsWriter::FailureShown()
{
    const std::lock_guard lock(state_->mutex);
    state_->failureBeingShown.reset();
}

bool SettingsWriter::Flush(std::chrono::milliseconds bound) { return state_->worker.Flush(bound); }

void SettingsWriter::WriteQueued(const std::shared_ptr<State> &state)
{
    std::unique_lock lock(state->mutex);
    // Whatever waits goes in one batch: one lock, one read and one replace
    // of the file for all of it.
    state->writing.swap(state->queued);
    state->writeHanded = false;
    lock.unlock();
    std::exception_ptr failure;
    try {
        state->store(state->file, PendingChanges(state->writing));
    } catch (...) {
        failure = std::current_exception();
    }
    lock.lock();
    state->writing.clear();
    if (failure) {
        if (auto text = common::TextOf(failure); state->failureBeingShown != text) {
            state->failureBeingShown = std::move(text);
            if (state->onFailure)
                state->onFailure(failure);
        }
    }
}

} // namespace app
