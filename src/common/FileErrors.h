#pragma once
// The failures of reading and writing files, shared by the recording, the
// recording files and the settings file. Their texts are the ones users see.

#include <stdexcept>
#include <string>

namespace common {

// Base of every failure of the stream and of the recording files.
class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Stream-Lesefehler"
class EReadError : public EStreamError {
public:
    EReadError();
};

// "Stream-Schreibfehler"
class EWriteError : public EStreamError {
public:
    EWriteError();
};

// "Datei <name> kann nicht erstellt werden"
class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string &fileName);
};

// "Datei <name> kann nicht geöffnet werden"
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string &fileName);
};

// "Datei <name> ist keine gültige Aufnahme."
class EInvalidRecording : public EStreamError {
public:
    explicit EInvalidRecording(const std::string &fileName);
};

} // namespace common
