// The device component against the test back end: selection, opening,
// closing, sending and every failure it reports.

#include "raised_text.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/MidiOut.h"
#include "midi_out/NotifyWindow.h"
#include "support/SharedMemoryHooks.h"
#include "support/TestBackend.h"

#include <gtest/gtest.h>

#include <memory>

using namespace midi_out;
using Op = TestBackend::Op;

namespace {

struct Component {
    explicit Component(std::vector<std::string> names,
                       std::optional<std::string> mapperName = std::string("Test Mapper"),
                       ComponentState state = {})
    {
        auto owned = std::make_unique<TestBackend>(std::move(names), std::move(mapperName));
        backend = owned.get();
        out = std::make_unique<TMidiOutput>(std::move(owned), state);
    }
    TestBackend *backend;
    std::unique_ptr<TMidiOutput> out;
};


} // namespace

TEST(MidiOutputConstruction, StartsClosedAtDeviceZeroWithoutReadingCapabilities)
{
    Component c({"Alpha", "Beta", "Gamma"});
    EXPECT_EQ(c.out->State(), dsClosed);
    EXPECT_EQ(c.out->DeviceID(), 0);
    EXPECT_EQ(c.out->DeviceCount(), 3);
    EXPECT_EQ(c.out->ProductName(), "");
    EXPECT_EQ(c.out->CtlBlock(), nullptr);
    EXPECT_EQ(c.out->LastResult(), 0);
    EXPECT_NE(c.out->GetNotifyWindow(), nullptr);
    EXPECT_TRUE(c.backend->CallsOf(Op::GetDevCaps).empty());
}

TEST(MidiOutputSelectByIndex, CopiesNameAndCapabilities)
{
    Component c({"Alpha", "Beta"});
    c.backend->devices[1].vDriverVersion = 0x0203;
    c.backend->devices[1].wTechnology = 0x1207; // only the low 8 bits are kept
    c.backend->devices[1].wVoices = 32;
    c.backend->devices[1].wNotes = 64;
    c.backend->devices[1].wChannelMask = 0x0201;
    c.backend->devices[1].dwSupport = MIDICAPS_VOLUME | MIDICAPS_CACHE;
    c.out->SetDeviceID(1);
    EXPECT_EQ(c.out->DeviceID(), 1);
    EXPECT_EQ(c.out->ProductName(), "Beta");
    EXPECT_EQ(c.out->CapsDriverVersion(), 0x0203u);
    EXPECT_EQ(c.out->CapsTechnology(), 0x07);
    EXPECT_EQ(c.out->CapsVoices(), 32);
    EXPECT_EQ(c.out->CapsNotes(), 64);
    EXPECT_EQ(c.out->CapsChannelMask(), 0x0201);
    EXPECT_EQ(c.out->CapsSupport(), MIDICAPS_VOLUME | MIDICAPS_CACHE);
}

TEST(MidiOutputSelectByIndex, FullLengthNameWithoutTerminatorIsCutAt32)
{
    Component c({"x"});
    std::memset(c.backend->devices[0].szPname, 'N', sizeof c.backend->devices[0].szPname);
    c.out->SetDeviceID(0);
    EXPECT_EQ(c.out->ProductName(), std::string(32, 'N'));
}

TEST(MidiOutputSelectByIndex, OutOfRangeIndexesAreRefusedAndChangeNothing)
{
    Component c({"Alpha", "Beta", "Gamma"});
    c.out->SetDeviceID(1);
    for (const int index : {3, -2, 1000, -1000}) {
        EXPECT_EQ(RaisedText([&] { c.out->SetDeviceID(index); }), "Invalid device ID") << index;
        EXPECT_EQ(c.out->DeviceID(), 1);
        EXPECT_EQ(c.out->ProductName(), "Beta");
    }
}

TEST(MidiOutputSelectByIndex, MapperPassesTheRangeTestEvenWithZeroDevices)
{
    Component withMapper({}, "Only Mapper");
    withMapper.out->SetDeviceID(MIDI_MAPPER);
    EXPECT_EQ(withMapper.out->DeviceID(), -1);
    EXPECT_EQ(withMapper.out->ProductName(), "Only Mapper");
    EXPECT_EQ(withMapper.out->CapsTechnology(), MOD_MAPPER);

    // Without a mapper the capability read decides, with the back end's text.
    Component without({}, std::nullopt);
    EXPECT_EQ(RaisedText([&] { without.out->SetDeviceID(MIDI_MAPPER); }),
              "The device ID is out of range");
    EXPECT_EQ(without.out->DeviceID(), -1);
    EXPECT_EQ(without.out->LastResult(), MIDIERR_BADDEVICEID);
}

