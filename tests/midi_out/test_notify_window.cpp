// The notification path: what the driver callback posts reaches the main
// thread in order, without locks, and a full queue loses the notice.

#include "midi_out/MidiOut.h"
#include "midi_out/NotifyWindow.h"
#include "support/EventLoop.h"
#include "support/TestBackend.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace midi_out;
using Op = TestBackend::Op;

namespace {

// The wake-up comes through the socket notifier, so only a real event loop
// delivers it.
using testing_support::ProcessEventsUntil;

} // namespace

TEST(NotifyWindow, DeliversPostsFromOtherThreadsInPostingOrderOnTheMainThread)
{
    TestBackend backend;
    std::vector<NotifyMessage> received;
    std::vector<std::thread::id> threads;
    NotifyWindow window(&backend, [&](const NotifyMessage &m) {
        received.push_back(m);
        threads.push_back(std::this_thread::get_id());
    });

    constexpr int perThread = 100;
    auto producer = [&](std::uint32_t tag) {
        for (int i = 0; i < perThread; ++i)
            while (!window.Enqueue(tag, static_cast<std::uintptr_t>(i), 0))
                std::this_thread::yield();
    };
    std::thread a(producer, 1), b(producer, 2);
    ProcessEventsUntil([&] { return received.size() == 2 * perThread; });
    a.join();
    b.join();
    ProcessEventsUntil([&] { return received.size() == 2 * perThread; });

    ASSERT_EQ(received.size(), 2u * perThread);
    std::uintptr_t next[3] = {0, 0, 0};
    for (const auto &m : received) {
        ASSERT_TRUE(m.message == 1 || m.message == 2);
        EXPECT_EQ(m.param1, next[m.message]++);
    }
    for (const auto &id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(NotifyWindow, FullQueueRefusesThePostAndKeepsWhatItHolds)
{
    TestBackend backend;
    std::vector<NotifyMessage> received;
    NotifyWindow window(&backend, [&](const NotifyMessage &m) { received.push_back(m); });
    for (std::size_t i = 0; i < NotifyWindow::Capacity; ++i)
        ASSERT_TRUE(window.Enqueue(7, i, 0));
    EXPECT_FALSE(window.Enqueue(7, 9999, 0));
    window.Drain();
    ASSERT_EQ(received.size(), NotifyWindow::Capacity);
    EXPECT_EQ(received.back().param1, NotifyWindow::Capacity - 1);
    EXPECT_TRUE(window.Enqueue(8, 1, 2)); // room again after the drain
}

TEST(DriverCallback, CompletionIsPostedWithTheHeaderAsSecondParameter)
{
    auto owned = std::make_unique<TestBackend>(std::vector<std::string>{"Alpha"});
    TestBackend *backend = owned.get();
    TMidiOutput out(std::move(owned));
    ASSERT_TRUE(out.OpenDevice());
    const auto instance = reinterpret_cast<std::uintptr_t>(out.CtlBlock());

    std::thread platform([&] { DriverCallback(out.Handle(), MOM_DONE, instance, 0x1234, 77); });
    platform.join();
    const auto posts = backend->CallsOf(Op::Post);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].value, MOM_DONE);
    EXPECT_EQ(posts[0].param1, 0u);
    EXPECT_EQ(posts[0].param2, 0x1234u);
}

TEST(DriverCallback, OtherNoticesPostNothing)
{
    auto owned = std::make_unique<TestBackend>(std::vector<std::string>{"Alpha"});
    TestBackend *backend = owned.get();
    TMidiOutput out(std::move(owned));
    ASSERT_TRUE(out.OpenDevice());
    const auto instance = reinterpret_cast<std::uintptr_t>(out.CtlBlock());
    for (const std::uint32_t message : {MOM_OPEN, MOM_CLOSE, MIM_DATA, MIM_LONGDATA, MIM_LONGERROR, 1234u})
        DriverCallback(out.Handle(), message, instance, 0x90, 0);
    DriverCallback(out.Handle(), MIM_DATA, instance, 254, 0);
    DriverCallback(out.Handle(), MOM_DONE, 0, 1, 0); // no control block: nothing to post to
    EXPECT_TRUE(backend->CallsOf(Op::Post).empty());
}

TEST(DriverCallback, FailedPostLosesTheNoticeQuietly)
{
    auto owned = std::make_unique<TestBackend>(std::vector<std::string>{"Alpha"});
    TestBackend *backend = owned.get();
    TMidiOutput out(std::move(owned));
    ASSERT_TRUE(out.OpenDevice());
    backend->failures[Op::Post] = 1;
    DriverCallback(out.Handle(), MOM_DONE, reinterpret_cast<std::uintptr_t>(out.CtlBlock()), 5, 0);
    EXPECT_EQ(backend->CallsOf(Op::Post).size(), 1u);
    QCoreApplication::processEvents();
    EXPECT_EQ(out.State(), dsOpen);
}
