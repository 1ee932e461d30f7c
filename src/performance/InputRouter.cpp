#include "performance/InputRouter.h"

namespace performance {

namespace {
constexpr std::uint8_t NoteOffKind = 0x80;
constexpr std::uint8_t NoteOnKind = 0x90;
constexpr std::uint8_t SystemExclusive = 0xF0;
} // namespace

InputRule InputRuleFor(std::uint8_t status)
{
    if (status < 0x80)
        return {status, InputRoute::Drop, false};
    return InputMessageTable[static_cast<std::size_t>((status >> 4) - 8)];
}

void InputRouter::ShortMessage(std::uint32_t packed, bool forwarded)
{
    const auto status = static_cast<std::uint8_t>(packed & 0xFF);
    const auto data1 = static_cast<std::uint8_t>((packed >> 8) & 0xFF);
    const auto data2 = static_cast<std::uint8_t>((packed >> 16) & 0xFF);
    const InputRule rule = InputRuleFor(status);
    if (rule.route != InputRoute::SendNote)
        return;
    // A failed send leaves by exception before any key changes.
    if (forwarded)
        sink_.RecordSent(status, data1, data2);
    else
        sink_.SendNote(status, data1, data2);
    if (!rule.lightsKey)
        return;
    const auto channel = static_cast<std::uint8_t>(status & 0x0F);
    if ((status & 0xF0) == NoteOnKind && data2 > 0)
        held_.Start(channel, data1);
    else if ((status & 0xF0) == NoteOffKind || (status & 0xF0) == NoteOnKind)
        held_.End(channel, data1);
}

void InputRouter::LongMessage(const std::uint8_t *bytes, std::size_t length, bool forwarded)
{
    if (forwarded || length == 0 || bytes[0] != SystemExclusive)
        return;
    sink_.SendLongMessage(bytes, length);
}

void InputRouter::ReleaseAll()
{
    // Each note leaves the list only once its Note Off went out, so a failed
    // send can be retried by the next release.
    while (!held_.Empty()) {
        const LitNotes::Note held = held_.Last();
        sink_.SendNote(static_cast<std::uint8_t>(NoteOffKind | held.channel), held.note, 0);
        held_.EndLast();
    }
}

void InputRouter::ForgetAll() { held_.ForgetAll(); }

} // namespace performance
