// Exits 0 when a JACK server answers, without ever starting one.
//
// libjack can deadlock closing a client right after opening it; the server
// has answered by then, so a close that does not end soon ends the probe with
// the answer, and the server drops the client of a process that has gone.
#include <jack/jack.h>

#include <signal.h>
#include <unistd.h>

int main()
{
    // A missing server is an answer, not an error to print.
    jack_set_error_function([](const char *) {});
    jack_set_info_function([](const char *) {});
    jack_status_t status;
    jack_client_t *client = jack_client_open("midi-sonoret-probe", JackNoStartServer, &status);
    if (client == nullptr)
        return 1;
    signal(SIGALRM, [](int) { _exit(0); });
    alarm(2);
    jack_client_close(client);
    return 0;
}
