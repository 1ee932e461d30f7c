#pragma once
// The main window for the faults of its file commands: the open and save
// dialogs answered by the test, a recording in memory, and a bound on how
// long one handler may take.

#include "support/WindowFixture.h"
#include "support/AnsweredFileDialogs.h"
#include "support/HangBound.h"
#include "support/WindowProbe.h"

#include <QAction>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace testing_support {

class FileWindow : public WindowFixture {
protected:
    // A window with a recording of `events` notes in memory.
    void StartWithRecording(std::uint32_t events = 2)
    {
        Create();
        auto &stream = Probe(*form).RecordingStream();
        for (std::uint32_t tick = 0; tick < events; ++tick)
            stream.WriteEvent({tick, 0x90, static_cast<std::uint8_t>(36 + tick % 40), 100});
        before = stream.Bytes();
    }

    // The items "Öffnen..." and "Speichern..." of the menu.
    void Open() { form->findChild<QAction *>(QStringLiteral("ffnen1"))->trigger(); }
    void Save()
    {
        form->findChild<QAction *>(QStringLiteral("Speichern1"))->trigger();
        SettleSaves();
    }

    // Runs one handler on the window's thread; when it has not returned
    // after `limit`, `unblock` is called from a watchdog to end the hang
    // (it only limits the damage) and the test fails.
    void Bounded(const std::function<void()> &handler, const std::function<void()> &unblock = {},
                 std::chrono::seconds limit = testing_support::kHangBound)
    {
        std::mutex mutex;
        std::condition_variable done;
        bool returned = false, hung = false;
        std::thread watchdog([&] {
            std::unique_lock lock(mutex);
            if (!done.wait_for(lock, limit, [&] { return returned; })) {
                hung = true;
                if (unblock)
                    unblock();
            }
        });
        handler();
        {
            std::lock_guard lock(mutex);
            returned = true;
        }
        done.notify_one();
        watchdog.join();
        EXPECT_FALSE(hung) << "the handler did not return within " << limit.count() << " s";
    }

    // The one message shown: the main loop's box with `text`.
    void ExpectShownOnce(const QString &text)
    {
        SettleSettings();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].caption.toStdString(), "MIDI Sonoret");
        EXPECT_EQ(messages[0].text.toStdString(), text.toStdString());
        EXPECT_EQ(messages[0].icon, app::MessageIcon::Error);
    }

    AnsweredFileDialogs dialogs;
    std::vector<std::uint8_t> before;
};

} // namespace testing_support
