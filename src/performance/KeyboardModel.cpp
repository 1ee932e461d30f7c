#include "performance/KeyboardModel.h"

#include "common/IntegerConversion.h"
#include "performance/KeyMap.h"

#include <algorithm>

namespace performance {

int KeyboardModel::NumberOfNote(int note)
{
    for (int number = 1; number <= KeyCount; ++number)
        if (NoteOf(number) == note)
            return number;
    return 0;
}

bool KeyboardModel::AnySounding() const
{
    return std::any_of(keys_.begin(), keys_.end(), [](const auto &key) { return key.has_value(); });
}

std::optional<std::uint8_t> KeyboardModel::SoundingNote(int number) const
{
    const auto &key = At(number);
    return key ? std::optional(key->note) : std::nullopt;
}

std::optional<int> KeyboardModel::SoundingChannel(int number) const
{
    const auto &key = At(number);
    return key ? std::optional(int{key->channel}) : std::nullopt;
}

void KeyboardModel::MarkSounding(int number, std::uint8_t note, int channel, KeySource source)
{
    Set(number, Sounding{note, static_cast<std::uint8_t>(channel), source});
}

void KeyboardModel::MarkSilent(int number) { Set(number, std::nullopt); }

void KeyboardModel::Set(int number, std::optional<Sounding> state)
{
    auto &key = keys_[static_cast<std::size_t>(number - 1)];
    const bool was = key.has_value();
    key = state;
    if (was != key.has_value() && listener_)
        listener_(number);
}

void KeyboardModel::SetKeyMap(const QStringList &codes, const QStringList &numbers)
{
    keyMap_.clear();
    mappedCodes_.clear();
    for (const QString &text : codes)
        if (const auto code = common::TryStrToInt(text.toStdString()))
            mappedCodes_.push_back(*code);
    const qsizetype count = std::min(codes.size(), numbers.size());
    for (qsizetype i = 0; i < count; ++i) {
        // Reading the map told the entries that are no code.
        const auto code = common::TryStrToInt(codes[i].toStdString());
        const int number = KeyNumberFromText(numbers[i]);
        if (code && number != 0)
            keyMap_.push_back({*code, number});
    }
}

bool KeyboardModel::Maps(int code) const
{
    return std::find(mappedCodes_.begin(), mappedCodes_.end(), code) != mappedCodes_.end();
}

} // namespace performance
