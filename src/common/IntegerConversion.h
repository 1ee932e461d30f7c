#pragma once
// The one text-to-integer conversion of the program: settings values, key-map
// codes and sound text lines all go through it.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace common {

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Leading spaces, then an optional sign and decimal digits, or (without a
// sign) hexadecimal digits behind "$", "x", "0x" or "0X", worth at most 32
// bits and taken as signed. Nothing may follow. Empty when the text does not
// convert.
std::optional<std::int32_t> TryStrToInt(std::string_view text);

// As TryStrToInt; raises "'<text>' ist kein gültiger Integerwert" on failure,
// a text of more than 40 characters cut to its first 40 and "…".
std::int32_t StrToInt(std::string_view text);

} // namespace common
