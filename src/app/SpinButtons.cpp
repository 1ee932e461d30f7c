#include "app/SpinButtons.h"

#include "app/Accessibility.h"
#include "common/Guard.h"
#include "common/GuardedConnect.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace app {

SpinButtons::SpinButtons(QWidget *parent) : QWidget(parent)
{
    // As any spin box: reached by Tab and by a click, on it or its field.
    setFocusPolicy(Qt::StrongFocus);
    common::GuardedConnect(&repeat_, &QTimer::timeout, this, &SpinButtons::Repeat);
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

void SpinButtons::StepBy(int delta)
{
    const unsigned long errorsBefore = common::HandledErrorCount();
    SetPosition(position_ + delta);
    if (common::HandledErrorCount() != errorsBefore)
        StopRepeat();
}

void SpinButtons::SetAssociate(QLineEdit *field)
{
    field_ = field;
    // The field is where the focus shows; a click on it gives it here.
    if (field_)
        field_->setFocusProxy(this);
    ShowPosition();
}

void SpinButtons::ShowPosition()
{
    if (field_)
        field_->setText(QString::number(position_));
    QAccessibleValueChangeEvent event(this, position_);
    Tell(event);
}

QRect SpinButtons::UpRect() const { return QRect(0, 0, width(), height() / 2); }

QRect SpinButtons::DownRect() const
{
    return QRect(0, height() / 2, width(), height() - height() / 2);
}

void SpinButtons::paintEvent(QPaintEvent *)
{
    common::RunGuarded([this] { Paint(); });
}

void SpinButtons::Paint()
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
    common::RunGuarded([this] { StepBy(pressedStep_); });
}

void SpinButtons::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        common::RunGuarded([this] { StopRepeat(); });
}

void SpinButtons::keyPressEvent(QKeyEvent *event)
{
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        step = +1;
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
        step = -1;
        break;
    default:
        event->ignore();
        return;
    }
    common::RunGuarded([this, step] { StepBy(step); });
}

// The field shows the focus: it is drawn anew when the focus comes or goes.
void SpinButtons::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    common::RunGuarded([this] {
        if (field_)
            field_->update();
    });
}

void SpinButtons::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    common::RunGuarded([this] {
        if (field_)
            field_->update();
    });
}

void SpinButtons::Repeat()
{
    repeat_.setInterval(RepeatIntervalMs);
    StepBy(pressedStep_);
}

void SpinButtons::StopRepeat()
{
    repeat_.stop();
    pressedStep_ = 0;
    update();
}

} // namespace app