TEST(MidiOutputSelectByIndex, FailedCapabilityReadKeepsNewIndexButOldDescription)
{
    Component c({"Alpha", "Beta"});
    c.out->SetDeviceID(0);
    c.backend->devCapsFailures[1] = MIDIERR_NOMEM;
    EXPECT_EQ(RaisedText([&] { c.out->SetDeviceID(1); }), "Unable to allocate memory");
    EXPECT_EQ(c.out->DeviceID(), 1);
    EXPECT_EQ(c.out->ProductName(), "Alpha");
    EXPECT_EQ(c.out->LastResult(), MIDIERR_NOMEM);
}

TEST(MidiOutputSelectByIndex, RefusedWhileOpen)
{
    Component c({"Alpha", "Beta"});
    c.out->SetDeviceID(0);
    ASSERT_TRUE(c.out->OpenDevice());
    EXPECT_EQ(RaisedText([&] { c.out->SetDeviceID(1); }), "Change to DeviceID while device was open");
    EXPECT_EQ(c.out->DeviceID(), 0);
    EXPECT_EQ(c.out->State(), dsOpen);
}

TEST(MidiOutputSelectByIndex, UsesTheCurrentCountWhileDeviceCountStaysFixed)
{
    Component c({"Alpha"});
    c.backend->devices.push_back(TestBackend::Caps("Late"));
    c.out->SetDeviceID(1);
    EXPECT_EQ(c.out->ProductName(), "Late");
    EXPECT_EQ(c.out->DeviceCount(), 1);

    c.backend->devices.clear();
    EXPECT_EQ(RaisedText([&] { c.out->SetDeviceID(0); }), "Invalid device ID");
    EXPECT_EQ(c.out->DeviceCount(), 1);
}

TEST(MidiOutputSelectByName, FirstMatchWinsAndMapperIsPreferred)
{
    Component c({"Same", "Twin", "Twin"}, "Same");
    c.out->SetProductName("Same");
    EXPECT_EQ(c.out->DeviceID(), MIDI_MAPPER);
    c.out->SetProductName("Twin");
    EXPECT_EQ(c.out->DeviceID(), 1);
    EXPECT_EQ(c.out->ProductName(), "Twin");
}

TEST(MidiOutputSelectByName, NameMustMatchExactlyIncludingCase)
{
    Component c({"Alpha", "Beta"});
    c.out->SetDeviceID(1);
    EXPECT_EQ(RaisedText([&] { c.out->SetProductName("beta"); }), "MIDI output Device beta not installed");
    EXPECT_EQ(RaisedText([&] { c.out->SetProductName("Bet"); }), "MIDI output Device Bet not installed");
    EXPECT_EQ(c.out->DeviceID(), 1);
}

TEST(MidiOutputSelectByName, NotInstalledEvenWhenTheFieldHeldTheNameBefore)
{
    Component c({"Alpha", "Beta"});
    c.out->SetProductName("Beta");
    c.backend->devices.pop_back();
    EXPECT_EQ(RaisedText([&] { c.out->SetProductName("Beta"); }), "MIDI output Device Beta not installed");
    EXPECT_EQ(c.out->DeviceID(), 1);
}

TEST(MidiOutputSelectByName, CapabilityFailureEndsTheSearch)
{
    Component c({"Alpha", "Beta", "Gamma"});
    c.out->SetDeviceID(0);
    c.backend->devCapsFailures[1] = MIDIERR_NOTSUPPORTED;
    EXPECT_EQ(RaisedText([&] { c.out->SetProductName("Gamma"); }), "This function is not supported");
    EXPECT_EQ(c.out->DeviceID(), 0);
    EXPECT_EQ(c.out->ProductName(), "Alpha");
    EXPECT_EQ(c.out->LastResult(), MIDIERR_NOTSUPPORTED);
    // The search stopped at device 1: device 2 was never asked.
    for (const auto &call : c.backend->CallsOf(Op::GetDevCaps))
        EXPECT_NE(call.deviceId, 2);
}

TEST(MidiOutputSelectByName, RefusedWhileOpenAndIgnoredWhileLoading)
{
    Component c({"Alpha", "Beta"});
    ASSERT_TRUE(c.out->OpenDevice());
    EXPECT_EQ(RaisedText([&] { c.out->SetProductName("Beta"); }),
              "Change to ProductName while device was open");
    ASSERT_TRUE(c.out->CloseDevice());

    c.out->GetComponentState().loading = true;
    c.backend->ClearCalls();
    c.out->SetProductName("No Such Device");
    EXPECT_EQ(c.out->ProductName(), "");
    EXPECT_EQ(c.out->DeviceID(), 0);
    EXPECT_TRUE(c.backend->Calls().empty());
}

