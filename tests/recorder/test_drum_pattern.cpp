#include "recorder/DrumPattern.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

using recorder::DrumPattern;

struct Sent {
    std::uint8_t status, data1, data2;
    friend bool operator==(const Sent &, const Sent &) = default;
};

class Sink : public recorder::NoteSink {
public:
    void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        if (failAfter >= 0 && static_cast<int>(sent.size()) == failAfter)
            throw std::runtime_error("send failed");
        sent.push_back({status, data1, data2});
    }
    std::vector<Sent> sent;
    int failAfter = -1;
};

const std::vector<Sent> Bass{{0x89, 36, 0}, {0x99, 36, 127}};
const std::vector<Sent> Snare{{0x89, 40, 0}, {0x99, 40, 127}};
const std::vector<Sent> HiHat{{0x89, 42, 0}, {0x99, 42, 64}};

std::vector<Sent> Join(std::initializer_list<std::vector<Sent>> parts)
{
    std::vector<Sent> all;
    for (const auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The pattern by step modulo 4: each hit preceded by its own Note Off.
const std::array<std::vector<Sent>, 4> ExpectedStep{
    Join({Bass, HiHat}), HiHat, Join({Snare, HiHat}), HiHat};

TEST(DrumPattern, EightStepsFromStartAndAcrossTheWrap)
{
    for (const std::uint8_t start : {std::uint8_t{0}, std::uint8_t{252}}) {
        Sink sink;
        DrumPattern pattern(sink);
        pattern.SetStep(start);
        for (int i = 0; i < 8; ++i) {
            SCOPED_TRACE(int(pattern.Step()));
            sink.sent.clear();
            pattern.Tick();
            EXPECT_EQ(sink.sent, ExpectedStep[i % 4]);
        }
        EXPECT_EQ(pattern.Step(), std::uint8_t(start + 8));
    }
}

TEST(DrumPattern, FailedSendLeavesTheStep)
{
    Sink sink;
    sink.failAfter = 1;
    DrumPattern pattern(sink);
    EXPECT_THROW(pattern.Tick(), std::runtime_error);
    EXPECT_EQ(pattern.Step(), 0);
}

} // namespace
