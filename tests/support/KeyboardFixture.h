#pragma once
// A main window with its key assignment window, fed with key events that
// carry native scan codes as X11 and Wayland deliver them (evdev code + 8).

#include "app/UStrings.h"
#include "performance/KeyMap.h"
#include "app/UTast.h"
#include "support/WindowFixture.h"
#include "support/WindowProbe.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>

#include <functional>
#include <memory>

namespace testing_support {

// evdev codes of some keys, with their Qt keys on a German layout.
struct PcKey {
    int evdev;
    Qt::Key qtKey;
};
inline constexpr PcKey KeyA{30, Qt::Key_A};       // default: Key13, note 37
inline constexpr PcKey KeyQ{16, Qt::Key_Q};       // default: Key22, note 57
inline constexpr PcKey KeyGermanY{44, Qt::Key_Y}; // default: Key2, note 38
inline constexpr PcKey LeftShift{42, Qt::Key_Shift};
inline constexpr PcKey RightShift{54, Qt::Key_Shift}; // default: Key12, note 55

class KeyboardFixture : public WindowFixture {
protected:
    app::TForm1 &CreateWithAssignment()
    {
        Create();
        assignment = std::make_unique<app::TForm2>(*form);
        form->SetKeyAssignmentWindow(assignment.get());
        backend->ClearCalls();
        return *form;
    }

    void TearDown() override
    {
        assignment.reset();
        WindowFixture::TearDown();
    }

    static std::unique_ptr<QKeyEvent> MakeKey(QEvent::Type type, PcKey key, bool autoRepeat)
    {
        return std::make_unique<QKeyEvent>(type, key.qtKey, Qt::NoModifier,
                                           static_cast<quint32>(key.evdev + 8), 0u, 0u,
                                           QString(), autoRepeat);
    }

    // Delivered at once, as the platform delivers them to the focus widget.
    void Press(PcKey key, bool autoRepeat = false, QObject *to = nullptr)
    {
        auto event = MakeKey(QEvent::KeyPress, key, autoRepeat);
        QCoreApplication::sendEvent(to ? to : form.get(), event.get());
    }
    void Release(PcKey key, bool autoRepeat = false, QObject *to = nullptr)
    {
        auto event = MakeKey(QEvent::KeyRelease, key, autoRepeat);
        QCoreApplication::sendEvent(to ? to : form.get(), event.get());
    }
    void Poll() { Probe(*form).PollKeyboard(); }

    // Queued for the event loop, as the platform queues them.
    void Post(QEvent::Type type, PcKey key, bool autoRepeat = false)
    {
        QCoreApplication::postEvent(form.get(), MakeKey(type, key, autoRepeat).release());
    }

    // Runs the real event loop until everything posted so far has been
    // delivered and the loop is about to wait again (the idle poll has run
    // by then: it was connected first). False when that took over 5 s.
    bool RunUntilIdle()
    {
        QEventLoop loop;
        bool delivered = false;
        bool timedOut = false;
        QObject marker;
        QMetaObject::invokeMethod(&marker, [&] { delivered = true; }, Qt::QueuedConnection);
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                         &marker, [&] {
                             if (delivered)
                                 loop.quit();
                         });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        watchdog.start(5000);
        loop.exec();
        return !timedOut;
    }

    std::unique_ptr<app::TForm2> assignment;
};

} // namespace testing_support