TEST(MidiOutputOpenClose, OpenRegistersCallbackAndControlBlock)
{
    Component c({"Alpha", "Beta"});
    c.out->SetDeviceID(1);
    ASSERT_TRUE(c.out->OpenDevice());
    EXPECT_EQ(c.out->State(), dsOpen);
    const auto opens = c.backend->CallsOf(Op::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].deviceId, 1);
    EXPECT_EQ(opens[0].value, CALLBACK_FUNCTION);
    EXPECT_EQ(opens[0].param1, reinterpret_cast<std::uintptr_t>(c.out->CtlBlock()));
    EXPECT_EQ(c.backend->lastCallback, &DriverCallback);
    MidiCtlInfo *block = c.out->CtlBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_NE(block->BlockHandle, 0u);
    EXPECT_EQ(block->EventBuffer, nullptr);
    EXPECT_EQ(block->Window, c.out->GetNotifyWindow());
    EXPECT_EQ(block->DropShortInput, 0);
    EXPECT_EQ(c.out->Handle(), opens[0].handle);
}

TEST(MidiOutputOpenClose, ControlBlockIsReusedAfterCloseAndFreedByDestruction)
{
    const unsigned before = SharedBlocksInUse();
    {
        Component c({"Alpha"});
        ASSERT_TRUE(c.out->OpenDevice());
        MidiCtlInfo *first = c.out->CtlBlock();
        EXPECT_TRUE(c.out->CloseDevice());
        EXPECT_EQ(c.out->CtlBlock(), first);
        EXPECT_EQ(c.out->Handle(), 0u);
        ASSERT_TRUE(c.out->OpenDevice());
        EXPECT_EQ(c.out->CtlBlock(), first);
        EXPECT_EQ(SharedBlocksInUse(), before + 1);
    }
    EXPECT_EQ(SharedBlocksInUse(), before);
}

TEST(MidiOutputOpenClose, DestructionClosesAnOpenDeviceAndFreesTheBlock)
{
    auto closed = std::make_shared<std::vector<DeviceHandle>>();
    auto owned = std::make_unique<TestBackend>(std::vector<std::string>{"Alpha"});
    owned->observer = [closed](const TestBackend::Call &call) {
        if (call.op == Op::Close)
            closed->push_back(call.handle);
    };
    auto out = std::make_unique<TMidiOutput>(std::move(owned));
    ASSERT_TRUE(out->OpenDevice());
    const DeviceHandle handle = out->Handle();
    const unsigned blocks = SharedBlocksInUse();
    out.reset();
    EXPECT_EQ(*closed, std::vector<DeviceHandle>{handle});
    EXPECT_EQ(SharedBlocksInUse(), blocks - 1);
}

TEST(MidiOutputOpenClose, FailedOpenReturnsFalseAndReleasesTheBlock)
{
    Component c({"Alpha"});
    const unsigned before = SharedBlocksInUse();
    ASSERT_TRUE(c.out->OpenDevice());
    ASSERT_TRUE(c.out->CloseDevice());
    c.backend->failures[Op::Open] = MIDIERR_ALLOCATED;
    EXPECT_FALSE(c.out->OpenDevice());
    EXPECT_EQ(c.out->State(), dsClosed);
    EXPECT_EQ(c.out->CtlBlock(), nullptr);
    EXPECT_EQ(c.out->LastResult(), MIDIERR_ALLOCATED);
    EXPECT_EQ(SharedBlocksInUse(), before);
    // With the device closed the back end refuses the send.
    EXPECT_EQ(RaisedText([&] { c.out->SendShortMessage(0x90, 60, 100); }), "The device handle is invalid");
    EXPECT_EQ(c.out->LastResult(), MIDIERR_INVALHANDLE);
}

TEST(MidiOutputOpenClose, FailedSharedAllocationFailsTheOpenBeforeTheBackEnd)
{
    Component c({"Alpha"});
    SharedAllocFailNext(1);
    EXPECT_FALSE(c.out->OpenDevice());
    EXPECT_EQ(c.out->State(), dsClosed);
    EXPECT_EQ(c.out->CtlBlock(), nullptr);
    EXPECT_TRUE(c.backend->CallsOf(Op::Open).empty());
    EXPECT_TRUE(c.out->OpenDevice());
}

TEST(MidiOutputOpenClose, CloseOnClosedComponentReturnsFalseQuietly)
{
    Component c({"Alpha"});
    EXPECT_FALSE(c.out->CloseDevice());
    EXPECT_EQ(c.out->State(), dsClosed);
    EXPECT_TRUE(c.backend->CallsOf(Op::Close).empty());
}

