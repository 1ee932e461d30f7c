#include "performance/InputRouter.h"

#include <algorithm>

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
        NoteStarted(channel, data1);
    else if ((status & 0xF0) == NoteOffKind || (status & 0xF0) == NoteOnKind)
        NoteEnded(channel, data1);
}

void InputRouter::LongMessage(const std::uint8_t *bytes, std::size_t length, bool forwarded)
{
    if (forwarded || length == 0 || bytes[0] != SystemExclusive)
        return;
    sink_.SendLongMessage(bytes, length);
}

void InputRouter::NoteStarted(std::uint8_t channel, std::uint8_t note)
{
    const auto same = [&](const Held &held) { return held.channel == channel && held.note == note; };
    if (std::any_of(held_.begin(), held_.end(), same))
        return;
    int key = KeyboardModel::NumberOfNote(note - state_.transposition);
    // A key the mouse or the PC keyboard plays stays theirs.
    if (key != 0 && keys_.IsSounding(key))
        key = 0;
    if (key != 0)
        keys_.MarkSounding(key, note, channel + 1, KeySource::Input);
    held_.push_back({channel, note, key});
}

void InputRouter::NoteEnded(std::uint8_t channel, std::uint8_t note)
{
    const auto found = std::find_if(held_.begin(), held_.end(), [&](const Held &held) {
        return held.channel == channel && held.note == note;
    });
    if (found == held_.end())
        return;
    Darken(*found);
    held_.erase(found);
}

void InputRouter::ReleaseAll()
{
    // Each note leaves the list only once its Note Off went out, so a failed
    // send can be retried by the next release.
    while (!held_.empty()) {
        const Held held = held_.back();
        sink_.SendNote(static_cast<std::uint8_t>(NoteOffKind | held.channel), held.note, 0);
        Darken(held);
        held_.pop_back();
    }
}

void InputRouter::ForgetAll()
{
    for (const Held &held : held_)
        Darken(held);
    held_.clear();
}

void InputRouter::Darken(const Held &held)
{
    if (held.key != 0 && keys_.IsHeldByInput(held.key))
        keys_.MarkSilent(held.key);
}

} // namespace performance
