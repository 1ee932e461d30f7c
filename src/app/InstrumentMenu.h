#pragma once
// The instrument submenu: the 128 programs of InstrumentTable.h as one
// exclusive group of checkable actions, shown in four columns. QMenu cannot
// break its items into columns, so the menu holds a single widget action
// whose grid draws the items as menu items and takes the mouse and the
// arrow keys. Keys the grid leaves alone (Esc, Left in the first column)
// go on to the menu, which closes as any submenu does.

#include <QMenu>
#include <QRect>
#include <QWidget>

#include <array>
#include <vector>

class QActionGroup;
class QWidgetAction;

namespace app {

class InstrumentGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int ColumnCount = 4;

    explicit InstrumentGrid(QWidget *parent = nullptr);

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

    // The cells are laid out when first needed (shown, measured or asked
    // about), not at start-up: measuring 128 items is a good part of the
    // window's start.
    void Layout() const;
    void EnsureLayout() const
    {
        if (!laidOut_)
            Layout();
    }
    void Paint();
    void Move(int key);
    void Activate(int program);
    int ProgramAt(QPoint point) const;

    QActionGroup *group_;
    std::vector<QAction *> items_;
    mutable std::vector<Cell> cells_;
    mutable std::array<int, ColumnCount> columnLeft_{};
    mutable QSize size_;
    mutable bool laidOut_ = false;
    int current_ = -1;
};

class InstrumentMenu : public QMenu {
    Q_OBJECT
public:
    explicit InstrumentMenu(QWidget *parent = nullptr);

    InstrumentGrid *Grid() const { return grid_; }
    QAction *Item(int program) const { return grid_->Item(program); }
    // The program of the checked item.
    int CheckedProgram() const;

signals:
    // An item was clicked (or chosen with the keyboard); it is checked.
    void ItemClicked(int program);

private:
    InstrumentGrid *grid_;
    QWidgetAction *gridAction_;
};

} // namespace app
