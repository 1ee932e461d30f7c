#include "recorder/Transport.h"

#include <array>

namespace recorder {

namespace {
constexpr std::size_t TickSize = 4;
constexpr std::size_t MessageSize = 3;

// The stream's unsigned little-endian tick as the signed value playback compares.
std::int32_t TickFrom(const std::array<std::uint8_t, TickSize> &bytes)
{
    const std::uint32_t tick = static_cast<std::uint32_t>(bytes[0])
                               | static_cast<std::uint32_t>(bytes[1]) << 8
                               | static_cast<std::uint32_t>(bytes[2]) << 16
                               | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(tick);
}
} // namespace

void Transport::SetState(TransportState state)
{
    state_ = state;
    host_.ShowTransportState(state);
}

void Transport::Record()
{
    SetState(TransportState::Recording);
    tickCounter_ = 0;
    stream_.Clear();
    // Recorded, since the state is already Recording: every recording starts
    // with its instrument at tick 0.
    host_.SelectStoredInstrument();
}

void Transport::Play()
{
    SetState(TransportState::Playing);
    tickCounter_ = 0;
    host_.SwitchDrumsOff();
    stream_.Seek(0, SeekOrigin::Begin);
    host_.SelectStoredInstrument();
}

void Transport::Stop()
{
    SetState(TransportState::Stopped);
    host_.CloseDevice();
    host_.OpenDevice();
    host_.SelectStoredInstrument();
}

void Transport::Halt() { SetState(TransportState::Stopped); }

void Transport::EndPlayback()
{
    SetState(TransportState::Stopped);
    host_.SelectStoredInstrument();
}

void Transport::ClockTick()
{
    if (state_ == TransportState::Playing) {
        // The position stands at the tick field of the next unsent event.
        std::array<std::uint8_t, TickSize> tick{};
        if (stream_.Read(tick.data(), TickSize) < TickSize) {
            EndPlayback();
            return;
        }
        while (TickFrom(tick) <= tickCounter_) {
            std::array<std::uint8_t, MessageSize> message{};
            if (stream_.Read(message.data(), MessageSize) < MessageSize) {
                EndPlayback();
                return;
            }
            // Past the event before sending it: a failed send is not retried.
            host_.SendNote(message[0], message[1], message[2]);
            if (stream_.Read(tick.data(), TickSize) < TickSize) {
                EndPlayback();
                return;
            }
        }
        // The tick that is not yet due is read again next time.
        stream_.Seek(-static_cast<std::int64_t>(TickSize), SeekOrigin::Current);
    }
    tickCounter_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(tickCounter_) + 1u);
}

} // namespace recorder
