#include "performance/PianoKey.h"

#include "common/Guard.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPainter>

namespace performance {

PianoKey::PianoKey(const KeyGeometry &geometry, int topOffset, QWidget *parent)
    : QWidget(parent), geometry_(geometry)
{
    setObjectName(QStringLiteral("Key%1").arg(geometry.number));
    setGeometry(geometry.left, geometry.top + topOffset, geometry.width, geometry.height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor PianoKey::OutlineColor() const
{
    if (model_ == nullptr)
        return outline_;
    return model_->IsSounding(Number()) ? PressedColor : SilentColor;
}

void PianoKey::SetOutlineColor(const QColor &color)
{
    if (outline_ == color)
        return;
    const bool wasSounding = IsSounding();
    outline_ = color;
    if (wasSounding != IsSounding())
        SoundingChanged();
    else
        update();
}

void PianoKey::SetModel(const KeyboardModel *model)
{
    model_ = model;
    update();
}

void PianoKey::SoundingChanged()
{
    update();
    // A screen reader hears a key go down and up as a button's pressed state;
    // without one listening, a note costs nothing more.
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.pressed = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
}

void PianoKey::SetLabel(const QString &label)
{
    if (label_ == label)
        return;
    label_ = label;
    update();
}

void PianoKey::paintEvent(QPaintEvent *)
{
    // Outline first over the whole key, then the fill inside it: the outline
    // lies entirely within the key's bounds.
    common::RunGuarded([this] {
        QPainter painter(this);
        painter.fillRect(rect(), OutlineColor());
        const int w = geometry_.outlineWidth;
        const QRect inside = rect().adjusted(w, w, -w, -w);
        painter.fillRect(inside, Fill());
        if (!label_.isEmpty()) {
            painter.setPen(geometry_.black ? Qt::white : Qt::black);
            painter.drawText(inside.adjusted(0, 0, 0, -2), Qt::AlignHCenter | Qt::AlignBottom, label_);
        }
    });
}

// Any button plays, wherever inside the key the pointer is.
void PianoKey::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (listener_)
        common::RunGuarded([this, y = event->position().toPoint().y()] {
            listener_->KeyMouseDown(*this, y);
        });
}

void PianoKey::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (listener_)
        common::RunGuarded([this] { listener_->KeyMouseUp(*this); });
}

std::array<PianoKey *, KeyCount> CreatePianoKeys(QWidget *parent, int topOffset)
{
    std::array<PianoKey *, KeyCount> keys{};
    for (int number : KeyStackingOrder)
        keys[number - 1] = new PianoKey(KeyByNumber(number), topOffset, parent);
    return keys;
}

} // namespace performance
