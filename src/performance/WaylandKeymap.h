#pragma once
// The keymap a Wayland compositor hands its clients: on a Wayland session
// the layout the user set is the compositor's, which neither the X server
// nor the system's keyboard configuration knows. Read on a connection of
// our own; the compositor sends a new keymap whenever the user switches
// layouts, and the watch tells of it.

#include <QObject>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace performance {

class WaylandKeymapWatch : public QObject {
    Q_OBJECT
public:
    // Connects to the compositor WAYLAND_DISPLAY names (in XDG_RUNTIME_DIR)
    // and waits at most `bound` for its keymap; without a compositor, a
    // keyboard or an answer in time, Keymap() stays empty.
    explicit WaylandKeymapWatch(std::chrono::milliseconds bound = std::chrono::milliseconds(400),
                                QObject *parent = nullptr);
    ~WaylandKeymapWatch() override;

    // The text of the keyboard's XKB keymap, the newest the compositor sent.
    const std::optional<std::string> &Keymap() const;

signals:
    // The compositor sent another keymap (the user switched layouts).
    void Changed();

private:
    void Read();

    struct Connection;
    std::unique_ptr<Connection> connection_;
    QSocketNotifier *notifier_ = nullptr;
};

// Once: the compositor's keymap now, as the watch would have it.
std::optional<std::string> CompositorKeymap(std::chrono::milliseconds bound = std::chrono::milliseconds(400));

} // namespace performance
