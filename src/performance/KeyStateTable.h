#pragma once
// Which PC keys are down, as the program's own key events tell it: a key
// counts as down from its press to its release. Two positions may share a
// code (both Shifts): the code is down while either is held.

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QKeyEvent;
class QWidget;

namespace performance {

class KeyStateTable {
public:
    // `position` tells the physical keys apart; `virtualKey` is the code the
    // key map knows it by. Pressing a key that is already down changes nothing.
    void Press(std::uint32_t position, int virtualKey);
    void Release(std::uint32_t position);
    // Every key counts as released, as when the program loses the keyboard.
    void ReleaseAll();
    // The keys of this code count as released until pressed again: their
    // release may never reach us (a message box takes the keyboard).
    void Forget(int virtualKey);

    bool IsDown(int virtualKey) const;
    bool AnyDown() const { return !down_.empty(); }
    // Counts the changes of the states, so that a reader can tell whether
    // there was one since it last looked.
    std::uint64_t Changes() const { return changes_; }

private:
    struct DownKey {
        std::uint32_t position;
        int virtualKey;
    };
    // Rarely more than a handful at once.
    std::vector<DownKey> down_;
    std::uint64_t changes_ = 0;
};

// Feeds a KeyStateTable from the key events of the whole application, before
// any widget sees them. Auto-repeats change nothing; when the application
// loses the keyboard every key counts as released, so that no note hangs on a
// key whose release went to another program. With a playing window set, only
// presses meant for that window count: typing a file name in a dialog or
// choosing a menu item by its access key plays (and records) nothing, and the
// window losing the keyboard to a dialog of ours releases every key.
class KeyStateFilter : public QObject {
    Q_OBJECT
public:
    explicit KeyStateFilter(KeyStateTable &table, QObject *parent = nullptr);

    // The window whose key presses play; none: every press counts.
    void SetPlayingWindow(QWidget *window) { playingWindow_ = window; }
    // Which key codes play: their presses and releases meant for the
    // playing window go no further, so that a key that plays never also
    // acts on the focused control (the space bar on a check box, Page Up on
    // the slider). None: every event goes on.
    void SetPlayingKeys(std::function<bool(int virtualKey)> plays) { plays_ = std::move(plays); }
    // Runs when a key that plays has gone down in the playing window.
    void SetOnPlayingPress(std::function<void()> pressed) { pressed_ = std::move(pressed); }

    // The position of the key that an event reports: its native scan code,
    // or, for events without one, its Qt key in a range of its own.
    static std::uint32_t PositionOf(const QKeyEvent &event);
    // A key pressed with Ctrl, Alt or the logo key held: a command, never a
    // note. Shift alone does not make one (a held Shift may play).
    static bool IsChord(const QKeyEvent &event);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // True when the event is a playing key's and goes no further.
    bool Observe(const QObject *receiver, const QEvent &event);
    bool Plays(const QObject *receiver, const std::optional<int> &code) const;
    bool MeantForThePlayingWindow(const QObject *receiver) const;

    KeyStateTable &table_;
    QWidget *playingWindow_ = nullptr;
    std::function<bool(int)> plays_;
    std::function<void()> pressed_;
};

} // namespace performance
