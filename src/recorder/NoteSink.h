#pragma once
// The one way the recorder and the accompaniment emit a message: the window's
// note path, which sends it and, while recording, records it.

#include <cstdint>

namespace recorder {

class NoteSink {
public:
    // May raise the device's error; nothing after the failed send runs.
    virtual void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;

protected:
    ~NoteSink() = default;
};

} // namespace recorder