TEST(MidiOutputOpenClose, FailedCloseRaisesAndStaysOpen)
{
    Component c({"Alpha"});
    ASSERT_TRUE(c.out->OpenDevice());
    const DeviceHandle handle = c.out->Handle();
    c.backend->failures[Op::Close] = MIDIERR_UNSPECIFIED;
    EXPECT_EQ(RaisedText([&] { c.out->CloseDevice(); }), "Unspecified error");
    EXPECT_EQ(c.out->State(), dsOpen);
    EXPECT_EQ(c.out->Handle(), handle);
    EXPECT_EQ(c.out->LastResult(), MIDIERR_UNSPECIFIED);
    c.backend->failures.clear();
    EXPECT_TRUE(c.out->CloseDevice());
}

TEST(MidiOutputOpenClose, DeviceThatWillNotCloseAtDestructionGetsNoWindowToPostTo)
{
    Component c({"Alpha"});
    ASSERT_TRUE(c.out->OpenDevice());
    const DriverCallbackProc callback = c.backend->lastCallback;
    const std::uintptr_t instance = c.backend->lastInstance;
    c.backend->failures[Op::Close] = MIDIERR_UNSPECIFIED;
    c.out.reset();
    // The driver still holds the block and may call: it finds no window.
    const auto *block = reinterpret_cast<const MidiCtlInfo *>(instance);
    EXPECT_EQ(block->Window, nullptr);
    callback(0, MOM_DONE, instance, 0x1234, 0);
}

TEST(MidiOutputSend, PacksStatusAndDataBytesLowestFirst)
{
    Component c({"Alpha"});
    ASSERT_TRUE(c.out->OpenDevice());
    c.out->SendShortMessage(0x90, 0x3C, 0x64);
    c.out->SendShortMessage(0xFF, 0xFF, 0xFF); // no range check
    c.out->SendShortMessage(0xC0, 0x05, 0x00);
    const auto sent = c.backend->SentShortMessages();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], 6569104u);
    EXPECT_EQ(sent[1], 0x00FFFFFFu);
    EXPECT_EQ(sent[2], 0x000005C0u);
    EXPECT_EQ(c.backend->CallsOf(Op::ShortMessage)[0].handle, c.out->Handle());
}

TEST(MidiOutputSend, FailureRaisesThePlatformTextOrTheOutOfRangeText)
{
    Component c({"Alpha"});
    ASSERT_TRUE(c.out->OpenDevice());
    c.backend->failures[Op::ShortMessage] = MIDIERR_PORTGONE;
    EXPECT_EQ(RaisedText([&] { c.out->SendShortMessage(0x90, 1, 2); }), "The MIDI port is no longer available");
    EXPECT_EQ(c.out->State(), dsOpen);

    // Only the low 16 bits of a result count.
    c.backend->failures[Op::ShortMessage] = 0x70000 | MIDIERR_NOMEM;
    EXPECT_EQ(RaisedText([&] { c.out->SendShortMessage(0x90, 1, 2); }), "Unable to allocate memory");
    EXPECT_EQ(c.out->LastResult(), MIDIERR_NOMEM);

    // A code without a text, and an error-text call that fails.
    c.backend->failures[Op::ShortMessage] = 999;
    EXPECT_EQ(RaisedText([&] { c.out->SendShortMessage(0x90, 1, 2); }), "Specified error number is out of range");
    c.backend->failures[Op::ShortMessage] = MIDIERR_NOMEM;
    c.backend->failures[Op::GetErrorText] = 1;
    EXPECT_EQ(RaisedText([&] { c.out->SendShortMessage(0x90, 1, 2); }), "Specified error number is out of range");
}

TEST(MidiOutputSend, LongErrorTextsAreCutTo127Characters)
{
    Component c({"Alpha"});
    c.backend->errorTexts[500] = std::string(300, 'e');
    c.backend->failures[Op::ShortMessage] = 500;
    EXPECT_EQ(RaisedText([&] { c.out->SendShortMessage(0x90, 1, 2); }), std::string(127, 'e'));
}

TEST(MidiOutputSend, StopPatternCloseAndReopenUsesAFreshHandle)
{
    Component c({"Alpha"});
    ASSERT_TRUE(c.out->OpenDevice());
    const DeviceHandle first = c.out->Handle();
    ASSERT_TRUE(c.out->CloseDevice());
    EXPECT_EQ(RaisedText([&] { c.out->SendShortMessage(0x90, 1, 2); }), "The device handle is invalid");
    ASSERT_TRUE(c.out->OpenDevice());
    EXPECT_NE(c.out->Handle(), first);
    c.out->SendShortMessage(0x80, 1, 0);
    EXPECT_EQ(c.backend->CallsOf(Op::ShortMessage).back().handle, c.out->Handle());
}
