#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("MIDI Sonoret");
    QMainWindow window;
    window.setWindowTitle("MIDI Sonoret");
    window.show();
    return app.exec();
}
