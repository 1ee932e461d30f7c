#include "files/RecordingFiles.h"

#include "files/AudioExport.h"
#include "files/MidiExport.h"
#include "files/MidiImport.h"
#include "files/SoundTextImport.h"

#include "common/AtomicFileWriter.h"

namespace files {

namespace {

constexpr std::size_t kKeyLength = 4;

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

EUnsupportedFormat::EUnsupportedFormat(std::string key)
    : std::runtime_error("Das Dateiformat " + key + " wird nicht unterstützt."),
      key_(std::move(key))
{
}

std::string ExtensionKey(std::string_view fileName)
{
    const auto dot = fileName.rfind('.');
    const auto separator = fileName.find_last_of("\\:/");
    if (dot == std::string_view::npos
        || (separator != std::string_view::npos && dot < separator))
        return {};

    // Cut after 4 characters, not 4 bytes, so a non-ASCII extension is not
    // split inside a UTF-8 sequence when the key is shown.
    std::string key;
    std::size_t characters = 0;
    for (const char c : fileName.substr(dot)) {
        if (!isUtf8Continuation(c) && characters++ == kKeyLength)
            break;
        key += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return key;
}

bool IsMidiFileKey(std::string_view key) { return key == kMidiKey || key == kSmfKey; }

std::vector<std::string> OpenRecording(const std::string &fileName, recorder::RecordingStream &stream)
{
    const std::string key = ExtensionKey(fileName);
    if (key == kNativeKey)
        stream.LoadFromFile(fileName);
    else if (key == kSoundTextKey)
        ImportSoundText(fileName, stream);
    else if (IsMidiFileKey(key))
        return ImportMidiFile(fileName, stream).Texts(fileName);
    else
        throw EUnsupportedFormat(key);
    return {};
}

std::vector<std::uint8_t> SavedFileBytes(const std::string &fileName, const recorder::RecordingStream &stream)
{
    const std::string key = ExtensionKey(fileName);
    if (key == kNativeKey)
        return stream.Bytes();
    if (key == kMidiKey)
        return MidiFileBytes(stream);
    throw EUnsupportedFormat(key);
}

void SaveRecording(const std::string &fileName, const recorder::RecordingStream &stream)
{
    if (const auto format = AudioFormatOfKey(ExtensionKey(fileName))) {
        ExportAudioFile(fileName, *format, stream.Bytes());
        return;
    }
    common::WriteWholeFile(fileName, SavedFileBytes(fileName, stream));
}

} // namespace files
