#pragma once
// Which notes a stream of messages has left sounding, by channel and key:
// a Note On with a velocity switches its note on, a Note Off or a Note On
// with velocity 0 switches it off again.

#include <bitset>
#include <cstdint>
#include <vector>

namespace recorder {

class SoundingNotes {
public:
    struct Note {
        std::uint8_t channel;
        std::uint8_t key;
    };

    void Track(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
    {
        const std::uint8_t kind = status & 0xF0;
        if ((kind != 0x80 && kind != 0x90) || data1 >= 0x80)
            return;
        on_.set(Index(status & 0x0F, data1), kind == 0x90 && data2 != 0);
    }

    bool Any() const { return on_.any(); }

    // The notes still on, channel by channel, lowest key first; none is
    // left on afterwards.
    std::vector<Note> TakeAll()
    {
        std::vector<Note> notes;
        for (std::size_t i = 0; i < on_.size(); ++i)
            if (on_.test(i))
                notes.push_back({static_cast<std::uint8_t>(i / Keys), static_cast<std::uint8_t>(i % Keys)});
        on_.reset();
        return notes;
    }

    static constexpr std::uint8_t NoteOffStatus(std::uint8_t channel) { return 0x80 | channel; }

private:
    static constexpr std::size_t Keys = 128;
    static std::size_t Index(unsigned channel, unsigned key) { return channel * Keys + key; }

    std::bitset<16 * Keys> on_;
};

} // namespace recorder
