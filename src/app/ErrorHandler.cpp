#include "app/ErrorHandler.h"

#include "common/Guard.h"
#include "common/Language.h"

#include <QMessageBox>

#include <new>

#include <deque>
#include <utility>

namespace app {

namespace {

void showMessageBox(const ErrorHandler::Message &message)
{
    if (message.icon == MessageIcon::Warning)
        QMessageBox::warning(message.owner, message.caption, message.text);
    else
        QMessageBox::critical(message.owner, message.caption, message.text);
}

bool sameMessage(const ErrorHandler::Message &a, const ErrorHandler::Message &b)
{
    return a.caption == b.caption && a.text == b.text && a.icon == b.icon;
}

// The program's message loop runs on one thread, so this needs no lock.
struct PresenterState {
    ErrorHandler::MessagePresenter presenter = showMessageBox;
    bool presenting = false;
    ErrorHandler::Message showing;
    std::deque<ErrorHandler::Message> waiting;
};

PresenterState &state()
{
    static PresenterState instance;
    return instance;
}

} // namespace

QString WithFullStop(const QString &message)
{
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

void ErrorHandler::SetPresenter(Presenter presenter)
{
    state().presenter = [presenter = std::move(presenter)](const Message &message) {
        presenter(message.caption, message.text);
    };
}

void ErrorHandler::SetPresenter(MessagePresenter presenter)
{
    state().presenter = std::move(presenter);
}

void ErrorHandler::ResetPresenter()
{
    state().presenter = showMessageBox;
}

void ErrorHandler::HandleCurrentException()
{
    try {
        throw;
    } catch (const std::bad_alloc &) {
        ShowError(common::TranslatedMessage(common::OutOfMemoryText));
    } catch (const std::exception &error) {
        ShowError(common::TranslatedMessage(error.what()));
    } catch (...) {
        ShowError(QCoreApplication::translate("ErrorHandler", kUnknownErrorText));
    }
}

void ErrorHandler::ShowError(const QString &message)
{
    Present({QString::fromUtf8(kApplicationTitle), WithFullStop(message), MessageIcon::Error, nullptr});
}

void ErrorHandler::ShowDetectedError(const QString &text, MessageIcon icon, QWidget *owner)
{
    Present({QString::fromUtf8(kApplicationTitle), text, icon, owner});
}

void ErrorHandler::Present(const Message &message)
{
    auto &s = state();
    if (s.presenting) {
        // A modal box keeps the timers running; an error they raise must not
        // open a second box on top of this one.
        if (sameMessage(message, s.showing))
            return;
        for (const auto &waiting : s.waiting) {
            if (sameMessage(message, waiting))
                return;
        }
        s.waiting.push_back(message);
        return;
    }

    struct Reset {
        PresenterState &s;
        ~Reset()
        {
            s.presenting = false;
            s.waiting.clear();
        }
    } reset{s};
    s.presenting = true;
    // A copy, so that a presenter replaced while its box is open stays alive.
    const auto presenter = s.presenter;
    s.showing = message;
    presenter(s.showing);
    while (!s.waiting.empty()) {
        s.showing = s.waiting.front();
        s.waiting.pop_front();
        presenter(s.showing);
    }
}

SonoretApplication::SonoretApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(kApplicationTitle));
    common::SetErrorSink(&ErrorHandler::HandleCurrentException);
    common::InstallChosenLanguage();
}

bool SonoretApplication::notify(QObject *receiver, QEvent *event)
{
    // Handlers catch at their own boundary; an exception arriving here has
    // already unwound through Qt's frames. Still show it rather than end.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ++unguardedExceptions_;
        ErrorHandler::HandleCurrentException();
        return false;
    }
}

} // namespace app
