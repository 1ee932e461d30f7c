// Long messages against the test back end: the buffer's life from send to
// Onmidioutput, every failure on the way, SendEvent, and the driver
// callback's input branches with the circular event buffer.

#include "raised_text.h"
#include "midi_out/Circbuf.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "midi_out/NotifyWindow.h"
#include "support/SharedMemoryHooks.h"
#include "support/EventLoop.h"
#include "support/TestBackend.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

using namespace midi_out;
using Op = TestBackend::Op;
using Completion = TestBackend::Completion;

namespace {

struct OpenComponent {
    explicit OpenComponent(Completion completion = Completion::AtOnce)
    {
        auto owned = std::make_unique<TestBackend>(std::vector<std::string>{"Alpha"});
        backend = owned.get();
        backend->completion = completion;
        out = std::make_unique<TMidiOutput>(std::move(owned));
        EXPECT_TRUE(out->OpenDevice());
        out->Onmidioutput = [this](TMidiOutput *sender) {
            EXPECT_EQ(sender, out.get());
            // What was in flight when the event came: its own buffer is gone.
            inFlightAtEvent.push_back(out->LongMessagesInFlight());
            blocksAtEvent.push_back(SharedBlocksInUse());
        };
        backend->ClearCalls();
    }
    void Drain() { out->GetNotifyWindow()->Drain(); }

    TestBackend *backend;
    std::unique_ptr<TMidiOutput> out;
    std::vector<std::size_t> inFlightAtEvent;
    std::vector<unsigned> blocksAtEvent;
};

const std::vector<std::uint8_t> GmSystemOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

} // namespace

TEST(LongMessage, BytesAreCopiedIntoAHeaderThatPointsBackAtItsBuffer)
{
    OpenComponent c(Completion::Later);
    MIDIHDR seen{};
    c.backend->observer = [&](const TestBackend::Call &call) {
        if (call.op == Op::PrepareHeader)
            seen = *reinterpret_cast<MIDIHDR *>(call.param1);
    };
    std::vector<std::uint8_t> bytes = GmSystemOn;
    c.out->SendLongMessage(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    bytes.assign(bytes.size(), 0); // the caller's bytes are not referenced any more

    const auto steps = c.backend->Calls();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].op, Op::PrepareHeader);
    EXPECT_EQ(steps[1].op, Op::LongMessage);
    for (const auto &step : steps) {
        EXPECT_EQ(step.handle, c.out->Handle());
        EXPECT_EQ(step.value, MidiHdrSize);
    }
    EXPECT_EQ(steps[1].bytes, GmSystemOn);
    EXPECT_EQ(seen.dwBufferLength, GmSystemOn.size());
    const auto *owner = reinterpret_cast<const TMyMidiHdr *>(seen.dwUser);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(owner->HeaderPtr), steps[0].param1);
    EXPECT_EQ(owner->DataPtr, seen.lpData);
    EXPECT_EQ(c.out->LongMessagesInFlight(), 1u);
    EXPECT_TRUE(c.inFlightAtEvent.empty()); // the send does not wait
}

TEST(LongMessage, LargestMessageKeepsEveryByteAndItsLength)
{
    OpenComponent c(Completion::Later);
    std::vector<std::uint8_t> bytes(65535);
    std::iota(bytes.begin(), bytes.end(), 0);
    std::uint32_t length = 0;
    c.backend->observer = [&](const TestBackend::Call &call) {
        if (call.op == Op::PrepareHeader)
            length = reinterpret_cast<MIDIHDR *>(call.param1)->dwBufferLength;
    };
    c.out->SendLongMessage(bytes.data(), 65535);
    EXPECT_EQ(length, 65535u);
    ASSERT_EQ(c.backend->SentLongMessages().size(), 1u);
    EXPECT_EQ(c.backend->SentLongMessages()[0], bytes);
}

