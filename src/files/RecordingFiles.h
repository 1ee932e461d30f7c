#pragma once
// The open and save commands' file handling: which kind of file a name means,
// decided by its extension key alone, and the loader or writer for it.

#include "recorder/RecordingStream.h"

#include <stdexcept>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace files {

inline constexpr std::string_view kNativeKey = ".VSQ";    // native recording, open and save
inline constexpr std::string_view kSoundTextKey = ".VNX"; // sound text, open only
inline constexpr std::string_view kMidiKey = ".MID";      // Standard MIDI File, open and save
inline constexpr std::string_view kSmfKey = ".SMF";       // Standard MIDI File, open only

// A file name whose extension key names no format the command handles.
// The window shows it in a box of its own; other tools print it.
class EUnsupportedFormat : public std::runtime_error {
public:
    explicit EUnsupportedFormat(std::string key);
    // The key as formed by ExtensionKey (may be empty).
    const std::string &Key() const { return key_; }

private:
    std::string key_;
};

// The extension from the last "." that comes after every "\", ":" and "/"
// (empty without such a dot), ASCII letters upper-cased, cut to 4 characters.
std::string ExtensionKey(std::string_view fileName);

// Whether the key names a Standard MIDI File to open.
bool IsMidiFileKey(std::string_view key);

// ".VSQ": replace the recording with the file's bytes; ".VNX": import the
// sound text; ".MID", ".SMF": import the Standard MIDI File; any other key
// raises EUnsupportedFormat and changes nothing. Returns what the user would
// miss of the file (German texts), or nothing.
std::vector<std::string> OpenRecording(const std::string &fileName, recorder::RecordingStream &stream);

// What SaveRecording writes, made in memory: ".VSQ": the recording's bytes;
// ".MID": a Standard MIDI File; any other key raises EUnsupportedFormat.
std::vector<std::uint8_t> SavedFileBytes(const std::string &fileName, const recorder::RecordingStream &stream);

// Writes SavedFileBytes into the file, or for ".WAV", ".FLA" and ".OGG" the
// take rendered as sound (ExportAudioFile); a refused key writes nothing.
void SaveRecording(const std::string &fileName, const recorder::RecordingStream &stream);

} // namespace files
