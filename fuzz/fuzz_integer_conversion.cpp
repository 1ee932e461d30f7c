// The text-to-integer conversion against an independent reading built on
// std::from_chars, plus round trips of every value through its decimal and
// hexadecimal spellings.

#include "FuzzSupport.h"

#include "common/IntegerConversion.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

namespace {

std::optional<std::uint64_t> Digits(std::string_view text, int base)
{
    if (text.empty() || text[0] == '+' || text[0] == '-')
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> Reference(std::string_view text)
{
    while (!text.empty() && text[0] == ' ')
        text.remove_prefix(1);
    std::size_t hexPrefix = 0;
    if (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X'))
        hexPrefix = 1;
    else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        hexPrefix = 2;
    if (hexPrefix != 0) {
        const auto value = Digits(text.substr(hexPrefix), 16);
        if (!value || *value > 0xFFFFFFFFu)
            return std::nullopt;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
    }
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const auto value = Digits(text, 10);
    if (!value || *value > (negative ? 2147483648u : 2147483647u))
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*value)
                                              : static_cast<std::int64_t>(*value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto converted = common::TryStrToInt(text);
    FUZZ_CHECK(converted == Reference(text));

    try {
        const std::int32_t value = common::StrToInt(text);
        FUZZ_CHECK(converted && *converted == value);
    } catch (const common::EConvertError &error) {
        FUZZ_CHECK(!converted);
        // The message quotes the text; a short plain one exactly.
        const std::string message = error.what();
        FUZZ_CHECK(message.front() == '\'');
        if (text.size() <= 40 && text.find('\0') == std::string_view::npos)
            FUZZ_CHECK(message == "'" + std::string(text) + "' ist kein gültiger Integerwert");
    }

    // Whatever the text, the number it spells in its first bytes survives
    // being written and read back in every spelling the program accepts.
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i)
        bits = bits << 8 | data[i];
    const auto value = static_cast<std::int32_t>(bits);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", bits);
    FUZZ_CHECK(common::TryStrToInt(std::to_string(value)) == value);
    FUZZ_CHECK(common::TryStrToInt("   " + std::to_string(value)) == value);
    FUZZ_CHECK(common::TryStrToInt(std::string("$") + hex) == value);
    FUZZ_CHECK(common::TryStrToInt(std::string("0x") + hex) == value);
    FUZZ_CHECK(common::TryStrToInt(std::to_string(value) + " ") == std::nullopt);
    return 0;
}
