#include "performance/WaylandKeymap.h"

#include "common/Guard.h"

#include <QSocketNotifier>

#include <wayland-client.h>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace performance {

namespace detail {

// What the compositor told one connection.
struct Session {
    wl_seat *seat = nullptr;
    wl_keyboard *keyboard = nullptr;
    bool noKeyboard = false;
    std::optional<std::string> keymap;
    int keymaps = 0; // how many the compositor sent

    ~Session() { Release(); }
    // The keyboard and the seat go before their display.
    void Release()
    {
        if (keyboard != nullptr)
            wl_keyboard_destroy(keyboard);
        if (seat != nullptr)
            wl_seat_destroy(seat);
        keyboard = nullptr;
        seat = nullptr;
    }
};

} // namespace detail

namespace {

using detail::Session;


void Keymap(void *data, wl_keyboard *, std::uint32_t format, int fd, std::uint32_t size)
{
    auto &session = *static_cast<Session *>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            // The text ends with its NUL, within `size`.
            session.keymap = std::string(static_cast<const char *>(map), strnlen(static_cast<const char *>(map), size));
            ++session.keymaps;
            munmap(map, size);
        }
    }
    close(fd);
}
void Enter(void *, wl_keyboard *, std::uint32_t, wl_surface *, wl_array *) {}
void Leave(void *, wl_keyboard *, std::uint32_t, wl_surface *) {}
void Key(void *, wl_keyboard *, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void Modifiers(void *, wl_keyboard *, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void RepeatInfo(void *, wl_keyboard *, std::int32_t, std::int32_t) {}
constexpr wl_keyboard_listener KeyboardListener{Keymap, Enter, Leave, Key, Modifiers, RepeatInfo};

void Capabilities(void *data, wl_seat *seat, std::uint32_t capabilities)
{
    auto &session = *static_cast<Session *>(data);
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) == 0) {
        session.noKeyboard = true;
        return;
    }
    if (session.keyboard == nullptr) {
        session.keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(session.keyboard, &KeyboardListener, &session);
    }
}
void SeatName(void *, wl_seat *, const char *) {}
constexpr wl_seat_listener SeatListener{Capabilities, SeatName};

void Global(void *data, wl_registry *registry, std::uint32_t name, const char *interface, std::uint32_t version)
{
    auto &session = *static_cast<Session *>(data);
    // The first seat is the one the desktop types on.
    if (session.seat != nullptr || std::strcmp(interface, wl_seat_interface.name) != 0)
        return;
    session.seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
    wl_seat_add_listener(session.seat, &SeatListener, &session);
}
void GlobalRemove(void *, wl_registry *, std::uint32_t) {}
constexpr wl_registry_listener RegistryListener{Global, GlobalRemove};

// Reads and dispatches events until `done` or the deadline; a compositor
// that does not answer never holds the caller longer.
template <class Done>
bool DispatchUntil(wl_display *display, Done done, std::chrono::steady_clock::time_point deadline)
{
    while (!done()) {
        if (wl_display_dispatch_pending(display) < 0)
            return false;
        if (done())
            return true;
        if (wl_display_prepare_read(display) != 0)
            continue;
        wl_display_flush(display);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd wait{wl_display_get_fd(display), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        if (wl_display_read_events(display) < 0)
            return false;
    }
    return true;
}

void SyncDone(void *data, wl_callback *callback, std::uint32_t)
{
    *static_cast<bool *>(data) = true;
    wl_callback_destroy(callback);
}
constexpr wl_callback_listener SyncListener{SyncDone};

// Waits until the compositor has answered every request made so far.
bool Roundtrip(wl_display *display, std::chrono::steady_clock::time_point deadline)
{
    bool synced = false;
    wl_callback *callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &SyncListener, &synced);
    if (DispatchUntil(display, [&] { return synced; }, deadline))
        return true;
    // Not answered in time: the callback must not point at this frame.
    if (!synced)
        wl_callback_destroy(callback);
    return false;
}

} // namespace

struct WaylandKeymapWatch::Connection {
    wl_display *display = nullptr;
    wl_registry *registry = nullptr;
    detail::Session session;

    ~Connection()
    {
        session.Release();
        if (registry != nullptr)
            wl_registry_destroy(registry);
        if (display != nullptr)
            wl_display_disconnect(display);
    }
};

WaylandKeymapWatch::WaylandKeymapWatch(std::chrono::milliseconds bound, QObject *parent)
    : QObject(parent), connection_(std::make_unique<Connection>())
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    Connection &c = *connection_;
    c.display = wl_display_connect(nullptr);
    if (c.display == nullptr)
        return;
    c.registry = wl_display_get_registry(c.display);
    wl_registry_add_listener(c.registry, &RegistryListener, &c.session);
    // The globals, then the seat's capabilities, then the keyboard's keymap:
    // each answers the request the round before made.
    for (int round = 0; round < 3 && !c.session.keymap && !c.session.noKeyboard; ++round)
        if (!Roundtrip(c.display, deadline) || (round == 0 && c.session.seat == nullptr))
            break;
    if (!c.session.keymap) {
        connection_ = std::make_unique<Connection>();
        return;
    }
    // Later keymaps arrive on the connection: read when it has some.
    notifier_ = new QSocketNotifier(wl_display_get_fd(c.display), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this]() noexcept { common::RunGuarded([this] { Read(); }); });
}

WaylandKeymapWatch::~WaylandKeymapWatch() = default;

const std::optional<std::string> &WaylandKeymapWatch::Keymap() const { return connection_->session.keymap; }

void WaylandKeymapWatch::Read()
{
    wl_display *display = connection_->display;
    const int before = connection_->session.keymaps;
    // Only what is there: the window's thread never waits here.
    if (wl_display_prepare_read(display) == 0) {
        pollfd ready{wl_display_get_fd(display), POLLIN, 0};
        if (::poll(&ready, 1, 0) > 0)
            wl_display_read_events(display);
        else
            wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0) {
        // The compositor has gone: the last keymap stays.
        notifier_->setEnabled(false);
        return;
    }
    wl_display_flush(display);
    if (connection_->session.keymaps != before)
        emit Changed();
}

std::optional<std::string> CompositorKeymap(std::chrono::milliseconds bound)
{
    return WaylandKeymapWatch(bound).Keymap();
}

} // namespace performance
