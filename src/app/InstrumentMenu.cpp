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
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
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

void InstrumentGrid::FitInto(QSize available, int scrollBarWidth)
{
    if (available == available_ && scrollBarWidth == scrollBarWidth_ && laidOut_)
        return;
    available_ = available;
    scrollBarWidth_ = scrollBarWidth;
    Layout();
    updateGeometry();
    update();
}

bool InstrumentGrid::Scrolls() const
{
    EnsureLayout();
    return !available_.isEmpty() && size_.height() > available_.height();
}

int InstrumentGrid::Columns() const
{
    EnsureLayout();
    return static_cast<int>(columnLeft_.size());
}

std::vector<InstrumentGrid::Natural> InstrumentGrid::Measure() const
{
    // Each item and separator at the size the style gives it in a menu.
    std::vector<Natural> items;
    int column = 0;
    for (std::size_t program = 0; program < InstrumentCount; ++program) {
        const auto before = Instruments[program].before;
        if (before == InstrumentEntry::Break::Column)
            ++column;
        if (before == InstrumentEntry::Break::Separator) {
            const auto option = MenuItemOption(this, nullptr);
            items.push_back({-1, column, style()->sizeFromContents(QStyle::CT_MenuItem, &option, QSize(0, 0), this)});
        }
        const auto option = MenuItemOption(this, items_[program]);
        const int advance = fontMetrics().horizontalAdvance(items_[program]->text());
        const QSize size = style()->sizeFromContents(QStyle::CT_MenuItem, &option,
                                                     QSize(advance, fontMetrics().height()), this);
        textPadding_ = size.width() - advance;
        items.push_back({static_cast<int>(program), column, size});
    }
    return items;
}

void InstrumentGrid::Layout() const
{
    laidOut_ = true;
    const auto items = Measure();
    if (LayOutTable(items))
        return;
    // The table's columns do not fit: as many columns as fit side by side,
    // none narrower than a readable part of the longest name; the columns
    // then share the height, which scrolls when it is still too tall.
    int widest = 0;
    int tallest = 0;
    for (const auto &item : items) {
        widest = std::max(widest, item.size.width());
        tallest = std::max(tallest, item.size.height());
    }
    const int rule = 2 * ColumnRuleGap + 1;
    const int readable = std::min(widest, textPadding_ + fontMetrics().averageCharWidth() * 18);
    const int room = std::max(available_.width(), 1);
    // Without scrolling first: the fewest columns that hold everything.
    for (int columns = 1; columns * readable + (columns - 1) * rule <= room; ++columns) {
        const int width = std::min(widest, (room - (columns - 1) * rule) / columns);
        LayOutFlow(items, width, available_.height());
        if (static_cast<int>(columnLeft_.size()) <= columns)
            return;
    }
    const int scrollRoom = std::max(room - scrollBarWidth_, 1);
    const int columns = std::max(1, (scrollRoom + rule) / (readable + rule));
    const int width = std::min(widest, std::max((scrollRoom - (columns - 1) * rule) / columns, 1));
    int total = 0;
    for (const auto &item : items)
        total += item.size.height();
    // Columns of even height, grown a row at a time until the items fit.
    for (int height = total / columns;; height += tallest) {
        LayOutFlow(items, width, height);
        if (static_cast<int>(columnLeft_.size()) <= columns)
            return;
    }
}

bool InstrumentGrid::LayOutTable(const std::vector<Natural> &items) const
{
    // Each column is as wide as its widest item; the rows of a column follow
    // each other with the style's menu item heights.
    std::vector<int> widths(ColumnCount, 0);
    std::vector<int> tops(ColumnCount, 0);
    for (const auto &item : items) {
        auto &width = widths[static_cast<std::size_t>(item.column)];
        width = std::max(width, item.size.width());
    }
    columnLeft_.assign(ColumnCount, 0);
    int left = 0;
    for (std::size_t c = 0; c < ColumnCount; ++c) {
        columnLeft_[c] = left;
        left += widths[c] + (c + 1 < ColumnCount ? 2 * ColumnRuleGap + 1 : 0);
    }
    cells_.clear();
    for (const auto &item : items) {
        const auto c = static_cast<std::size_t>(item.column);
        cells_.push_back({item.program, item.column, QRect(columnLeft_[c], tops[c], widths[c], item.size.height())});
        tops[c] += item.size.height();
    }
    size_ = QSize(left, *std::max_element(tops.begin(), tops.end()));
    return available_.isEmpty() ||
           (size_.width() <= available_.width() && size_.height() <= available_.height());
}

void InstrumentGrid::LayOutFlow(const std::vector<Natural> &items, int width, int height) const
{
    cells_.clear();
    columnLeft_.assign(1, 0);
    int top = 0;
    int bottom = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto &item = items[i];
        // A separator goes with the item after it, and not to a column's top.
        const int needed = item.size.height() + (item.program < 0 ? items[i + 1].size.height() : 0);
        if (top > 0 && top + needed > height) {
            columnLeft_.push_back(columnLeft_.back() + width + 2 * ColumnRuleGap + 1);
            top = 0;
        }
        if (item.program < 0 && top == 0)
            continue;
        cells_.push_back({item.program, static_cast<int>(columnLeft_.size()) - 1,
                          QRect(columnLeft_.back(), top, width, item.size.height())});
        top += item.size.height();
        bottom = std::max(bottom, top);
    }
    size_ = QSize(columnLeft_.back() + width, bottom);
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

