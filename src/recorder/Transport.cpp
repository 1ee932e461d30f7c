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
    const bool takeEnded = state_ == TransportState::Recording && state != TransportState::Recording;
    state_ = state;
    if (takeEnded)
        host_.TakeEnded();
    host_.ShowTransportState(state);
}

void Transport::RaiseIf(const std::exception_ptr &failure)
{
    if (failure)
        std::rethrow_exception(failure);
}

std::exception_ptr Transport::Leave()
{
    // Not through the host: the live notes themselves go on sounding.
    if (state_ == TransportState::Recording)
        CloseTake(stream_, static_cast<std::uint32_t>(tick_));
    std::exception_ptr failure;
    for (const SoundingNotes::Note &note : played_.TakeAll()) {
        try {
            sink_.SendNote(SoundingNotes::NoteOffStatus(note.channel), note.key, 0);
            host_.Played(SoundingNotes::NoteOffStatus(note.channel), note.key, 0);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    return failure;
}

void CloseTake(RecordingStream &take, std::uint32_t tick)
{
    SoundingNotes open;
    take.Seek(0, SeekOrigin::Begin);
    while (const auto event = take.ReadEvent())
        open.Track(event->status, event->data1, event->data2);
    take.Seek(0, SeekOrigin::End);
    for (const SoundingNotes::Note &note : open.TakeAll())
        take.WriteEvent({tick, SoundingNotes::NoteOffStatus(note.channel), note.key, 0});
}

void Transport::Record()
{
    const auto failure = Leave();
    SetState(TransportState::Recording);
    tick_ = 0;
    stream_.Clear();
    // Recorded, since the state is already Recording: every recording starts
    // with its instrument at tick 0.
    host_.SelectStoredInstrument();
    RaiseIf(failure);
}

void Transport::Play()
{
    const auto failure = Leave();
    SetState(TransportState::Playing);
    tick_ = 0;
    host_.SwitchDrumsOff();
    stream_.Seek(0, SeekOrigin::Begin);
    host_.SelectStoredInstrument();
    RaiseIf(failure);
}

void Transport::Stop()
{
    // A Note Off that fails here leaves nothing sounding: the silencing that
    // follows reaches the device whatever else did (a lost device is reopened
    // on the way), and the user, who may be pressing "Angehalten" to bring a
    // lost device back, hears of the device's state from the silencing or
    // the instrument instead.
    (void)Leave();
    SetState(TransportState::Stopped);
    host_.SilenceDevice();
    host_.SelectStoredInstrument();
}

void Transport::CountIn()
{
    const auto failure = Leave();
    SetState(TransportState::CountingIn);
    RaiseIf(failure);
}

void Transport::Halt()
{
    const auto failure = Leave();
    SetState(TransportState::Stopped);
    RaiseIf(failure);
}

void Transport::EndPlayback()
{
    if (repeat_ && stream_.Size() >= RecordedEvent::kSize) {
        // Ended as a playback ends, begun again as Play begins it, without
        // a change of state: the buttons and the drums stay as they are.
        const auto failure = Leave();
        tick_ = 0;
        stream_.Seek(0, SeekOrigin::Begin);
        RaiseIf(failure);
        return;
    }
    const auto failure = Leave();
    SetState(TransportState::Stopped);
    host_.SelectStoredInstrument();
    RaiseIf(failure);
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
        std::size_t sent = 0;
        while (TickFrom(tick) <= tick_ && sent < MaxEventsPerTick) {
            std::array<std::uint8_t, MessageSize> message{};
            if (stream_.Read(message.data(), MessageSize) < MessageSize) {
                EndPlayback();
                return;
            }
            // Past the event before sending it: a failed send is not retried.
            ++sent;
            sink_.SendNote(message[0], message[1], message[2]);
            played_.Track(message[0], message[1], message[2]);
            host_.Played(message[0], message[1], message[2]);
            if (stream_.Read(tick.data(), TickSize) < TickSize) {
                EndPlayback();
                return;
            }
        }
        // The tick that is not yet due is read again next time.
        stream_.Seek(-static_cast<std::int64_t>(TickSize), SeekOrigin::Current);
    }
    tick_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(tick_) + 1u);
}

} // namespace recorder
