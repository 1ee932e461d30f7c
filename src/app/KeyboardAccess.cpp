#include "app/KeyboardAccess.h"

#include "app/MainControls.h"
#include "app/SpinButtons.h"
#include "common/Guard.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <array>

namespace app {

namespace {

constexpr std::size_t ControlCount = 7;
constexpr std::size_t FirstTransport = 3;
constexpr std::size_t TransportCount = 3;

class FocusKeys : public QObject {
public:
    FocusKeys(const std::array<QWidget *, ControlCount> &order, QObject *parent)
        : QObject(parent), order_(order)
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        bool taken = false;
        common::RunGuarded([&] { taken = Key(watched, *static_cast<QKeyEvent *>(event)); });
        return taken;
    }

private:
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
            Focus(order_, at, key.key() == Qt::Key_Tab && !(key.modifiers() & Qt::ShiftModifier) ? 1 : -1,
                  Qt::TabFocusReason);
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
                  Qt::OtherFocusReason);
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
