#pragma once
// The hidden receiver of what the driver callback posts: the window's
// wake-up, with the back end whose post operation the callback uses.

#include "common/WindowWake.h"

namespace midi_out {

class MidiBackend;

using NotifyMessage = common::WakeMessage;

class NotifyWindow : public common::WindowWake {
    Q_OBJECT
public:
    // `backend` carries the post operation the driver callback uses.
    NotifyWindow(MidiBackend *backend, Handler handler, QObject *parent = nullptr)
        : WindowWake(std::move(handler), parent), backend_(backend)
    {
    }

    MidiBackend *Backend() const { return backend_; }

private:
    MidiBackend *backend_;
};

} // namespace midi_out
