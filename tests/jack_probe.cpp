// Exits 0 when a JACK server answers, without ever starting one.
//
// The client is not closed: libjack can deadlock closing a client right after
// opening it, and a probe that hangs would look like a missing server. The
// server drops the client of a process that has ended.
#include <jack/jack.h>

#include <unistd.h>

int main()
{
    jack_status_t status;
    jack_client_t *client = jack_client_open("midi-sonoret-probe", JackNoStartServer, &status);
    _exit(client != nullptr ? 0 : 1);
}
