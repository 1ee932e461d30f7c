#include "app/ErrorHandler.h"
#include "common/Guard.h"
#include "common/GuardedConnect.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using app::ErrorHandler;
using app::MessageIcon;
using app::WithFullStop;

namespace {

const QEvent::Type kThrowEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kPlainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// An event that makes its receiver's handler raise the given text.
class ThrowEvent : public QEvent {
public:
    explicit ThrowEvent(std::string text)
        : QEvent(kThrowEvent)
        , text(std::move(text))
    {
    }
    std::string text;
};

class Receiver : public QObject {
public:
    int plainEvents = 0;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == kThrowEvent)
            throw std::runtime_error(static_cast<ThrowEvent *>(event)->text);
        if (event->type() == kPlainEvent) {
            ++plainEvents;
            return true;
        }
        return QObject::event(event);
    }
};

// Replaces the message boxes with a list of what would have been shown.
class ErrorHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ErrorHandler::SetPresenter([this](const ErrorHandler::Message &message) {
            shown.push_back(message);
            if (onShow)
                onShow(message);
        });
    }
    void TearDown() override { ErrorHandler::ResetPresenter(); }

    std::vector<QString> texts() const
    {
        std::vector<QString> result;
        for (const auto &message : shown)
            result.push_back(message.text);
        return result;
    }

    std::vector<ErrorHandler::Message> shown;
    std::function<void(const ErrorHandler::Message &)> onShow;
    Receiver receiver;
};

} // namespace

TEST(FullStopTest, AppendedOnlyWhenTheLastCharacterSortsAfterTheFullStop)
{
    EXPECT_EQ(WithFullStop("abc"), "abc.");
    EXPECT_EQ(WithFullStop("abc."), "abc.");
    EXPECT_EQ(WithFullStop("abc!"), "abc!");
    EXPECT_EQ(WithFullStop("Fehler (3)"), "Fehler (3)");
    EXPECT_EQ(WithFullStop("C:/Pfad/"), "C:/Pfad/.");
    EXPECT_EQ(WithFullStop("Wert 5"), "Wert 5.");
    EXPECT_EQ(WithFullStop(QString::fromUtf8("Gerät nicht bereit ä")), QString::fromUtf8("Gerät nicht bereit ä."));
    EXPECT_EQ(WithFullStop(""), "");
}

TEST_F(ErrorHandlerTest, ShowErrorUsesTheApplicationTitleAndTheErrorIcon)
{
    ErrorHandler::ShowError("Invalid device ID");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "MIDI Sonoret");
    EXPECT_EQ(shown[0].text, "Invalid device ID.");
    EXPECT_EQ(shown[0].icon, MessageIcon::Error);
}

TEST_F(ErrorHandlerTest, DetectedErrorsBearTheSameCaptionWithTheirTextAsGiven)
{
    ErrorHandler::ShowDetectedError(QString::fromUtf8("Sie haben keine MIDI-Geräte installiert."));
    ErrorHandler::ShowDetectedError("Das Dateiformat .TXT wird nicht unterstützt", MessageIcon::Warning);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "MIDI Sonoret");
    EXPECT_EQ(shown[0].text, QString::fromUtf8("Sie haben keine MIDI-Geräte installiert."));
    EXPECT_EQ(shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(shown[1].text, "Das Dateiformat .TXT wird nicht unterstützt") << "no full stop added";
    EXPECT_EQ(shown[1].icon, MessageIcon::Warning);
}

TEST_F(ErrorHandlerTest, CaptionAndTextPresenterReceivesBothKinds)
{
    std::vector<std::pair<QString, QString>> captured;
    ErrorHandler::SetPresenter([&](const QString &caption, const QString &text) { captured.emplace_back(caption, text); });
    ErrorHandler::ShowError("a");
    ErrorHandler::ShowDetectedError("b");
    ASSERT_EQ(captured.size(), 2u);
    EXPECT_EQ(captured[0], std::make_pair(QString("MIDI Sonoret"), QString("a.")));
    EXPECT_EQ(captured[1], std::make_pair(QString("MIDI Sonoret"), QString("b")));
}

