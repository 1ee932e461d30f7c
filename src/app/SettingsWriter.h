#pragma once
// The window's settings: values are read at once, but each write is handed
// to a thread of its own that puts it into the file, so a slow disk, a slow
// fsync or another program holding the settings lock never holds up a
// control. Changes reach the file in the order they were made; a burst of
// changes to one value (a slider dragged across its range) is written as
// its latest value. Reads see every change handed over, written or not.

#include "common/SettingsFile.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace app {

// The writer's store, named here as the window's code names it.
using common::EIniFileException;
using common::PendingChanges;
using common::SettingsChange;
using common::SettingsFile;

class SettingsWriter {
public:
    // Puts a batch of changes into the file, in order; raises when it cannot.
    using Store = std::function<void(SettingsFile &file, PendingChanges changes)>;
    // Told, on the writer's thread, of a failed write. A failure in the same
    // words as the last one is not told again until FailureShown() says the
    // last one has reached the user, so a burst of failing writes shows once.
    // It runs under the writer's lock: it hands the failure on (posts it to
    // the window's thread) and must not call the writer.
    using FailureHandler = std::function<void(std::exception_ptr failure)>;

    // How long the end of the program waits for writes still under way.
    static constexpr std::chrono::milliseconds ExitBound{5000};

    // `store` defaults to SettingsFile::Apply.
    explicit SettingsWriter(std::string fileName, FailureHandler onFailure = {}, Store store = {});
    // Does not wait: writes still under way finish on their own thread,
    // told to no one (Flush first to wait for them).
    ~SettingsWriter();

    SettingsWriter(const SettingsWriter &) = delete;
    SettingsWriter &operator=(const SettingsWriter &) = delete;

    const std::string &FileName() const;

    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &defaultValue) const;
    std::int32_t ReadInteger(const std::string &section, const std::string &key,
                             std::int32_t defaultValue) const;
    bool ReadBool(const std::string &section, const std::string &key, bool defaultValue) const;
    std::vector<std::string> ReadSection(const std::string &section) const;
    std::vector<std::string> ReadSectionValues(const std::string &section) const;

    // Return at once; a name or value the file cannot hold raises
    // std::invalid_argument here, a refused write goes to the handler.
    void WriteString(const std::string &section, const std::string &key, const std::string &value);
    void WriteInteger(const std::string &section, const std::string &key, std::int32_t value);
    void WriteBool(const std::string &section, const std::string &key, bool value);
    void EraseSection(const std::string &section);

    // The failure last told has been shown; the next one is told again.
    void FailureShown();

    // Waits until every change handed over has been written or has failed;
    // false when the bound passed first.
    bool Flush(std::chrono::milliseconds bound);

private:
    struct State;

    void Hand(SettingsChange change);
    template <class Read>
    auto ReadThrough(Read &&read) const;
    // Runs on the worker's thread.
    static void WriteQueued(const std::shared_ptr<State> &state);

    // Shared with the thread, which may outlive this object at exit.
    std::shared_ptr<State> state_;
};

} // namespace app
