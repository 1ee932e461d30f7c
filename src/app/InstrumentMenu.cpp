#include "app/InstrumentMenu.h"

#include "app/Accessibility.h"
#include "app/InstrumentTable.h"
#include "common/Guard.h"
#include "common/GuardedConnect.h"

#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionMenuItem>
#include <QWidgetAction>

#include <algorithm>
#include <cstdlib>

namespace app {

namespace {

QStyleOptionMenuItem MenuItemOption(const QWidget *widget, const QAction *action)
{
    QStyleOptionMenuItem option;
    option.initFrom(widget);
    option.state = QStyle::State_Enabled;
    option.menuHasCheckableItems = true;
    option.maxIconWidth = 0;
    option.reservedShortcutWidth = 0;
    option.font = widget->font();
    option.fontMetrics = widget->fontMetrics();
    if (action) {
        option.menuItemType = QStyleOptionMenuItem::Normal;
        option.checkType = QStyleOptionMenuItem::Exclusive;
        option.checked = action->isChecked();
        option.text = action->text();
    } else {
        option.menuItemType = QStyleOptionMenuItem::Separator;
        option.checkType = QStyleOptionMenuItem::NotCheckable;
    }
    return option;
}

// Width of the rule between two columns, and the gap on each side of it.
constexpr int ColumnRuleGap = 3;

} // namespace

InstrumentGrid::InstrumentGrid(QWidget *parent) : QWidget(parent), group_(new QActionGroup(this))
{
    setObjectName(QStringLiteral("InstrumentGrid"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    group_->setExclusive(true);
    items_.reserve(InstrumentCount);
    for (std::size_t program = 0; program < InstrumentCount; ++program) {
        auto *action = new QAction(QCoreApplication::translate("Instruments", Instruments[program].name), this);
        action->setCheckable(true);
        action->setData(static_cast<int>(program));
        group_->addAction(action);
        items_.push_back(action);
        // A check changed from outside (SelectInstrument) shows at once.
        connect(action, &QAction::changed, this, qOverload<>(&QWidget::update));
        // A screen reader hears the instrument that was chosen.
        common::GuardedConnect(action, &QAction::toggled, this, [action](bool on) {
            if (!on)
                return;
            QAccessible::State changed;
            changed.checked = true;
            QAccessibleStateChangeEvent event(action, changed);
            Tell(event);
        });
    }
    items_.front()->setChecked(true);
}

QAction *InstrumentGrid::Item(int program) const
{
    if (program < 0 || program >= static_cast<int>(items_.size()))
        return nullptr;
    return items_[static_cast<std::size_t>(program)];
}

void InstrumentGrid::Layout() const
{
    laidOut_ = true;
    // Each column is as wide as its widest item; the rows of a column follow
    // each other with the style's menu item heights.
    cells_.clear();
    struct Pending {
        int program;
        int column;
        QSize size;
    };
    std::vector<Pending> pending;
    std::array<int, ColumnCount> widths{};
    int column = 0;
    for (std::size_t program = 0; program < InstrumentCount; ++program) {
        const auto before = Instruments[program].before;
        if (before == InstrumentEntry::Break::Column)
            ++column;
        if (before == InstrumentEntry::Break::Separator) {
            const auto option = MenuItemOption(this, nullptr);
            pending.push_back({-1, column,
                               style()->sizeFromContents(QStyle::CT_MenuItem, &option, QSize(0, 0), this)});
        }
        const auto option = MenuItemOption(this, items_[program]);
        const QSize text(fontMetrics().horizontalAdvance(items_[program]->text()), fontMetrics().height());
        const QSize size = style()->sizeFromContents(QStyle::CT_MenuItem, &option, text, this);
        widths[static_cast<std::size_t>(column)] =
            std::max(widths[static_cast<std::size_t>(column)], size.width());
        pending.push_back({static_cast<int>(program), column, size});
    }

    int left = 0;
    for (int c = 0; c < ColumnCount; ++c) {
        columnLeft_[static_cast<std::size_t>(c)] = left;
        left += widths[static_cast<std::size_t>(c)] + (c + 1 < ColumnCount ? 2 * ColumnRuleGap + 1 : 0);
    }
    std::array<int, ColumnCount> tops{};
    for (const auto &p : pending) {
        const auto c = static_cast<std::size_t>(p.column);
        cells_.push_back({p.program, p.column, QRect(columnLeft_[c], tops[c], widths[c], p.size.height())});
        tops[c] += p.size.height();
    }
    size_ = QSize(left, *std::max_element(tops.begin(), tops.end()));
}

QSize InstrumentGrid::sizeHint() const
{
    EnsureLayout();
    return size_;
}

QRect InstrumentGrid::ItemRect(int program) const
{
    EnsureLayout();
    for (const auto &cell : cells_)
        if (cell.program == program)
            return cell.rect;
    return {};
}

int InstrumentGrid::ColumnOf(int program) const
{
    EnsureLayout();
    for (const auto &cell : cells_)
        if (cell.program == program)
            return cell.column;
    return -1;
}

std::vector<QRect> InstrumentGrid::SeparatorRects() const
{
    EnsureLayout();
    std::vector<QRect> rects;
    for (const auto &cell : cells_)
        if (cell.program < 0)
            rects.push_back(cell.rect);
    return rects;
}

int InstrumentGrid::ProgramAt(QPoint point) const
{
    EnsureLayout();
    for (const auto &cell : cells_)
        if (cell.program >= 0 && cell.rect.contains(point))
            return cell.program;
    return -1;
}

void InstrumentGrid::SetCurrent(int program)
{
    if (program < -1 || program >= static_cast<int>(InstrumentCount) || program == current_)
        return;
    current_ = program;
    update();
    // The item the arrow keys reach is read out as a menu's would be.
    if (program >= 0 && hasFocus()) {
        QAccessibleEvent event(items_[static_cast<std::size_t>(program)], QAccessible::Focus);
        Tell(event);
    }
}

void InstrumentGrid::paintEvent(QPaintEvent *)
{
    common::RunGuarded([this] { Paint(); });
}

void InstrumentGrid::Paint()
{
    EnsureLayout();
    QPainter painter(this);
    for (const auto &cell : cells_) {
        auto option = MenuItemOption(this, cell.program >= 0 ? items_[static_cast<std::size_t>(cell.program)]
                                                             : nullptr);
        option.rect = cell.rect;
        option.menuRect = rect();
        if (cell.program >= 0 && cell.program == current_)
            option.state |= QStyle::State_Selected;
        style()->drawControl(QStyle::CE_MenuItem, &option, &painter, this);
    }
    // A rule between the columns.
    painter.setPen(palette().color(QPalette::Mid));
    for (int c = 1; c < ColumnCount; ++c) {
        const int x = columnLeft_[static_cast<std::size_t>(c)] - ColumnRuleGap - 1;
        painter.drawLine(x, 0, x, height() - 1);
    }
}

void InstrumentGrid::mouseMoveEvent(QMouseEvent *event)
{
    common::RunGuarded([&] { SetCurrent(ProgramAt(event->position().toPoint())); });
}

void InstrumentGrid::mousePressEvent(QMouseEvent *event)
{
    // The press only points; the release chooses, as in a menu.
    event->accept();
}

void InstrumentGrid::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    common::RunGuarded([&] {
        const int program = ProgramAt(event->position().toPoint());
        if (program >= 0)
            Activate(program);
    });
}

void InstrumentGrid::leaveEvent(QEvent *)
{
    common::RunGuarded([this] { SetCurrent(-1); });
}

void InstrumentGrid::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        common::RunGuarded([this] {
            // Not laid out yet, it will be with the new font when first needed.
            if (!laidOut_)
                return;
            Layout();
            updateGeometry();
            update();
        });
}

void InstrumentGrid::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (current_ >= 0)
            common::RunGuarded([this] { Activate(current_); });
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
        common::RunGuarded([&] { Move(key); });
        return;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int column = current_ >= 0 ? ColumnOf(current_) : 0;
        const bool outside = key == Qt::Key_Left ? column == 0 : column == ColumnCount - 1;
        if (outside) {
            // Left of the first column closes the submenu, as in any menu.
            event->ignore();
            return;
        }
        common::RunGuarded([&] { Move(key); });
        return;
    }
    default:
        event->ignore(); // Esc and the rest: the menu's own handling
    }
}

