// Exits 0 when a JACK server answers, without ever starting one.
#include <jack/jack.h>

int main()
{
    jack_status_t status;
    jack_client_t *client = jack_client_open("midi-sonoret-probe", JackNoStartServer, &status);
    if (!client)
        return 1;
    jack_client_close(client);
    return 0;
}
