#pragma once
// The info dialog, created hidden at start and shown modally on demand.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace app {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 377;
    static constexpr int ClientHeight = 275;
    static constexpr int FontPixelSize = 14;

    explicit TAboutBox(QWidget *parent = nullptr);

    QFrame *Panel1 = nullptr;
    QLabel *ProgramIcon = nullptr;
    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QLabel *Copyright = nullptr;
    QLabel *Comments = nullptr;
    QLabel *Credits = nullptr;
    QPushButton *OKButton = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace app
