// The keys' state and the players that change it, without a window: a fake
// note path stands in for the device and the recorder.
#include "performance/ControlKeys.h"
#include "performance/InputRouter.h"
#include "performance/KeyPlayer.h"
#include "performance/KeyboardModel.h"
#include "performance/KeyboardPoll.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace performance;

struct Sent {
    std::uint8_t status, data1, data2;
    friend bool operator==(const Sent &, const Sent &) = default;
};

class Sink : public recorder::MessageSink {
public:
    void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        sent.push_back({status, data1, data2});
    }
    void SendLongMessage(const std::uint8_t *, std::size_t) override {}
    void RecordSent(std::uint8_t, std::uint8_t, std::uint8_t) override {}
    std::vector<Sent> sent;
};

// The lower row's white keys: key 1 plays note 36, key 2 note 38, key 3 note 40.
struct Keyboard {
    Keyboard() { model.SetKeyMap({"65", "83"}, {"1", "3"}); }
    void Poll() { poll.PollKeyboard(); }

    PlayingState playing;
    KeyboardModel model;
    Sink sink;
    KeyStateTable states;
    KeyPlayer player{playing, model, sink};
    KeyboardPoll poll{model, states, player};
    InputRouter input{playing, model, sink};
    std::vector<int> changed;
};

TEST(KeyboardModel, CompilesOnlyTheEntriesThatPlay)
{
    const struct {
        const char *what;
        QStringList codes, numbers;
        std::vector<KeyMapEntry> map;
        std::vector<int> mapped;
    } cases[] = {
        {"two entries", {"65", "66"}, {"1", "42"}, {{65, 1}, {66, 42}}, {65, 66}},
        {"no code", {"x", "66"}, {"1", "2"}, {{66, 2}}, {66}},
        {"no key", {"65", "66", "67"}, {"0", "43", "07"}, {}, {65, 66, 67}},
        {"without partner", {"65", "66"}, {"5"}, {{65, 5}}, {65, 66}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        KeyboardModel model;
        model.SetKeyMap(c.codes, c.numbers);
        EXPECT_EQ(model.KeyMap(), c.map);
        for (const int code : c.mapped)
            EXPECT_TRUE(model.Maps(code)) << code;
        EXPECT_FALSE(model.Maps(1));
    }
}

TEST(KeyboardModel, TellsOnlyAChangeOfSoundingAndEndsWithTheNoteItStarted)
{
    Keyboard k;
    k.model.SetListener([&](int number) { k.changed.push_back(number); });
    k.player.StartNote(3, KeySource::Mouse);
    k.model.MarkSounding(3, 70, 2, KeySource::Mouse); // already sounding: not told again
    k.playing.transposition = 5;
    k.player.StopNote(3);
    k.player.StopNote(3);
    EXPECT_EQ(k.changed, (std::vector<int>{3, 3}));
    EXPECT_EQ(k.sink.sent, (std::vector<Sent>{{0x90, 40, 127}, {0x81, 70, 0}, {0x80, 45, 0}}));
}

TEST(KeyboardModel, PcKeysFollowTheirStatesAndLeaveTheMouseAndTheInputAlone)
{
    Keyboard k;
    k.states.Press(1, 65);
    k.states.Press(2, 83);
    k.Poll();
    k.Poll(); // held keys are not played again
    // The map is walked from its last entry: key 3 first.
    EXPECT_EQ(k.sink.sent, (std::vector<Sent>{{0x90, 40, 127}, {0x90, 36, 127}}));

    k.sink.sent.clear();
    k.model.SetMouseHeldKey(1);
    k.states.Release(1);
    k.Poll();
    EXPECT_TRUE(k.model.IsSounding(1)) << "the mouse holds it";
    k.model.SetMouseHeldKey(0);
    k.states.Release(2);
    k.Poll();
    EXPECT_EQ(k.sink.sent, (std::vector<Sent>{{0x80, 40, 0}, {0x80, 36, 0}}));

    // A key the input holds is the input's until the input ends it.
    k.sink.sent.clear();
    k.input.ShortMessage(0x90 | 36 << 8 | 100 << 16);
    k.states.Press(3, 65);
    k.Poll();
    EXPECT_TRUE(k.model.IsHeldByInput(1));
    k.input.ShortMessage(0x80 | 36 << 8);
    k.Poll();
    EXPECT_EQ(k.sink.sent, (std::vector<Sent>{{0x90, 36, 100}, {0x80, 36, 0}, {0x90, 36, 127}}));
    EXPECT_FALSE(k.model.IsHeldByInput(1));
}

TEST(KeyboardModel, TheInputLightsASilentKeyByItsUntransposedNoteOnly)
{
    Keyboard k;
    k.playing.transposition = 2;
    k.player.StartNote(2, KeySource::PcKey);          // sounds 40
    k.input.ShortMessage(0x91 | 40 << 8 | 90 << 16);  // key 2's own note + 2: taken
    k.input.ShortMessage(0x91 | 42 << 8 | 90 << 16);  // key 3's
    k.input.ShortMessage(0x91 | 120 << 8 | 90 << 16); // no key's
    EXPECT_FALSE(k.model.IsHeldByInput(2));
    EXPECT_TRUE(k.model.IsHeldByInput(3));
    EXPECT_EQ(k.model.SoundingChannel(3), 2);
    k.input.ForgetAll();
    EXPECT_TRUE(k.model.IsSilent(3));
    EXPECT_TRUE(k.model.IsSounding(2));
}

TEST(KeyboardModel, PedalAndOctaveKeysActUnlessTheMapPlaysThem)
{
    for (const bool spaceMapped : {false, true}) {
        SCOPED_TRACE(spaceMapped);
        Keyboard k;
        if (spaceMapped)
            k.model.SetKeyMap({"32"}, {"1"});
        int moved = 0;
        performance::ControlKeys controls(k.model, k.states, k.playing, k.sink, [&](int semitones) { moved += semitones; });
        k.playing.channel = 3;
        k.states.Press(1, VkSpace);
        k.states.Press(2, VkPageUp);
        controls.Poll();
        controls.Poll();
        EXPECT_EQ(moved, OctaveSemitones);
        EXPECT_EQ(controls.Plays(VkSpace), true);
        EXPECT_EQ(controls.PedalIsDown(), !spaceMapped);
        k.states.Release(1);
        controls.Poll();
        const std::vector<Sent> pedal{{0xB2, SustainController, PedalDownValue}, {0xB2, SustainController, PedalUpValue}};
        EXPECT_EQ(k.sink.sent, spaceMapped ? std::vector<Sent>{} : pedal);
    }
}

} // namespace
