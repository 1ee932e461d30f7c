// The extension key of any file name: empty or a dot and at most three more
// characters of the name's last extension, ASCII letters in upper case; and
// the open and save commands refuse every key they do not handle without
// touching a file or the recording.

#include "FuzzSupport.h"

#include "files/AudioExport.h"
#include "files/RecordingFiles.h"
#include "recorder/RecordingStream.h"

#include <string>
#include <string_view>

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string name(reinterpret_cast<const char *>(data), size);
    const std::string key = files::ExtensionKey(name);

    const auto dot = name.rfind('.');
    const auto separator = name.find_last_of("\\:/");
    const bool hasExtension =
        dot != std::string::npos && (separator == std::string::npos || dot > separator);
    FUZZ_CHECK(key.empty() == !hasExtension);
    if (hasExtension) {
        FUZZ_CHECK(key.size() <= name.size() - dot);
        std::size_t characters = 0;
        for (std::size_t i = 0; i < key.size(); ++i) {
            FUZZ_CHECK(key[i] == Upper(name[dot + i]));
            characters += IsContinuation(key[i]) ? 0 : 1;
        }
        FUZZ_CHECK(characters <= 4);
        // Cut only where a fifth character begins.
        FUZZ_CHECK(key.size() == name.size() - dot
                   || (characters == 4 && !IsContinuation(name[dot + key.size()])));
    }

    // A name whose key is none of the handled ones is refused before any
    // file is touched, so the folder need not even exist.
    const std::string path = "/nonexistent-folder/" + name;
    const std::string pathKey = files::ExtensionKey(path);
    recorder::RecordingStream stream;
    stream.WriteEvent({1, 0x90, 60, 100});
    const auto before = stream.Bytes();
    for (const bool save : {false, true}) {
        const bool handled = pathKey == files::kNativeKey || pathKey == files::kMidiKey
                             || (!save && (pathKey == files::kSoundTextKey || pathKey == files::kSmfKey))
                             || (save && files::AudioFormatOfKey(pathKey));
        try {
            if (save)
                files::SaveRecording(path, stream);
            else
                files::OpenRecording(path, stream);
            FUZZ_CHECK(false); // the folder does not exist
        } catch (const files::EUnsupportedFormat &refused) {
            FUZZ_CHECK(!handled);
            FUZZ_CHECK(refused.Key() == pathKey);
        } catch (const common::EStreamError &) {
            FUZZ_CHECK(handled);
        }
        FUZZ_CHECK(stream.Bytes() == before);
    }
    return 0;
}