TEST_F(ErrorHandlerTest, ExceptionTextsAreUtf8AndUnknownExceptionsGetAGermanText)
{
    try {
        throw std::runtime_error("Gerät belegt");
    } catch (...) {
        ErrorHandler::HandleCurrentException();
    }
    try {
        throw 42;
    } catch (...) {
        ErrorHandler::HandleCurrentException();
    }
    EXPECT_EQ(texts(), (std::vector<QString>{QString::fromUtf8("Gerät belegt."),
                                             QString::fromUtf8(app::kUnknownErrorText) + "."}));
}

TEST_F(ErrorHandlerTest, RunningOutOfMemoryIsShownInGerman)
{
    common::RunGuarded([] { throw std::bad_alloc(); });
    EXPECT_EQ(texts(), std::vector<QString>{QString::fromUtf8(common::OutOfMemoryText) + "."});
}

TEST_F(ErrorHandlerTest, GuardsHandTheirErrorsToTheErrorHandler)
{
    const unsigned long before = common::HandledErrorCount();
    EXPECT_TRUE(common::RunGuarded([] {}));
    EXPECT_FALSE(common::RunGuarded([] { throw std::runtime_error("In x.ini kann nicht geschrieben werden"); }));
    EXPECT_EQ(texts(), std::vector<QString>{"In x.ini kann nicht geschrieben werden."});
    EXPECT_EQ(common::HandledErrorCount(), before + 1);
}

TEST_F(ErrorHandlerTest, ExceptionFromAnEventHandlerIsShownOnceAndTheProgramGoesOn)
{
    ASSERT_NE(dynamic_cast<app::SonoretApplication *>(QCoreApplication::instance()), nullptr);

    ThrowEvent sent("Invalid device ID");
    EXPECT_FALSE(QCoreApplication::sendEvent(&receiver, &sent));
    EXPECT_EQ(texts(), std::vector<QString>{"Invalid device ID."});
    EXPECT_EQ(shown[0].caption, "MIDI Sonoret");

    QCoreApplication::postEvent(&receiver, new ThrowEvent("Device busy"));
    QCoreApplication::postEvent(&receiver, new QEvent(kPlainEvent));
    QCoreApplication::processEvents();
    EXPECT_EQ(texts(), (std::vector<QString>{"Invalid device ID.", "Device busy."}));
    EXPECT_EQ(receiver.plainEvents, 1) << "events after the failing one are still delivered";
}

TEST_F(ErrorHandlerTest, ExceptionFromAGuardedTimerSlotIsShownWithoutReachingNotify)
{
    const int unguardedBefore = app::SonoretApplication::UnguardedExceptionCount();
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(0);
    int fired = 0;
    common::GuardedConnect(&timer, &QTimer::timeout, &timer, [&] {
        ++fired;
        throw std::runtime_error("Not enough memory");
    });
    timer.start();
    for (int i = 0; i < 1000 && fired == 0; ++i)
        QCoreApplication::processEvents();
    ASSERT_EQ(fired, 1);
    EXPECT_EQ(texts(), std::vector<QString>{"Not enough memory."});
    EXPECT_EQ(app::SonoretApplication::UnguardedExceptionCount(), unguardedBefore);
}

TEST_F(ErrorHandlerTest, GuardedSlotsTakeAsManyOfTheSignalsArgumentsAsTheyName)
{
    QTimer timer;
    std::vector<int> seen;
    struct Target : QObject {
        std::vector<int> *seen;
        void Flag() { seen->push_back(-1); }
    } target;
    target.seen = &seen;
    QObject sender;
    // objectNameChanged carries a QString; a handler taking nothing is called too.
    common::GuardedConnect(&sender, &QObject::objectNameChanged, &target, &Target::Flag);
    common::GuardedConnect(&sender, &QObject::objectNameChanged, &target,
                           [&](const QString &name) { seen.push_back(int(name.size())); });
    common::GuardedConnect(&timer, &QTimer::timeout, &target,
                           [](auto &&...) { throw std::runtime_error("Device busy"); });
    sender.setObjectName(QStringLiteral("abc"));
    QMetaObject::invokeMethod(&timer, "timeout", Qt::DirectConnection);
    EXPECT_EQ(seen, (std::vector<int>{-1, 3}));
    EXPECT_EQ(texts(), std::vector<QString>{"Device busy."});
}

