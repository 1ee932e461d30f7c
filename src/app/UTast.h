#pragma once
// The key assignment window: shows the piano keyboard, marks in blue the
// piano key whose PC key comes next, and stores every PC key pressed in the
// settings file at once, until all 42 piano keys have one or the user closes
// the window.

#include "performance/KeyGeometry.h"
#include "performance/PianoKey.h"

#include <QWidget>

#include <array>

class QLabel;

namespace app {

// What the window needs from the main window.
class KeyAssignmentHost {
public:
    virtual ~KeyAssignmentHost() = default;
    // Stores PC key `code` as playing piano key `number` (section Keys, both
    // in decimal); a code stored before keeps only its latest piano key.
    virtual void AssignKey(int code, int number) = 0;
    // Reads the key map anew from the settings file, without the default map.
    virtual void ReloadKeyMap() = 0;
};

class TForm2 : public QWidget {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 679;
    static constexpr int ClientHeight = 314;
    static constexpr int FontPixelSize = 14;
    // The rows sit this much higher than in the main window.
    static constexpr int RowShift = -64;

    explicit TForm2(KeyAssignmentHost &host, QWidget *parent = nullptr);

    // The piano key (1..43) that the next PC key press is assigned to.
    int AssignmentCursor() const { return assignmentCursor_; }
    performance::PianoKey *Key(int number) const { return keys_[number - 1]; }
    QLabel *Label1 = nullptr;

    // A PC key with code `code` went down: assign it and move on.
    void KeyDown(int code);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void Started();

    KeyAssignmentHost &host_;
    std::array<performance::PianoKey *, performance::KeyCount> keys_{};
    int assignmentCursor_ = 1;
};

} // namespace app
