#pragma once
// The key assignment window, created hidden at start and shown on demand.

#include <QWidget>

namespace performance {

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);
};

} // namespace performance
