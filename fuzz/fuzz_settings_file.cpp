// The settings file: any file content, then any sequence of reads, writes,
// section erasures and key-map reads. Every write that is accepted must read
// back, an erased section must be gone, reading must never fail, and the key
// map must pair each code with the value of its own line, leaving out the
// keys that are no number.

#include "FuzzSupport.h"

#include "common/SettingsFile.h"
#include "common/IntegerConversion.h"
#include "performance/KeyGeometry.h"
#include "performance/KeyMap.h"

#include <stdexcept>
#include <string>

namespace {

std::string Trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Names the program uses, mixed with whatever the input brings.
const char *const kSections[] = {"Device", "Common", "Keys", "common", " Keys ", "[Keys]", ""};
const char *const kKeys[] = {"ID", "Beat", "Transposition", "Drums", "Volume",
                             "Instrument", "65", "226", "beat", ";x", ""};

std::string Name(fuzz::FuzzInput &input, const char *const (&known)[7])
{
    return input.Byte() & 1 ? std::string(input.Pick(known)) : input.String(24);
}

std::string Key(fuzz::FuzzInput &input)
{
    return input.Byte() & 1 ? std::string(input.Pick(kKeys)) : input.String(24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::FuzzInput input(data, size);
    const std::string text = input.Bytes(input.Uint32() % 2048);
    const std::string path = fuzz::WriteScratchFile("settings.ini", text);
    common::SettingsFile settings(path);

    for (int step = 0; step < 32 && !input.Empty(); ++step) {
        const std::string section = Name(input, kSections);
        const std::string key = Key(input);
        switch (input.Byte() % 9) {
        case 0:
            settings.ReadString(section, key, "default");
            break;
        case 1:
            settings.ReadInteger(section, key, 7);
            break;
        case 2:
            settings.ReadBool(section, key, true);
            break;
        case 3:
            for (const auto &name : settings.ReadSection(section))
                FUZZ_CHECK(!name.empty());
            break;
        case 4: {
            const auto keys = settings.ReadSection(section);
            const auto lines = settings.ReadSectionValues(section);
            FUZZ_CHECK(keys.size() == lines.size());
            for (std::size_t i = 0; i < keys.size(); ++i)
                FUZZ_CHECK(lines[i].compare(0, keys[i].size() + 1, keys[i] + "=") == 0);
            break;
        }
        case 5: {
            const std::string value = input.String(40);
            try {
                settings.WriteString(section, key, value);
            } catch (const std::invalid_argument &) {
                break; // a name or value that cannot stand in an INI line
            }
            FUZZ_CHECK(settings.ReadString(section, key, "\n") == Trimmed(value));
            break;
        }
        case 6: {
            const auto value = static_cast<std::int32_t>(input.Uint32());
            try {
                settings.WriteInteger(section, key, value);
            } catch (const std::invalid_argument &) {
                break;
            }
            FUZZ_CHECK(settings.ReadInteger(section, key, value ^ 1) == value);
            FUZZ_CHECK(settings.ReadBool(section, key, value == 0) == (value != 0));
            break;
        }
        case 7:
            settings.EraseSection(section);
            if (!Trimmed(section).empty())
                FUZZ_CHECK(settings.ReadSection(section).empty());
            break;
        case 8: {
            const auto keys = settings.ReadSection("Keys");
            const auto lines = settings.ReadSectionValues("Keys");
            const auto map = performance::KeyMapFromSection(keys, lines);
            FUZZ_CHECK(map.codes.size() == map.numbers.size());
            FUZZ_CHECK(static_cast<std::size_t>(map.codes.size()) + map.rejected.size() == keys.size());
            // The codes are the keys that are numbers, in file order; the others are rejected.
            qsizetype i = 0;
            for (const std::string &code : keys) {
                if (!common::TryStrToInt(code))
                    continue;
                FUZZ_CHECK(i < map.codes.size() && map.codes[i] == QString::fromStdString(code));
                const std::string value = settings.ReadString("Keys", code, "");
                const auto cut = value.rfind('=');
                const std::string number = cut == std::string::npos ? value : value.substr(cut + 1);
                FUZZ_CHECK(map.numbers[i] == QString::fromStdString(number)); // same decoding of non-UTF-8 bytes
                const int key = performance::KeyNumberFromText(map.numbers[i]);
                FUZZ_CHECK(key >= 0 && key <= performance::KeyCount);
                ++i;
            }
            break;
        }
        }
    }
    return 0;
}