TEST(LongMessage, CompletionReleasesTheBufferThenFiresOncePerMessageInOrder)
{
    OpenComponent c(Completion::Later);
    const unsigned before = SharedBlocksInUse();
    c.out->SendLongMessage(GmSystemOn.data(), 6);
    c.out->SendLongMessage(GmSystemOn.data(), 3);
    EXPECT_EQ(SharedBlocksInUse(), before + 4); // header and data block each
    const auto sent = c.backend->CallsOf(Op::LongMessage);

    ASSERT_EQ(c.backend->CompletePending(), 2u);
    c.Drain();
    EXPECT_EQ(c.inFlightAtEvent, (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(c.blocksAtEvent, (std::vector<unsigned>{before + 2, before}));
    const auto unprepared = c.backend->CallsOf(Op::UnprepareHeader);
    ASSERT_EQ(unprepared.size(), 2u);
    EXPECT_EQ(unprepared[0].param1, sent[0].param1);
    EXPECT_EQ(unprepared[1].param1, sent[1].param1);
    EXPECT_EQ(unprepared[0].handle, c.out->Handle());
}

TEST(LongMessage, CompletionFromAnotherThreadReachesTheMainThread)
{
    OpenComponent c(Completion::Later);
    c.out->SendLongMessage(GmSystemOn.data(), 6);
    std::thread driver([&] { c.backend->CompletePending(); });
    driver.join();
    testing_support::ProcessEventsUntil([&] { return !c.inFlightAtEvent.empty(); });
    EXPECT_EQ(c.inFlightAtEvent, std::vector<std::size_t>{0});
}

TEST(LongMessage, FailedUnprepareOnCompletionStillReleasesAndFires)
{
    OpenComponent c;
    c.backend->failures[Op::UnprepareHeader] = MIDIERR_STILLPLAYING;
    const unsigned before = SharedBlocksInUse();
    c.out->SendLongMessage(GmSystemOn.data(), 6);
    c.Drain();
    EXPECT_EQ(c.inFlightAtEvent.size(), 1u);
    EXPECT_EQ(SharedBlocksInUse(), before);
    EXPECT_EQ(c.out->LastResult(), 0);
}

TEST(LongMessage, CompletionHandledAfterCloseUnpreparesOnNoHandleAndStillFires)
{
    OpenComponent c(Completion::Later);
    const unsigned before = SharedBlocksInUse();
    c.out->SendLongMessage(GmSystemOn.data(), 6);
    c.backend->CompletePending();
    EXPECT_TRUE(c.out->CloseDevice());
    EXPECT_EQ(c.out->LongMessagesInFlight(), 1u); // its notice is still queued
    c.Drain();
    const auto unprepared = c.backend->CallsOf(Op::UnprepareHeader);
    ASSERT_EQ(unprepared.size(), 1u);
    EXPECT_EQ(unprepared[0].handle, 0u);
    EXPECT_EQ(c.inFlightAtEvent, std::vector<std::size_t>{0});
    EXPECT_EQ(SharedBlocksInUse(), before);
}

TEST(LongMessage, CloseReleasesMessagesTheDeviceNeverFinished)
{
    OpenComponent c(Completion::Never);
    const unsigned before = SharedBlocksInUse();
    c.out->SendLongMessage(GmSystemOn.data(), 6);
    EXPECT_TRUE(c.out->CloseDevice());
    EXPECT_EQ(c.out->LongMessagesInFlight(), 0u);
    EXPECT_EQ(SharedBlocksInUse(), before);
    c.Drain();
    EXPECT_TRUE(c.inFlightAtEvent.empty());
}

TEST(LongMessage, DestructionReleasesQueuedAndUnfinishedBuffersWithoutFiring)
{
    const unsigned before = SharedBlocksInUse();
    int fired = 0;
    {
        OpenComponent c(Completion::Later);
        c.out->Onmidioutput = [&](TMidiOutput *) { ++fired; };
        c.out->SendLongMessage(GmSystemOn.data(), 6);
        c.out->SendLongMessage(GmSystemOn.data(), 6);
        c.backend->CompletePending(1); // one notice queued, one never reported
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(SharedBlocksInUse(), before);
}

TEST(LongMessage, LostNoticeLeavesTheBufferToDestruction)
{
    const unsigned before = SharedBlocksInUse();
    {
        OpenComponent c;
        c.backend->failures[Op::Post] = 1;
        c.out->SendLongMessage(GmSystemOn.data(), 6);
        c.Drain();
        EXPECT_TRUE(c.inFlightAtEvent.empty());
        EXPECT_EQ(c.out->LongMessagesInFlight(), 1u);
    }
    EXPECT_EQ(SharedBlocksInUse(), before);
}

TEST(LongMessage, StrayOrRepeatedNoticeIsIgnored)
{
    OpenComponent c(Completion::Later);
    c.out->SendLongMessage(GmSystemOn.data(), 6);
    const std::uintptr_t header = c.backend->CallsOf(Op::LongMessage)[0].param1;
    c.backend->CompletePending();
    c.Drain();
    // A second report of the same (now freed) header, and one of no header.
    DriverCallback(c.out->Handle(), MOM_DONE, reinterpret_cast<std::uintptr_t>(c.out->CtlBlock()), header, 0);
    DriverCallback(c.out->Handle(), MOM_DONE, reinterpret_cast<std::uintptr_t>(c.out->CtlBlock()), 0, 0);
    c.Drain();
    EXPECT_EQ(c.inFlightAtEvent.size(), 1u);
    EXPECT_EQ(c.backend->CallsOf(Op::UnprepareHeader).size(), 1u);
}

struct SendFailure {
    const char *name;
    Op failing;
    bool unprepared;
    friend void PrintTo(const SendFailure &failure, std::ostream *os) { *os << failure.name; }
};

class LongMessageFailure : public ::testing::TestWithParam<SendFailure> {};

TEST_P(LongMessageFailure, RaisesThePlatformTextReleasesTheBufferAndSendsNoNotice)
{
    OpenComponent c;
    c.backend->failures[GetParam().failing] = MIDIERR_NOTSUPPORTED;
    // An unprepare that fails too must not hide the first error.
    c.backend->failures[Op::UnprepareHeader] = MIDIERR_INVALPARAM;
    const unsigned before = SharedBlocksInUse();
    EXPECT_EQ(RaisedText([&] { c.out->SendLongMessage(GmSystemOn.data(), 6); }),
              "This function is not supported");
    EXPECT_EQ(c.out->LastResult(), MIDIERR_NOTSUPPORTED);
    EXPECT_EQ(SharedBlocksInUse(), before);
    EXPECT_EQ(c.out->LongMessagesInFlight(), 0u);
    EXPECT_EQ(c.backend->CallsOf(Op::UnprepareHeader).size(), GetParam().unprepared ? 1u : 0u);
    EXPECT_EQ(c.backend->CallsOf(Op::LongMessage).size(), GetParam().failing == Op::LongMessage ? 1u : 0u);
    c.Drain();
    EXPECT_TRUE(c.inFlightAtEvent.empty());
}

INSTANTIATE_TEST_SUITE_P(Steps, LongMessageFailure,
                         ::testing::Values(SendFailure{"Prepare", Op::PrepareHeader, false},
                                           SendFailure{"Queue", Op::LongMessage, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LongMessage, RefusedBeforeTheBackEndWhenEmptyOrWithoutMemory)
{
    OpenComponent c;
    const unsigned before = SharedBlocksInUse();
    EXPECT_EQ(RaisedText([&] { c.out->SendLongMessage(GmSystemOn.data(), 0); }),
              "A long message needs at least one byte");
    for (unsigned failing : {1u, 2u}) { // the header block, or both
        SharedAllocFailNext(failing);
        EXPECT_EQ(RaisedText([&] { c.out->SendLongMessage(GmSystemOn.data(), 6); }),
                  "Unable to allocate memory");
        SharedAllocFailNext(0);
        EXPECT_EQ(SharedBlocksInUse(), before);
    }
    EXPECT_TRUE(c.backend->Calls().empty());
}

TEST(LongMessage, DirectSendOnAClosedComponentFailsInTheBackEnd)
{
    OpenComponent c;
    c.out->CloseDevice();
    const unsigned before = SharedBlocksInUse();
    EXPECT_EQ(RaisedText([&] { c.out->SendLongMessage(GmSystemOn.data(), 6); }),
              "The device handle is invalid");
    EXPECT_EQ(c.out->LastResult(), MIDIERR_INVALHANDLE);
    EXPECT_EQ(c.backend->CallsOf(Op::PrepareHeader).size(), 1u);
    EXPECT_EQ(SharedBlocksInUse(), before);
}

// Counts what reaches the two sends' slots.
class CountingOutput : public TMidiOutput {
public:
    using TMidiOutput::TMidiOutput;
    void SendShortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        shorts.push_back(status | data1 << 8 | data2 << 16);
    }
    void SendLongMessage(const void *bytes, std::uint16_t length) override
    {
        const auto *b = static_cast<const std::uint8_t *>(bytes);
        longs.emplace_back(b, b + length);
    }
    std::vector<std::uint32_t> shorts;
    std::vector<std::vector<std::uint8_t>> longs;
};

TEST(SendEvent, ShortOrLongByLongDataThroughTheVirtualSlots)
{
    CountingOutput out(std::make_unique<TestBackend>(std::vector<std::string>{"Alpha"}));
    ASSERT_TRUE(out.OpenDevice());
    MidiEventRecord shortEvent;
    shortEvent.Status = 0x90;
    shortEvent.Data1 = 0x3C;
    shortEvent.Data2 = 0x64;
    shortEvent.LongLength = 6; // ignored without LongData
    out.SendEvent(shortEvent);
    MidiEventRecord longEvent = shortEvent; // the short bytes are ignored
    longEvent.LongData = GmSystemOn.data();
    longEvent.LongLength = 4;
    out.SendEvent(longEvent);
    EXPECT_EQ(out.shorts, std::vector<std::uint32_t>{0x643C90});
    ASSERT_EQ(out.longs.size(), 1u);
    EXPECT_EQ(out.longs[0], std::vector<std::uint8_t>(GmSystemOn.begin(), GmSystemOn.begin() + 4));
}

TEST(SendEvent, ClosedComponentRefusesBeforeEitherSend)
{
    CountingOutput out(std::make_unique<TestBackend>(std::vector<std::string>{"Alpha"}));
    MidiEventRecord event;
    EXPECT_EQ(RaisedText([&] { out.SendEvent(event); }), "MIDI Output device not open");
    event.LongData = GmSystemOn.data();
    event.LongLength = 6;
    EXPECT_EQ(RaisedText([&] { out.SendEvent(event); }), "MIDI Output device not open");
    EXPECT_TRUE(out.shorts.empty());
    EXPECT_TRUE(out.longs.empty());
}

// The driver callback's input side, with an event buffer attached by hand as
// an input component would.
struct InputFixture : ::testing::Test {
    InputFixture() : window(&backend, nullptr)
    {
        info.Window = &window;
        InitEventBuffer(buffer, storage, 2);
        info.EventBuffer = &buffer;
    }
    void Notice(std::uint32_t message, std::uintptr_t p1, std::uintptr_t p2 = 0)
    {
        DriverCallback(1, message, reinterpret_cast<std::uintptr_t>(&info), p1, p2);
    }
    std::vector<std::uint32_t> Posted() const
    {
        std::vector<std::uint32_t> numbers;
        for (const auto &call : backend.CallsOf(Op::Post)) {
            EXPECT_EQ(call.param1, 0u);
            EXPECT_EQ(call.param2, 0u);
            numbers.push_back(call.value);
        }
        return numbers;
    }

    TestBackend backend;
    NotifyWindow window;
    MidiCtlInfo info{};
    BufferedMidiEvent storage[2] = {};
    CircularEventBuffer buffer{};
};

TEST_F(InputFixture, BuffersShortAndLongNoticesWithTheirFields)
{
    const std::uintptr_t header = ~std::uintptr_t{0} - 0x40; // every high bit set
    Notice(MIM_DATA, 0x643C90, 1000);
    Notice(MIM_LONGDATA, header, 2000);
    EXPECT_EQ(Posted(), (std::vector<std::uint32_t>{MIM_DATA, MIM_DATA}));
    EXPECT_EQ(buffer.Count.load(), 2);
    EXPECT_EQ(storage[0].Timestamp, 1000u);
    EXPECT_EQ(storage[0].ShortMessage, 0x643C90u);
    EXPECT_EQ(storage[0].LongHeader, 0u);
    EXPECT_EQ(storage[1].Timestamp, 2000u);
    EXPECT_EQ(storage[1].ShortMessage, 0u);
    EXPECT_EQ(storage[1].LongHeader, header); // the whole address
}

TEST_F(InputFixture, FullBufferPostsUserMessageAndChangesNothing)
{
    Notice(MIM_DATA, 0x90, 1);
    Notice(MIM_LONGERROR, 0x5000, 2);
    const BufferedMidiEvent *position = buffer.WritePosition;
    Notice(MIM_DATA, 0x80, 3);
    EXPECT_EQ(Posted(), (std::vector<std::uint32_t>{MIM_DATA, MIM_DATA, WM_USER}));
    EXPECT_EQ(buffer.Count.load(), 2);
    EXPECT_EQ(buffer.WritePosition, position);
    EXPECT_EQ(storage[0].ShortMessage, 0x90u);
    EXPECT_EQ(storage[1].LongHeader, 0x5000u);
}

TEST_F(InputFixture, WritePositionWrapsToTheStart)
{
    Notice(MIM_DATA, 0x90, 1);
    EXPECT_EQ(buffer.WritePosition, &storage[1]);
    Notice(MIM_DATA, 0x91, 2);
    EXPECT_EQ(buffer.WritePosition, &storage[0]);
    buffer.Count.fetch_sub(1); // the reader took one out
    Notice(MIM_DATA, 0x92, 3);
    EXPECT_EQ(storage[0].ShortMessage, 0x92u);
    EXPECT_EQ(buffer.WritePosition, &storage[1]);
}

TEST_F(InputFixture, DroppedNoticesPostAndBufferNothing)
{
    Notice(MIM_DATA, 0xFE);        // Active Sensing
    Notice(MIM_LONGDATA, 0xF8);    // Timing Clock
    for (std::uint32_t other : {0u, 961u, 962u, 965u, 967u, 968u, 1024u})
        Notice(other, 0x90);
    info.DropShortInput = 1;
    Notice(MIM_DATA, 0x90);
    info.DropShortInput = 0;
    info.EventBuffer = nullptr;
    Notice(MIM_DATA, 0x90);
    DriverCallback(1, MIM_DATA, 0, 0x90, 0);
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(buffer.Count.load(), 0);
    // Only the single status byte is dropped, not a message that starts with it.
    info.EventBuffer = &buffer;
    Notice(MIM_DATA, 0x01FE);
    EXPECT_EQ(buffer.Count.load(), 1);
}
