#include "common/FileErrors.h"

namespace common {

EReadError::EReadError() : EStreamError("Stream-Lesefehler") {}

EWriteError::EWriteError() : EStreamError("Stream-Schreibfehler") {}

EFCreateError::EFCreateError(const std::string &fileName)
    : EStreamError("Datei " + fileName + " kann nicht erstellt werden")
{
}

EFOpenError::EFOpenError(const std::string &fileName)
    : EStreamError("Datei " + fileName + " kann nicht geöffnet werden")
{
}

EInvalidRecording::EInvalidRecording(const std::string &fileName)
    : EStreamError("Datei " + fileName + " ist keine gültige Aufnahme.")
{
}

} // namespace common
