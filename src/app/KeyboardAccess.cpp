#include "app/KeyboardAccess.h"

#include "app/MainControls.h"
#include "app/SpinButtons.h"
#include "common/Guard.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <array>

namespace app {

namespace {

constexpr std::size_t ControlCount = 7;
constexpr std::size_t FirstTransport = 3;
constexpr std::size_t TransportCount = 3;

// A frame around the control that the keyboard has reached: the style draws
// none on a tool button, a check box or a slider that we could rely on. It
// lies over the controls and lets the mouse through; a focus that the mouse
// or the window's activation gave shows no frame, so the window looks as
// designed until the keyboard moves.
class FocusRing : public QWidget {
public:
    static constexpr int Margin = 2;

    explicit FocusRing(QWidget *parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("FocusRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

    void Around(const QWidget &control)
    {
        QRect area = control.geometry();
        // A spin's frame takes in its field.
        if (const auto *spin = qobject_cast<const SpinButtons *>(&control); spin && spin->Associate())
            area |= spin->Associate()->geometry();
        setGeometry(area.adjusted(-Margin, -Margin, Margin, Margin));
        raise();
        show();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        common::RunGuarded([this] {
            QPainter painter(this);
            QPen pen(palette().color(QPalette::Highlight), Margin);
            pen.setJoinStyle(Qt::MiterJoin);
            painter.setPen(pen);
            painter.drawRect(QRectF(rect()).adjusted(Margin / 2.0, Margin / 2.0, -Margin / 2.0, -Margin / 2.0));
        });
    }
};

class FocusKeys : public QObject {
public:
    FocusKeys(const std::array<QWidget *, ControlCount> &order, QObject *parent)
        : QObject(parent), order_(order), ring_(new FocusRing(order[0]->parentWidget()))
    {
    }

    FocusRing *Ring() const { return ring_; }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        bool taken = false;
        common::RunGuarded([&] {
            switch (event->type()) {
            case QEvent::KeyPress:
                taken = Key(watched, *static_cast<QKeyEvent *>(event));
                break;
            case QEvent::FocusIn:
                if (IsKeyboard(static_cast<QFocusEvent *>(event)->reason()))
                    ring_->Around(*static_cast<QWidget *>(watched));
                else
                    ring_->hide();
                break;
            case QEvent::FocusOut:
                ring_->hide();
                break;
            default:
                break;
            }
        });
        return taken;
    }

private:
    static bool IsKeyboard(Qt::FocusReason reason)
    {
        return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
    }

    bool Key(QObject *watched, const QKeyEvent &key)
    {
        const auto at = static_cast<std::size_t>(std::find(order_.begin(), order_.end(), watched) - order_.begin());
        if (at == ControlCount)
            return false;
        // Qt's own Tab would pass over the transport buttons that are not
        // down (they are one exclusive group) and its arrows would press them.
        switch (key.key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if ((key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0)
                return false;
            if (key.key() == Qt::Key_Tab && !(key.modifiers() & Qt::ShiftModifier))
                Focus(order_, at, 1, Qt::TabFocusReason);
            else
                Focus(order_, at, -1, Qt::BacktabFocusReason);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (at < FirstTransport || at >= FirstTransport + TransportCount)
                return false;
            Focus(std::array<QWidget *, TransportCount>{order_[FirstTransport], order_[FirstTransport + 1],
                                                        order_[FirstTransport + 2]},
                  at - FirstTransport, key.key() == Qt::Key_Right || key.key() == Qt::Key_Down ? 1 : -1,
                  Qt::TabFocusReason);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto *button = qobject_cast<QAbstractButton *>(watched)) {
                if (!key.isAutoRepeat())
                    button->click();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

    template <std::size_t N>
    static void Focus(const std::array<QWidget *, N> &ring, std::size_t at, int step, Qt::FocusReason reason)
    {
        ring[step > 0 ? (at + 1) % N : (at + N - 1) % N]->setFocus(reason);
    }

    std::array<QWidget *, ControlCount> order_;
    FocusRing *ring_;
};

} // namespace

void SetUpKeyboardAccess(MainControls &c, QMainWindow &window)
{
    // The labels name their controls for a screen reader.
    c.Label1->setBuddy(c.UpDown1);
    c.Label3->setBuddy(c.UpDown2);
    c.Label5->setBuddy(c.TrackBar1);
    const std::array<QWidget *, ControlCount> order{c.CheckBox1,    c.UpDown1,      c.UpDown2,  c.SpeedButton1,
                                                    c.SpeedButton2, c.SpeedButton3, c.TrackBar1};
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    auto *keys = new FocusKeys(order, &window);
    for (QWidget *control : order)
        control->installEventFilter(keys);
}

} // namespace app
