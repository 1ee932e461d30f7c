#include "common/IntegerConversion.h"
#include "files/SoundTextImport.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using recorder::RecordedEvent;
using recorder::RecordingStream;
using testfiles::TempDir;

namespace {

constexpr std::uint8_t kOn = 0x90;
constexpr std::uint8_t kOff = 0x80;

std::vector<RecordedEvent> EventsOf(RecordingStream &stream)
{
    std::vector<RecordedEvent> events;
    stream.Seek(0, recorder::SeekOrigin::Begin);
    while (const auto event = stream.ReadEvent())
        events.push_back(*event);
    EXPECT_EQ(stream.Size() % RecordedEvent::kSize, 0u);
    return events;
}

// A tone at 440 Hz, full volume, lasting the given milliseconds.
std::string Tone(int milliseconds)
{
    return "440\n" + std::to_string(milliseconds) + "\n65535\n";
}

class SoundTextImportTest : public ::testing::Test {
protected:
    std::vector<RecordedEvent> Import(const std::string &text)
    {
        const std::string name = dir.File("tones" + std::to_string(++count) + ".vnx");
        testfiles::WriteText(name, text);
        files::ImportSoundText(name, recording);
        EXPECT_TRUE(recorder::IsValidRecording(recording.Bytes())) << "it opens again once saved";
        return EventsOf(recording);
    }

    // The error text of an import that must fail.
    std::string ImportError(const std::string &text)
    {
        try {
            Import(text);
        } catch (const std::exception &error) {
            return error.what();
        }
        return "no error";
    }

    // The ticks of every record, to compare timing alone.
    std::vector<std::uint32_t> Ticks(const std::string &text)
    {
        std::vector<std::uint32_t> ticks;
        for (const auto &event : Import(text))
            ticks.push_back(event.tick);
        return ticks;
    }

    TempDir dir;
    RecordingStream recording;
    int count = 0;
};

} // namespace

TEST_F(SoundTextImportTest, OneToneGivesNoteOnAndNoteOff)
{
    EXPECT_EQ(Import("440\r\n500\r\n65535\r\n"),
              (std::vector<RecordedEvent>{{0, kOn, 69, 127}, {10, kOff, 69, 127}}));
}

TEST_F(SoundTextImportTest, VolumeBecomesVelocityAndSilentTonesAreRests)
{
    // 516 gives velocity 0: a rest whose 100 ms still count.
    EXPECT_EQ(Import("440\n100\n516\n440\n100\n517\n440\n0\n32768\n440\n0\n65535\n"),
              (std::vector<RecordedEvent>{{2, kOn, 69, 1},
                                          {4, kOff, 69, 1},
                                          {4, kOn, 69, 63},
                                          {4, kOff, 69, 63},
                                          {4, kOn, 69, 127},
                                          {4, kOff, 69, 127}}));
    // Out of range: below 0 is silent, above full volume is the loudest.
    EXPECT_EQ(Import("440\n50\n-1\n440\n50\n65536\n440\n50\n2147483647\n"),
              (std::vector<RecordedEvent>{{1, kOn, 69, 127},
                                          {2, kOff, 69, 127},
                                          {2, kOn, 69, 127},
                                          {3, kOff, 69, 127}}));
}

TEST_F(SoundTextImportTest, FrequencyBecomesNote)
{
    const auto noteOf = [&](int frequency) {
        const auto events = Import(std::to_string(frequency) + "\n0\n65535\n");
        EXPECT_EQ(events.size(), 2u) << frequency;
        return events.empty() ? -1 : events.front().data1;
    };
    EXPECT_EQ(noteOf(8), 0);
    EXPECT_EQ(noteOf(262), 60);
    EXPECT_EQ(noteOf(440), 69);
    EXPECT_EQ(noteOf(12949), 127);
    EXPECT_EQ(noteOf(12950), 127) << "computed 128, held at 127";
    EXPECT_EQ(noteOf(2147483647), 127);
    EXPECT_EQ(noteOf(7), 0) << "below note 0 is held at 0";
    EXPECT_EQ(noteOf(1), 0);
}

TEST_F(SoundTextImportTest, TicksStopAtTheLargestTick)
{
    std::string text;
    for (int i = 0; i < 101; ++i)
        text += Tone(2147483647);
    const auto ticks = Ticks(text);
    ASSERT_EQ(ticks.size(), 202u);
    EXPECT_EQ(ticks[199], 4294967294u) << "100 x 2147483647 ms";
    EXPECT_EQ(ticks[201], 0xFFFFFFFFu) << "beyond the last tick";
}

