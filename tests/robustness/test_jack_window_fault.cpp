// The JACK server killed or frozen under the main window while it plays a
// recording, the drums and a key into a port of the test's own, on the real
// system back end. No handler call may hang the window; a dead server's port
// fails the next send with a clear message, told once; and once a server runs again,
// choosing the device in the device menu makes its port play. Each test runs
// a server of its own under its own name.

#include "support/WindowFixture.h"
#include "support/BackendTestSupport.h"
#include "support/HangBound.h"

#include "app/DeviceMenu.h"
#include "midi_out/JackSupport.h"
#include "midi_out/SystemBackend.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QCheckBox>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

namespace {

using backend_test::Bytes;
using backend_test::JackReceiver;
using namespace std::chrono_literals;

const QString PortGone = QStringLiteral("The MIDI port is no longer available.");

class JackWindow : public testing_support::WindowFixture {
protected:
    void StartServer(const char *test)
    {
        const std::string name = backend_test::PrivateServerName(test);
        serverName = std::make_unique<backend_test::EnvGuard>("JACK_DEFAULT_SERVER", name);
        // Synchronous: a receiver starved of CPU still reads each cycle's
        // messages, which the window sends only once.
        jack = std::make_unique<backend_test::PrivateJackServer>(name,
                                                                 backend_test::PrivateJackServer::Mode::Synchronous);
        ASSERT_TRUE(jack->start()) << "jackd did not start";
        receiver = std::make_unique<JackReceiver>();
    }

    // The window playing into the test's port: a recording of a note on
    // every tick playing, the drums on.
    void StartPlaying()
    {
        WriteIni(QByteArray("[Device]\nName=") + receiver->portName().c_str() + "\n[Common]\nInstrument=5\n");
        form = std::make_unique<app::TForm1>(midi_out::CreateSystemBackend(), iniPath);
        const auto started = receiver->waitFor(1);
        ASSERT_FALSE(started.empty()) << "start-up selected no instrument on the port; shown: " << Shown();
        ASSERT_EQ(started.back(), (Bytes{0xC0, 5}));
        auto &stream = Probe(*form).RecordingStream();
        for (std::uint32_t tick = 0; tick < 400; ++tick)
            stream.WriteEvent({tick, 0x90, static_cast<std::uint8_t>(40 + tick % 40), 90});
        Control<QToolButton>("SpeedButton2")->click();
        Control<QCheckBox>("CheckBox1")->setChecked(true);
        ASSERT_TRUE(messages.empty()) << Shown();
        receiver->clear();
        Clock();
        Drum();
        Key();
        EXPECT_TRUE(AllArrive()) << "a note of the recording, a drum step, a key";
    }

    // The messages shown so far, for a failure's report.
    std::string Shown() const
    {
        std::string texts;
        for (const auto &message : messages)
            texts += "\"" + message.text.toStdString() + "\" ";
        return texts;
    }

    // Waits until a note of the recording, a drum hit and the key's note on
    // and off have all arrived at the test's port.
    bool AllArrive()
    {
        const std::function<bool(const Bytes &)> expected[] = {
            [](const Bytes &m) { return m.size() == 3 && m[0] == 0x90 && m[2] == 90; },
            [](const Bytes &m) { return m.size() == 3 && m[0] == 0x99; },
            [](const Bytes &m) { return m == Bytes{0x90, 60, 127}; },
            [](const Bytes &m) { return m == Bytes{0x80, 60, 0}; },
        };
        return backend_test::Eventually([&] {
            const auto received = receiver->waitFor(0);
            return std::all_of(std::begin(expected), std::end(expected), [&](const auto &match) {
                return std::any_of(received.begin(), received.end(), match);
            });
        });
    }

    // One handler call: none may hold the window while the server stays
    // frozen (the device layer gives each JACK call a bound of its own).
    void Handle(const std::function<void()> &handler)
    {
        const auto start = std::chrono::steady_clock::now();
        handler();
        EXPECT_LT(std::chrono::steady_clock::now() - start, testing_support::kHangBound);
    }
    void Clock() { Handle([this] { emit Control<recorder::SteadyTimer>("ClockTimer")->Timeout(); }); }
    void Drum() { Handle([this] { emit Control<recorder::SteadyTimer>("DrumTimer")->Timeout(); }); }
    // A click on a piano key: its note on and off.
    void Key()
    {
        Handle([this] { QTest::mousePress(Probe(*form).Key(24), Qt::LeftButton); });
        Handle([this] { QTest::mouseRelease(Probe(*form).Key(24), Qt::LeftButton); });
    }
    void Stop() { Handle([this] { Control<QToolButton>("SpeedButton3")->click(); }); }

