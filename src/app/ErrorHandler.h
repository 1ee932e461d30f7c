#pragma once
// The main loop's error handler: every exception that leaves an event handler
// is shown in a message box captioned "MIDI Sonoret" with the error icon, and
// the program goes on. At most one box is open at a time.

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

namespace app {

// Appends "." when the text's last character sorts after "." in character order.
QString WithFullStop(const QString &message);

class ErrorHandler {
public:
    // Shows one error; tests replace it to capture the texts instead.
    using Presenter = std::function<void(const QString &caption, const QString &text)>;

    static void SetPresenter(Presenter presenter);
    static void ResetPresenter();

    // Shows the message of the exception in flight (call from a catch block).
    static void HandleCurrentException();
    static void ShowError(const QString &message);
};

// The application object: its notify() is where exceptions from handlers end.
class SonoretApplication : public QApplication {
public:
    SonoretApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace app
