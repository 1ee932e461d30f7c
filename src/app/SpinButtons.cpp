#include "app/SpinButtons.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace app {

SpinButtons::SpinButtons(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    connect(&repeat_, &QTimer::timeout, this, &SpinButtons::Repeat);
}

void SpinButtons::SetRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    SetPosition(position_);
}

void SpinButtons::SetPosition(int value)
{
    const int clamped = std::clamp(value, minimum_, maximum_);
    const bool changed = clamped != position_;
    position_ = clamped;
    ShowPosition();
    if (changed)
        emit PositionChanged(position_);
}

void SpinButtons::StepBy(int delta) { SetPosition(position_ + delta); }

void SpinButtons::SetAssociate(QLineEdit *field)
{
    field_ = field;
    ShowPosition();
}

void SpinButtons::ShowPosition()
{
    if (field_)
        field_->setText(QString::number(position_));
}

QRect SpinButtons::UpRect() const { return QRect(0, 0, width(), height() / 2); }

QRect SpinButtons::DownRect() const
{
    return QRect(0, height() / 2, width(), height() - height() / 2);
}

void SpinButtons::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    const auto drawButton = [&](const QRect &rect, int step, QStyle::PrimitiveElement arrow) {
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = rect;
        button.state |= pressedStep_ == step ? QStyle::State_Sunken : QStyle::State_Raised;
        painter.drawPrimitive(QStyle::PE_PanelButtonBevel, button);
        QStyleOption indicator;
        indicator.initFrom(this);
        indicator.rect = rect.adjusted(3, 1, -3, -1);
        painter.drawPrimitive(arrow, indicator);
    };
    drawButton(UpRect(), +1, QStyle::PE_IndicatorArrowUp);
    drawButton(DownRect(), -1, QStyle::PE_IndicatorArrowDown);
}

void SpinButtons::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    pressedStep_ = UpRect().contains(event->position().toPoint()) ? +1 : -1;
    update();
    repeat_.start(RepeatDelayMs);
    try {
        StepBy(pressedStep_);
    } catch (...) {
        // A failing change handler must not leave the button repeating.
        StopRepeat();
        throw;
    }
}

void SpinButtons::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        StopRepeat();
}

void SpinButtons::Repeat()
{
    repeat_.setInterval(RepeatIntervalMs);
    try {
        StepBy(pressedStep_);
    } catch (...) {
        StopRepeat();
        throw;
    }
}

void SpinButtons::StopRepeat()
{
    repeat_.stop();
    pressedStep_ = 0;
    update();
}

} // namespace app
