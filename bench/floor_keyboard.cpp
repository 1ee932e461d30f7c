// The floor of the press-latency benchmark: the least a keyboard on X11 and
// JACK can do. One window; a button press sets a flag that the JACK process
// callback turns into a Note On in its next cycle, a release into a Note Off.
// No toolkit, no queue, no device layer.
//
//   floor_keyboard TARGET-PORT      (DISPLAY names the X server)
//
// Prints "ready" once its port is connected to TARGET-PORT and its window is
// mapped; ends when its window is closed or stdin closes.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<int> pressed{0};  // presses not yet written
std::atomic<int> released{0}; // releases not yet written
jack_port_t *port = nullptr;

int Process(jack_nframes_t frames, void *)
{
    void *buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    for (int n = pressed.exchange(0); n > 0; --n) {
        const jack_midi_data_t on[3] = {0x90, 60, 100};
        jack_midi_event_write(buffer, 0, on, sizeof on);
    }
    for (int n = released.exchange(0); n > 0; --n) {
        const jack_midi_data_t off[3] = {0x80, 60, 0};
        jack_midi_event_write(buffer, 0, off, sizeof off);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: floor_keyboard TARGET-PORT\n");
        return 2;
    }
    jack_status_t status;
    jack_client_t *client = jack_client_open("sonoret-floor", JackNoStartServer, &status);
    if (client == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port == nullptr || jack_set_process_callback(client, &Process, nullptr) != 0 || jack_activate(client) != 0 ||
        jack_connect(client, jack_port_name(port), argv[1]) != 0) {
        std::fprintf(stderr, "cannot connect to %s\n", argv[1]);
        return 1;
    }

    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0,
                                              WhitePixel(display, DefaultScreen(display)));
    XStoreName(display, window, "floor");
    const unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&pid), 1);
    XSelectInput(display, window, ButtonPressMask | ButtonReleaseMask | StructureNotifyMask);
    XMapWindow(display, window);
    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type == MapNotify)
            break;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ButtonPress)
                pressed.fetch_add(1);
            else if (event.type == ButtonRelease)
                released.fetch_add(1);
            else if (event.type == DestroyNotify)
                goto done;
        }
        if (poll(fds, 2, -1) < 0 || (fds[1].revents & (POLLIN | POLLHUP)) != 0)
            break;
    }
done:
    jack_deactivate(client);
    jack_client_close(client);
    XCloseDisplay(display);
    return 0;
}
