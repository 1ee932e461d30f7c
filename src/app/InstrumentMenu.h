#pragma once
// The instrument submenu: the 128 programs of InstrumentTable.h as one
// exclusive group of checkable actions, shown in four columns. QMenu cannot
// break its items into columns, so the menu holds a single widget action
// whose grid draws the items as menu items and takes the mouse and the
// arrow keys. Keys the grid leaves alone (Esc, Left in the first column)
// go on to the menu, which closes as any submenu does.
// Where the four columns do not fit the screen, the items flow into as many
// columns as fit, narrowed down to a readable width; where even that is too
// tall, the grid scrolls.

#include <QMenu>
#include <QRect>
#include <QWidget>

#include <optional>
#include <vector>

class QActionGroup;
class QScrollArea;
class QWidgetAction;

namespace app {

class InstrumentGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int ColumnCount = 4;

    explicit InstrumentGrid(QWidget *parent = nullptr);

    // Lays the items out for at most this size; a wider scroll bar's width
    // is kept free when the grid has to scroll. An empty size: no bound.
    void FitInto(QSize available, int scrollBarWidth);
    // Whether the laid-out grid is taller than the size it was fitted into.
    bool Scrolls() const;
    int Columns() const;

    // The item of a program, or none outside 0..127.
    QAction *Item(int program) const;
    QActionGroup *Group() const { return group_; }

    // The item the keyboard and the mouse point at; -1 when none.
    int Current() const { return current_; }
    void SetCurrent(int program);
    // Chooses a program as a click on its item does (a screen reader's press).
    void Choose(int program) { Activate(program); }
    // Where a program's item is drawn, in the grid's coordinates.
    QRect ItemRect(int program) const;
    int ColumnOf(int program) const;
    // Separator rows, in order.
    std::vector<QRect> SeparatorRects() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // An item was chosen with the mouse or the keyboard.
    void Activated(int program);
    // The item pointed at changed.
    void CurrentChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Cell {
        int program; // -1: a separator
        int column;
        QRect rect;
    };
    struct Natural {
        int program;
        int column; // in the four columns of the table
        QSize size;
    };

    // The cells are laid out when first needed (shown, measured or asked
    // about), not at start-up: measuring 128 items is a good part of the
    // window's start.
    void Layout() const;
    std::vector<Natural> Measure() const;
    // The cells in the table's own columns; false when they do not fit.
    bool LayOutTable(const std::vector<Natural> &items) const;
    // The cells flowed into columns of this width, each at most this tall.
    void LayOutFlow(const std::vector<Natural> &items, int width, int height) const;
    void EnsureLayout() const
    {
        if (!laidOut_)
            Layout();
    }
    void Paint();
    void Point(int program, bool show);
    void Move(int key);
    void Activate(int program);
    int ProgramAt(QPoint point) const;

    QActionGroup *group_;
    std::vector<QAction *> items_;
    mutable std::vector<Cell> cells_;
    mutable std::vector<int> columnLeft_;
    mutable QSize size_;
    mutable int textPadding_ = 0; // an item's width beyond its text
    mutable bool laidOut_ = false;
    QSize available_;
    int scrollBarWidth_ = 0;
    int current_ = -1;
    QPoint lastPointer_{-1, -1};
};

class InstrumentMenu : public QMenu {
    Q_OBJECT
public:
    explicit InstrumentMenu(QWidget *parent = nullptr);

    InstrumentGrid *Grid() const { return grid_; }
    QAction *Item(int program) const { return grid_->Item(program); }
    // The program of the checked item.
    int CheckedProgram() const;
    // Sizes the menu to fit this part of a screen (logical pixels).
    void FitInto(const QRect &available);
    // The part of the screen the menu fits into when it opens; none: the
    // available area of the window's screen.
    void SetScreenArea(std::optional<QRect> area) { screenArea_ = area; }
    QScrollArea *Scroller() const { return scroller_; }

signals:
    // An item was clicked (or chosen with the keyboard); it is checked.
    void ItemClicked(int program);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ShowCurrent();

    InstrumentGrid *grid_;
    QScrollArea *scroller_;
    QWidgetAction *gridAction_;
    std::optional<QRect> screenArea_;
};

} // namespace app