TEST_F(SoundTextImportTest, TicksRoundHalfToEven)
{
    EXPECT_EQ(Ticks(Tone(25)), (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(Ticks(Tone(75)), (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(Ticks(Tone(125)), (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(Ticks(Tone(30) + Tone(30) + Tone(30)),
              (std::vector<std::uint32_t>{0, 1, 1, 1, 1, 2}));
    EXPECT_EQ(Ticks(Tone(0) + Tone(0)), (std::vector<std::uint32_t>{0, 0, 0, 0}));
}

TEST_F(SoundTextImportTest, NegativeDurationDoesNotTurnTimeBack)
{
    EXPECT_EQ(Ticks(Tone(100) + Tone(-100) + Tone(50)),
              (std::vector<std::uint32_t>{0, 2, 2, 2, 2, 3}));
}

// Ticks of tones lasting 25 ms and then many 10 ms: the running time lands on
// .5 every fifth tone, where a rounding error of the sum decides the tick.
TEST_F(SoundTextImportTest, RunningTimeKeepsExtendedPrecision)
{
    std::string text = Tone(25);
    for (int i = 0; i < 5; ++i)
        text += Tone(10);
    const auto ticks = Ticks(text);
    ASSERT_EQ(ticks.size(), 12u);

    // Exactly, the times are 0.5, 0.7, 0.9, 1.1, 1.3, 1.5: the last one rounds
    // to the even 2. A sum of doubles would stay just below 1.5 and give 1.
    EXPECT_EQ(ticks.back(), 2u);
    double inDouble = 25 / 50.0;
    for (int i = 0; i < 5; ++i)
        inDouble += 10 / 50.0;
    EXPECT_EQ(std::nearbyint(inDouble), 1.0) << "the case must tell the precisions apart";

    // Every tick matches the exact time rounded half to even.
    const auto exactTick = [](long milliseconds) {
        const long whole = milliseconds / 50;
        const long rest = milliseconds % 50;
        if (2 * rest != 50)
            return static_cast<std::uint32_t>(whole + (2 * rest > 50 ? 1 : 0));
        return static_cast<std::uint32_t>(whole + whole % 2);
    };
    long milliseconds = 0;
    for (std::size_t tone = 0; tone < 6; ++tone) {
        EXPECT_EQ(ticks[2 * tone], exactTick(milliseconds)) << "Note On of tone " << tone;
        milliseconds += tone == 0 ? 25 : 10;
        EXPECT_EQ(ticks[2 * tone + 1], exactTick(milliseconds)) << "Note Off of tone " << tone;
    }
}

TEST_F(SoundTextImportTest, RunningTimeIsASumNotRecomputedFromMilliseconds)
{
    // 5 ms and then twelve times 10 ms make 125 ms, exactly 2.5 ticks, which
    // would round to 2; the extended sum of 0.1 + 12 × 0.2 lies just above
    // 2.5 and gives 3, and that is the tick the import writes.
    std::string text = Tone(5);
    for (int i = 0; i < 12; ++i)
        text += Tone(10);
    EXPECT_EQ(Ticks(text).back(), 3u);
}

TEST_F(SoundTextImportTest, GroupsOfThreeLinesAndTheLinesNotRead)
{
    // Seven lines: two groups; the seventh line is never read.
    EXPECT_EQ(Import("440\n50\n65535\n262\n50\n65535\nnot a number").size(), 4u);
    // A rest never reads its volume line.
    EXPECT_EQ(Import("0\n500\nnonsense\n440\n50\n65535\n"),
              (std::vector<RecordedEvent>{{10, kOn, 69, 127}, {11, kOff, 69, 127}}));
    // A negative frequency with velocity 0 is a rest like any other.
    EXPECT_EQ(Import("-440\n100\n0\n440\n50\n65535\n").front().tick, 2u);
}

TEST_F(SoundTextImportTest, HexadecimalAndSignedLines)
{
    // Leading zeros, also more than ten digits of them.
    EXPECT_EQ(Import("0440\n00000000000500\n000000065535\n"),
              (std::vector<RecordedEvent>{{0, kOn, 69, 127}, {10, kOff, 69, 127}}));
    EXPECT_EQ(Import("$1B8\n +500\n0xFFFF\nx1b8\n+0\n$FFFF\n"),
              (std::vector<RecordedEvent>{
                  {0, kOn, 69, 127}, {10, kOff, 69, 127}, {10, kOn, 69, 127}, {10, kOff, 69, 127}}));
}

TEST_F(SoundTextImportTest, LineEndsAndTheEndOfTheText)
{
    const std::vector<RecordedEvent> expected{{0, kOn, 69, 127}, {10, kOff, 69, 127}};
    EXPECT_EQ(Import("440\r500\r65535"), expected);
    EXPECT_EQ(Import("440\r\n500\n65535\r"), expected);
    EXPECT_EQ(Import(std::string("440\n500\n65535\n\0\n262\n100\n65535\n", 31)), expected)
        << "a NUL ends the text";
    EXPECT_EQ(Import(std::string("440\n500\n65535\0 and more\n", 24)), expected)
        << "also within a line";
    // A break after the last line adds no line, so this is still one group.
    EXPECT_EQ(Import("440\n500\n65535\n\n262\n"), expected);
    // "\n\r" is two line ends: the empty line between is the duration.
    EXPECT_EQ(ImportError("440\n\r500\n65535\n"), "'' ist kein gültiger Integerwert");
}

TEST_F(SoundTextImportTest, ShortFilesGiveAnEmptyRecording)
{
    for (const char *text : {"", "440", "440\n500\n", "\n\n"}) {
        recording.WriteEvent({1, kOn, 60, 1});
        EXPECT_TRUE(Import(text).empty()) << '"' << text << '"';
        EXPECT_EQ(recording.Size(), 0u);
    }
}

TEST_F(SoundTextImportTest, BadLineNamesItself)
{
    EXPECT_EQ(ImportError("440 \n500\n65535\n"), "'440 ' ist kein gültiger Integerwert");
    EXPECT_EQ(ImportError("440\n500\n1e3\n"), "'1e3' ist kein gültiger Integerwert");
    EXPECT_EQ(ImportError("440\n5OO\n65535\n"), "'5OO' ist kein gültiger Integerwert");
    EXPECT_EQ(ImportError("440\n500\n65535\n2147483648\n1\n1\n"),
              "'2147483648' ist kein gültiger Integerwert");
}

TEST_F(SoundTextImportTest, FailedImportKeepsTheOldRecording)
{
    Import(Tone(100) + Tone(200));
    const auto before = recording.Bytes();

    EXPECT_EQ(ImportError(Tone(100) + "262\nlong\n65535\n"), "'long' ist kein gültiger Integerwert");
    EXPECT_EQ(recording.Bytes(), before);

    EXPECT_EQ(ImportError(Tone(100) + "-262\n100\n65535\n"), "Ungültige Gleitkommaoperation");
    EXPECT_EQ(recording.Bytes(), before);

    const std::string missing = dir.File("missing.vnx");
    try {
        files::ImportSoundText(missing, recording);
        FAIL() << "no error";
    } catch (const common::EFOpenError &error) {
        EXPECT_EQ(std::string(error.what()), "Datei " + missing + " kann nicht geöffnet werden");
    }
    EXPECT_EQ(recording.Bytes(), before);
}

TEST(SoundTextValues, NotesAgreeWithTheFormulaForEveryFrequency)
{
    // 12 x log2(f / 8.2) in extended precision, rounded half to even (the
    // default rounding mode), held to 0..127.
    const auto formula = [](std::int32_t frequency) {
        const long double note = std::nearbyint(12.0L * std::log2(static_cast<long double>(frequency) / 8.2L));
        return static_cast<int>(std::clamp(note, 0.0L, 127.0L));
    };
    for (std::int32_t f = 1; f <= 20000; ++f)
        ASSERT_EQ(files::NoteForFrequency(f), formula(f)) << f;
    for (std::int32_t f : {32767, 65536, 1 << 20, 21000000, INT32_MAX})
        EXPECT_EQ(files::NoteForFrequency(f), 127) << f;
}

TEST(SoundTextValues, VelocityScalesInSixtyFourBits)
{
    EXPECT_EQ(files::VelocityForVolume(0), 0);
    EXPECT_EQ(files::VelocityForVolume(516), 0);
    EXPECT_EQ(files::VelocityForVolume(517), 1);
    EXPECT_EQ(files::VelocityForVolume(65534), 126);
    EXPECT_EQ(files::VelocityForVolume(65535), 127);
    EXPECT_EQ(files::VelocityForVolume(INT32_MAX), 127);
    EXPECT_EQ(files::VelocityForVolume(INT32_MIN), 0);
}