TEST_F(ErrorHandlerTest, ErrorsWhileABoxIsOpenDoNotStackAnotherBox)
{
    // The presenter plays a modal box: it runs the event loop while open, and
    // meanwhile handlers fail again, as a running timer would.
    int depth = 0;
    int deepest = 0;
    bool first = true;
    onShow = [&](const ErrorHandler::Message &) {
        ++depth;
        deepest = std::max(deepest, depth);
        if (first) {
            first = false;
            QCoreApplication::postEvent(&receiver, new ThrowEvent("Device busy"));
            QCoreApplication::postEvent(&receiver, new ThrowEvent("Invalid device ID"));
            QCoreApplication::postEvent(&receiver, new ThrowEvent("Invalid device ID"));
            QCoreApplication::postEvent(&receiver, new QEvent(kPlainEvent));
            QCoreApplication::processEvents();
            EXPECT_EQ(receiver.plainEvents, 1) << "the loop under the box keeps running";
            EXPECT_EQ(shown.size(), 1u) << "no second box while the first is open";
        }
        --depth;
    };

    ThrowEvent sent("Device busy");
    QCoreApplication::sendEvent(&receiver, &sent);

    EXPECT_EQ(deepest, 1);
    // The copy of the open box's text is dropped; the other follows once.
    EXPECT_EQ(texts(), (std::vector<QString>{"Device busy.", "Invalid device ID."}));

    ThrowEvent later("Device busy");
    QCoreApplication::sendEvent(&receiver, &later);
    EXPECT_EQ(texts().back(), "Device busy.") << "after the boxes close, errors show again";
    EXPECT_EQ(shown.size(), 3u);
}

TEST_F(ErrorHandlerTest, APresenterThatFailsDoesNotBlockLaterMessages)
{
    onShow = [](const ErrorHandler::Message &) { throw std::runtime_error("box failed"); };
    EXPECT_THROW(ErrorHandler::ShowError("first"), std::runtime_error);
    onShow = nullptr;
    ErrorHandler::ShowError("second");
    EXPECT_EQ(texts(), (std::vector<QString>{"first.", "second."}));
}

TEST_F(ErrorHandlerTest, RealBoxesAreModalOneAtATime)
{
    ErrorHandler::ResetPresenter();
    struct Seen {
        QString caption;
        QString text;
        QMessageBox::Icon icon;
    };
    std::vector<Seen> seen;
    int openBoxes = 0;

    // Runs inside the modal loop of each box: notes what the box shows,
    // fails once more while the first box is open, and closes it.
    QTimer closer;
    closer.setInterval(0);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        openBoxes = 0;
        for (auto *widget : QApplication::topLevelWidgets())
            openBoxes += qobject_cast<QMessageBox *>(widget) && widget->isVisible() ? 1 : 0;
        EXPECT_EQ(openBoxes, 1);
        seen.push_back({box->windowTitle(), box->text(), box->icon()});
        if (seen.size() == 1) {
            ThrowEvent again("Device busy");
            QCoreApplication::sendEvent(&receiver, &again);
            EXPECT_EQ(QApplication::activeModalWidget(), box) << "no box stacked on the open one";
        }
        box->accept();
    });
    closer.start();

    ThrowEvent sent("Invalid device ID");
    QCoreApplication::sendEvent(&receiver, &sent);
    ErrorHandler::ShowDetectedError("Das Dateiformat .TXT wird nicht unterstützt.", MessageIcon::Warning);
    closer.stop();

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].caption, "MIDI Sonoret");
    EXPECT_EQ(seen[0].text, "Invalid device ID.");
    EXPECT_EQ(seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(seen[1].text, "Device busy.");
    EXPECT_EQ(seen[2].caption, "MIDI Sonoret");
    EXPECT_EQ(seen[2].icon, QMessageBox::Warning);
}
