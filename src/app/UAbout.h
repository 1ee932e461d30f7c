#pragma once
// The info dialog, created hidden at start and shown modally on demand.

#include <QDialog>

namespace app {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
};

} // namespace app