    // Opens the device menu (which reads the devices anew) and chooses the
    // item named `name`; false when there is none.
    bool ChooseDevice(const std::string &name)
    {
        auto *menu = form->findChild<app::DeviceMenu *>(QStringLiteral("DeviceMenu"));
        Handle([menu] { emit menu->aboutToShow(); });
        for (QAction *item : menu->actions()) {
            if (item->text().toStdString() == name) {
                Handle([item] { item->trigger(); });
                return true;
            }
        }
        return false;
    }

    // After the server came back: the device chosen again plays a key, the
    // drums and the recording into a port of the new server.
    void ExpectPlayingAgain()
    {
        receiver = std::make_unique<JackReceiver>();
        messages.clear();
        ASSERT_TRUE(ChooseDevice(receiver->portName()));
        // Wiedergabe may have switched the drums off: the timer plays them only while checked.
        Control<QCheckBox>("CheckBox1")->setChecked(true);
        Key();
        Drum();
        Clock();
        Clock();
        EXPECT_TRUE(AllArrive());
        EXPECT_TRUE(messages.empty());
        EXPECT_TRUE(Control<QToolButton>("SpeedButton2")->isChecked()) << "the playback went on";
    }

    void TearDown() override
    {
        form.reset();
        receiver.reset();
        midi_out::WaitForBoundedCalls(testing_support::kHangBound);
        jack.reset();
        serverName.reset();
        WindowFixture::TearDown();
    }

    std::unique_ptr<backend_test::EnvGuard> serverName;
    std::unique_ptr<backend_test::PrivateJackServer> jack;
    std::unique_ptr<JackReceiver> receiver;
};

TEST_F(JackWindow, AKilledServerFailsTheNextSendsWithOneMessageEachAndARestartedOneIsChosenAgain)
{
    ASSERT_NO_FATAL_FAILURE(StartServer("window-killed"));
    ASSERT_NO_FATAL_FAILURE(StartPlaying());

    jack->kill();
    receiver.reset(); // its client belongs to the server that went
    // The server's end reaches the device on JACK's own thread: sends
    // before that still look delivered.
    EXPECT_TRUE(backend_test::Eventually([this] {
        Key();
        return !messages.empty();
    })) << "a send to a dead server must fail";
    for (const auto &message : messages)
        EXPECT_EQ(message.text, PortGone);

    // The same failure is not told again by the handlers that meet it next,
    // until the user acts on the device.
    messages.clear();
    Drum();
    Key();
    Clock();
    EXPECT_TRUE(messages.empty()) << Shown();
    Control<QCheckBox>("CheckBox1")->setChecked(false);
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    Drum();
    EXPECT_EQ(messages.size(), 1u) << Shown();
    for (const auto &message : messages)
        EXPECT_EQ(message.text, PortGone);
    EXPECT_TRUE(Control<recorder::SteadyTimer>("ClockTimer")->IsActive());
    EXPECT_TRUE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());

    // Looking into the device menu while no server runs: the port is gone
    // from it (and the device lets go of the dead server's clients).
    const std::string oldPort = Probe(*form).MidiOut().ProductName();
    EXPECT_FALSE(ChooseDevice(oldPort));

    // The test's own client for the new server may be made only once the
    // clients of the dead one are closed.
    ASSERT_TRUE(midi_out::WaitForBoundedCalls(testing_support::kHangBound));
    ASSERT_TRUE(jack->start()) << "jackd did not start again";
    ExpectPlayingAgain();
}

TEST_F(JackWindow, AFrozenServerHoldsNoHandlerAndAfterItThawsTheDeviceIsChosenAgain)
{
    ASSERT_NO_FATAL_FAILURE(StartServer("window-frozen"));
    ASSERT_NO_FATAL_FAILURE(StartPlaying());

    jack->freeze();
    // Sends into a stopped server go to the port's buffer unnoticed.
    Clock();
    Drum();
    Key();
    EXPECT_TRUE(messages.empty());
    // Angehalten silences the port in place without waiting for the stopped
    // server: the silencing and the instrument wait in the port's queue with
    // what is sent after them, and reach the receiver once the server runs.
    Stop();
    EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
    Control<QToolButton>("SpeedButton2")->click();
    Clock();
    Drum();
    EXPECT_TRUE(messages.empty()) << Shown();

    jack->thaw();
    EXPECT_TRUE(backend_test::Eventually([this] {
        const auto received = receiver->waitFor(0);
        const auto silencing = backend_test::SilencingMessages();
        const auto silenced = std::search(received.begin(), received.end(), silencing.begin(), silencing.end());
        return silenced != received.end()
               && std::find(silenced + silencing.size(), received.end(), Bytes{0xC0, 5}) != received.end();
    })) << "the silencing, then the instrument";
    ASSERT_TRUE(midi_out::WaitForBoundedCalls(testing_support::kHangBound));
    ExpectPlayingAgain();
}

} // namespace
