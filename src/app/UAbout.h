#pragma once
// The info dialog, created hidden at start and shown modally on demand.

#include <QDialog>
#include <QString>

#include <optional>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

namespace app {

// The credits line: the libraries, and the SoundFont the built-in
// synthesizer loads (by its file's name), or that there is none.
QString CreditsText(const std::optional<std::string> &soundFont);

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