void InstrumentGrid::SetCurrent(int program) { Point(program, true); }

void InstrumentGrid::Point(int program, bool show)
{
    if (program < -1 || program >= static_cast<int>(InstrumentCount) || program == current_)
        return;
    current_ = program;
    update();
    // The mouse points at what is in view already: scrolling under it would
    // move another item under the pointer.
    if (show)
        emit CurrentChanged();
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
        // A column narrowed to the screen shows the start of a long name.
        option.text = fontMetrics().elidedText(option.text, Qt::ElideRight, cell.rect.width() - textPadding_);
        if (cell.program >= 0 && cell.program == current_)
            option.state |= QStyle::State_Selected;
        style()->drawControl(QStyle::CE_MenuItem, &option, &painter, this);
    }
    // A rule between the columns.
    painter.setPen(palette().color(QPalette::Mid));
    for (std::size_t c = 1; c < columnLeft_.size(); ++c) {
        const int x = columnLeft_[c] - ColumnRuleGap - 1;
        painter.drawLine(x, 0, x, height() - 1);
    }
}

void InstrumentGrid::mouseMoveEvent(QMouseEvent *event)
{
    common::RunGuarded([&] {
        // A pointer that stays where it is while the keys scroll the grid
        // under it does not take the item back from the keys.
        const QPoint global = event->globalPosition().toPoint();
        if (global == lastPointer_)
            return;
        lastPointer_ = global;
        Point(ProgramAt(event->position().toPoint()), false);
    });
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
    common::RunGuarded([this] { Point(-1, false); });
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
        const bool outside = key == Qt::Key_Left ? column == 0 : column == Columns() - 1;
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

namespace {

// The grid's frame when it must scroll. The keys the grid leaves alone go on
// to the menu: the scroll area's own use of the arrow keys would keep Left
// in the first column from closing the submenu.
class GridScroller : public QScrollArea {
public:
    explicit GridScroller(QWidget *parent) : QScrollArea(parent)
    {
        setObjectName(QStringLiteral("InstrumentScroller"));
        setFrameShape(QFrame::NoFrame);
        setFocusPolicy(Qt::NoFocus);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setBackgroundRole(QPalette::Window);
        viewport()->setAutoFillBackground(false);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override { event->ignore(); }
};

} // namespace

InstrumentMenu::InstrumentMenu(QWidget *parent)
    : QMenu(tr("Instrument"), parent), grid_(new InstrumentGrid), scroller_(new GridScroller(this)),
      gridAction_(new QWidgetAction(this))
{
    setObjectName(QStringLiteral("InstrumentMenu"));
    scroller_->setWidget(grid_);
    gridAction_->setDefaultWidget(scroller_);
    addAction(gridAction_);
    // Choosing in the grid is a click on the item; so is a trigger from elsewhere.
    common::GuardedConnect(grid_, &InstrumentGrid::Activated, this, [this](int program) {
        if (QAction *item = Item(program))
            item->trigger();
    });
    common::GuardedConnect(grid_->Group(), &QActionGroup::triggered, this,
                           [this](QAction *item) { emit ItemClicked(item->data().toInt()); });
    // The item the keyboard or a screen reader moves to is scrolled into view.
    common::GuardedConnect(grid_, &InstrumentGrid::CurrentChanged, this, [this] { ShowCurrent(); });
    // Opened, the menu fits its screen, points at the checked item and takes
    // the arrow keys.
    common::GuardedConnect(this, &QMenu::aboutToShow, this, [this] {
        if (screenArea_) {
            FitInto(*screenArea_);
        } else {
            const QWidget *anchor = parentWidget() ? parentWidget()->window() : this;
            if (const QScreen *screen = anchor->screen())
                FitInto(screen->availableGeometry());
        }
        grid_->SetCurrent(CheckedProgram());
        grid_->setFocus(Qt::PopupFocusReason);
    });
}

void InstrumentMenu::showEvent(QShowEvent *event)
{
    QMenu::showEvent(event);
    // Only now is the scroll area laid out at its size.
    common::RunGuarded([this] { ShowCurrent(); });
}

void InstrumentMenu::FitInto(const QRect &available)
{
    // What the menu's frame and margins take around its one item.
    const int panel = style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, this);
    const QMargins margins = contentsMargins();
    const int width = available.width() - 2 * (panel + style()->pixelMetric(QStyle::PM_MenuHMargin, nullptr, this)) -
                      margins.left() - margins.right();
    const int height = available.height() - 2 * (panel + style()->pixelMetric(QStyle::PM_MenuVMargin, nullptr, this)) -
                       margins.top() - margins.bottom();
    const int bar = scroller_->verticalScrollBar()->sizeHint().width();
    grid_->FitInto(QSize(std::max(width, 1), std::max(height, 1)), bar);
    const QSize grid = grid_->sizeHint();
    grid_->resize(grid);
    scroller_->setFixedSize(grid_->Scrolls() ? QSize(grid.width() + bar, height) : grid);
}

void InstrumentMenu::ShowCurrent()
{
    const QRect item = grid_->ItemRect(grid_->Current());
    if (item.isValid())
        scroller_->ensureVisible(item.center().x(), item.center().y(), item.width() / 2 + 1, item.height() / 2 + 1);
}

int InstrumentMenu::CheckedProgram() const
{
    const QAction *checked = grid_->Group()->checkedAction();
    return checked ? checked->data().toInt() : -1;
}

} // namespace app
