#include "recorder/NoteRouter.h"

#include "midi_out/MidiOut.h"
#include "recorder/Transport.h"

namespace recorder {

void NoteRouter::SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    SendToDevice(status, data1, data2);
    RecordSent(status, data1, data2);
}

void NoteRouter::SendToDevice(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    observer_.DeviceNeeded();
    device_.SendShortMessage(status, data1, data2);
    observer_.Sent();
}

void NoteRouter::RecordSent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    if (transport_ != nullptr && transport_->IsRecording()) {
        stream_.WriteEvent({static_cast<std::uint32_t>(transport_->Tick()), status, data1, data2});
        observer_.Recorded();
    }
}

void NoteRouter::SendLongMessage(const std::uint8_t *bytes, std::size_t length)
{
    if (length > MaxLongMessage)
        throw midi_out::EmidioutputError("A long message may have at most 65535 bytes");
    observer_.DeviceNeeded();
    device_.SendLongMessage(bytes, static_cast<std::uint16_t>(length));
}

} // namespace recorder
