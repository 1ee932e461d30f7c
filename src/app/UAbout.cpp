#include "app/UAbout.h"

namespace app {

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Info"));
    setAttribute(Qt::WA_QuitOnClose, false);
}

} // namespace app
