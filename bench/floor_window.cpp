// The floor of the start-up benchmark: a bare Qt window with one label, as
// little as a Qt program can map. Titled as the program, so that the
// benchmark finds it the same way.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("MIDI Sonoret"));
    window.setCentralWidget(new QLabel(QStringLiteral("MIDI Sonoret"), &window));
    window.show();
    return application.exec();
}
