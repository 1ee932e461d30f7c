#pragma once
// The main loop's error handler: every exception that leaves an event handler
// is shown in a message box captioned "MIDI Sonoret" with the error icon, and
// the program goes on. Every message box of the program bears that caption.
// At most one box is open at a time.

#include "common/Messages.h"

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace app {

// Caption of every message box.
inline constexpr char kApplicationTitle[] = "MIDI Sonoret";
// Shown for an exception that carries no text of its own.
inline constexpr char kUnknownErrorText[] = QT_TRANSLATE_NOOP("ErrorHandler", "Ein unbekannter Fehler ist aufgetreten");

// Appends "." when the text's last character sorts after "." in character order.
QString WithFullStop(const QString &message);

enum class MessageIcon { Error, Warning };

class ErrorHandler {
public:
    struct Message {
        QString caption;
        QString text;
        MessageIcon icon = MessageIcon::Error;
        QWidget *owner = nullptr; // the box's parent; none: owned by the application
    };

    // Shows one error; tests replace it to capture the texts instead.
    using Presenter = std::function<void(const QString &caption, const QString &text)>;
    // As Presenter, with the icon and owner as well.
    using MessagePresenter = std::function<void(const Message &message)>;

    static void SetPresenter(Presenter presenter);
    static void SetPresenter(MessagePresenter presenter);
    // Back to real message boxes.
    static void ResetPresenter();

    // Shows the message of the exception in flight (call from a catch block).
    static void HandleCurrentException();
    // Shows a message as the main loop does: caption "MIDI Sonoret", error
    // icon, full stop appended by WithFullStop.
    static void ShowError(const QString &message);
    // Shows an error the program found itself: the text as given.
    static void ShowDetectedError(const QString &text, MessageIcon icon = MessageIcon::Error,
                                  QWidget *owner = nullptr);

    // While a box is open, further messages wait and are shown one after the
    // other once it closes; a message equal to the open or a waiting one is
    // dropped, so a failing timer does not pile up copies.
    static void Present(const Message &message);
};

// The application object. It makes the error handler the sink of the guards
// (common/Guard.h) that every handler of ours runs in. Its notify() is only
// the last resort for an exception that a handler let out by mistake.
class SonoretApplication : public QApplication {
public:
    SonoretApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    // Exceptions that got as far as notify(): each one is a handler missing
    // its guard.
    static int UnguardedExceptionCount() { return unguardedExceptions_; }

private:
    static inline int unguardedExceptions_ = 0;
};

} // namespace app
