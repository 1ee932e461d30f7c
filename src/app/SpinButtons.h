#pragma once
// A pair of up/down buttons that hold a position within a range and show it
// in an attached read-only field. The ends do not wrap around. A held button
// repeats its step. Reached by Tab or a click (on it or its field, which
// shows the focus), it steps with the arrow keys: up and right up, down and
// left down.

#include <QTimer>
#include <QWidget>

class QLineEdit;

namespace app {

class SpinButtons : public QWidget {
    Q_OBJECT
public:
    explicit SpinButtons(QWidget *parent = nullptr);

    void SetRange(int minimum, int maximum);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int Position() const { return position_; }

    // Clamped to the range; the field shows the new value, and
    // PositionChanged follows when it differs from the old one.
    void SetPosition(int value);
    // As SetPosition; a held button stops repeating when a handler of the
    // change failed, so that one error does not come back every step.
    void StepBy(int delta);

    void SetAssociate(QLineEdit *field);
    QLineEdit *Associate() const { return field_; }

    // A button is held and will step again.
    bool IsRepeating() const { return repeat_.isActive(); }
    // Lets go of a held button as its release would.
    void StopRepeat();

    static constexpr int RepeatDelayMs = 400;
    static constexpr int RepeatIntervalMs = 100;

signals:
    void PositionChanged(int position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void Paint();
    QRect UpRect() const;
    QRect DownRect() const;
    void Repeat();
    void ShowPosition();

    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int pressedStep_ = 0; // +1 up, -1 down, 0 none
    QLineEdit *field_ = nullptr;
    QTimer repeat_;
};

} // namespace app