void InstrumentGrid::Move(int key)
{
    if (current_ < 0) {
        SetCurrent(group_->checkedAction() ? group_->checkedAction()->data().toInt() : 0);
        return;
    }
    const int column = ColumnOf(current_);
    std::vector<int> inColumn;
    for (const auto &cell : cells_)
        if (cell.program >= 0 && cell.column == column)
            inColumn.push_back(cell.program);
    const auto at = std::find(inColumn.begin(), inColumn.end(), current_) - inColumn.begin();
    const auto count = static_cast<std::ptrdiff_t>(inColumn.size());
    switch (key) {
    case Qt::Key_Up:
        SetCurrent(inColumn[static_cast<std::size_t>((at + count - 1) % count)]);
        return;
    case Qt::Key_Down:
        SetCurrent(inColumn[static_cast<std::size_t>((at + 1) % count)]);
        return;
    case Qt::Key_Home:
        SetCurrent(inColumn.front());
        return;
    case Qt::Key_End:
        SetCurrent(inColumn.back());
        return;
    default:
        break;
    }
    // Left and right: the item of the neighbouring column at the same height.
    const int target = column + (key == Qt::Key_Left ? -1 : 1);
    const int y = ItemRect(current_).center().y();
    int best = -1;
    int bestDistance = 0;
    for (const auto &cell : cells_) {
        if (cell.program < 0 || cell.column != target)
            continue;
        const int distance = std::abs(cell.rect.center().y() - y);
        if (best < 0 || distance < bestDistance) {
            best = cell.program;
            bestDistance = distance;
        }
    }
    SetCurrent(best);
}

void InstrumentGrid::Activate(int program)
{
    // The menus close before the item's action runs, so that a message it
    // shows does not sit under an open menu.
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    emit Activated(program);
}

InstrumentMenu::InstrumentMenu(QWidget *parent)
    : QMenu(tr("Instrument"), parent), grid_(new InstrumentGrid(this)),
      gridAction_(new QWidgetAction(this))
{
    setObjectName(QStringLiteral("InstrumentMenu"));
    gridAction_->setDefaultWidget(grid_);
    addAction(gridAction_);
    // Choosing in the grid is a click on the item; so is a trigger from elsewhere.
    common::GuardedConnect(grid_, &InstrumentGrid::Activated, this, [this](int program) {
        if (QAction *item = Item(program))
            item->trigger();
    });
    common::GuardedConnect(grid_->Group(), &QActionGroup::triggered, this,
                           [this](QAction *item) { emit ItemClicked(item->data().toInt()); });
    // Opened, the menu points at the checked item and takes the arrow keys.
    common::GuardedConnect(this, &QMenu::aboutToShow, this, [this] {
        grid_->SetCurrent(CheckedProgram());
        grid_->setFocus(Qt::PopupFocusReason);
    });
}

int InstrumentMenu::CheckedProgram() const
{
    const QAction *checked = grid_->Group()->checkedAction();
    return checked ? checked->data().toInt() : -1;
}

} // namespace app
