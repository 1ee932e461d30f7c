#include "support/WindowFixture.h"

#include "app/DeviceMenu.h"
#include "common/SettingsFile.h"
#include "app/SpinButtons.h"
#include "support/WindowProbe.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

using midi_out::TestBackend;
using testing_support::Packed;

namespace {

using StartUp = testing_support::WindowFixture;

std::vector<std::int32_t> OpenedDevices(const TestBackend &backend)
{
    std::vector<std::int32_t> ids;
    for (const auto &call : backend.CallsOf(TestBackend::Op::Open))
        ids.push_back(call.deviceId);
    return ids;
}

TEST_F(StartUp, FreshSettingsGetTheDesignedValuesWrittenBack)
{
    auto &window = Create();
    EXPECT_FALSE(window.ShouldTerminate());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(StoredInt("Common", "Beat"), 120);
    EXPECT_EQ(StoredInt("Common", "Transposition"), 0);
    EXPECT_EQ(StoredInt("Common", "Drums"), 0);
    EXPECT_EQ(StoredInt("Common", "Volume"), 127);
    EXPECT_EQ(Control<recorder::SteadyTimer>("DrumTimer")->Interval(), 250);
    EXPECT_FALSE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());
    EXPECT_FALSE(Control<recorder::SteadyTimer>("ClockTimer")->IsActive()) << "nothing needs it yet";
    EXPECT_EQ(Control<recorder::SteadyTimer>("ClockTimer")->Interval(), 50);
    EXPECT_EQ(Probe(window).CurrentDrumStep(), 0);
}

TEST_F(StartUp, HexadecimalBeatGivesTempo120AndIsWrittenBackInDecimal)
{
    WriteIni("[Common]\r\nBeat=0x78\r\n");
    auto &window = Create();
    EXPECT_EQ(Probe(window).Tempo(), 120);
    EXPECT_EQ(Control<QLineEdit>("Edit1")->text(), QStringLiteral("120"));
    EXPECT_TRUE(IniText().contains("Beat=120"));
    EXPECT_FALSE(IniText().contains("0x78"));
}

TEST_F(StartUp, DrumsSevenReadsAsCheckedAndIsWrittenBackAsOne)
{
    WriteIni("[Common]\nDrums=7\n");
    Create();
    EXPECT_TRUE(Control<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_TRUE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());
    EXPECT_TRUE(IniText().contains("Drums=1"));
}

TEST_F(StartUp, StoredValuesAreApplied)
{
    WriteIni("[Common]\nBeat=7\nTransposition=-12\nVolume=64\nDrums=0\n");
    auto &window = Create();
    EXPECT_EQ(Probe(window).Tempo(), 7);
    EXPECT_EQ(Control<recorder::SteadyTimer>("DrumTimer")->Interval(), 4285);
    EXPECT_EQ(Probe(window).Transposition(), -12);
    EXPECT_EQ(Control<QLineEdit>("Edit2")->text(), QStringLiteral("-12"));
    EXPECT_EQ(Probe(window).Volume(), 64);
    EXPECT_FALSE(Control<QCheckBox>("CheckBox1")->isChecked());

    backend->ClearCalls();
    QTest::mousePress(Probe(window).Key(24), Qt::LeftButton);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 48, 64)}));
}

// While it lives, no file can grow beyond one byte: every settings write
// fails, also for root, while the file can still be read.
class RefusedWrites {
public:
    RefusedWrites()
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved_;
        tiny.rlim_cur = 1;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~RefusedWrites()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(StartUp, EveryStoredValueIsAppliedWhenWriteBacksFailAndTheRefusalIsShownOnce)
{
    WriteIni("[Common]\nBeat=90\nTransposition=5\nDrums=1\nVolume=60\nInstrument=42\n");
    {
        RefusedWrites refused;
        Create();
        SettleSettings();
    }
    EXPECT_EQ(Probe(*form).Tempo(), 90);
    EXPECT_EQ(Probe(*form).Transposition(), 5);
    EXPECT_TRUE(Control<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_TRUE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());
    EXPECT_EQ(Probe(*form).Volume(), 60);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0xC0, 42, 0)}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("kann nicht geschrieben werden")));
    EXPECT_EQ(StoredInt("Common", "Beat"), 90) << "the file is as it was";
}

TEST_F(StartUp, OutOfRangeAndUnreadableValuesEndUpAsTheControlAllows)
{
    WriteIni("[Common]\nBeat=500\nTransposition=abc\nVolume=-3\n");
    auto &window = Create();
    EXPECT_TRUE(messages.empty()) << "a value read with its default is no fault to tell";
    EXPECT_EQ(Probe(window).Tempo(), 300);
    EXPECT_EQ(Control<recorder::SteadyTimer>("DrumTimer")->Interval(), 100);
    EXPECT_EQ(StoredInt("Common", "Beat"), 300);
    EXPECT_EQ(StoredInt("Common", "Transposition"), 0);
    EXPECT_EQ(StoredInt("Common", "Volume"), 0);
}

TEST_F(StartUp, NoDeviceShowsTheMessageAndEnds)
{
    auto &window = Create({});
    EXPECT_TRUE(window.ShouldTerminate());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
    EXPECT_EQ(messages[0].text, QStringLiteral("Sie haben keine MIDI-Geräte installiert."));
    EXPECT_EQ(messages[0].icon, app::MessageIcon::Error);
    EXPECT_EQ(messages[0].owner, nullptr);
    // No other step ran.
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::Open).empty());
    EXPECT_TRUE(window.findChild<app::DeviceMenu *>(QStringLiteral("DeviceMenu"))->actions().isEmpty());
    EXPECT_TRUE(IniText().isEmpty());
}

TEST_F(StartUp, TheSavedDeviceIsOpened)
{
    WriteIni("[Device]\nID=2\n");
    auto &window = Create({"Synth A", "Port B", "Port C"});
    EXPECT_EQ(OpenedDevices(*backend), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(Probe(window).MidiOut().DeviceID(), 2);
    EXPECT_EQ(Probe(window).MidiOut().ProductName(), "Port C");
    EXPECT_EQ(Probe(window).MidiOut().State(), midi_out::dsOpen);
    EXPECT_EQ(StoredInt("Device", "ID"), 2);
}

TEST_F(StartUp, ASavedDeviceThatIsGoneFallsBackToDeviceZeroInMemoryOnly)
{
    WriteIni("[Device]\nID=7\n[Common]\nBeat=90\n");
    auto &window = Create({"Synth A", "Port B", "Port C"});
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(window.ShouldTerminate());
    EXPECT_EQ(OpenedDevices(*backend), (std::vector<std::int32_t>{0}));
    EXPECT_EQ(StoredInt("Device", "ID"), 7) << "the choice comes back with the device";
    EXPECT_EQ(window.findChild<app::DeviceMenu *>(QStringLiteral("DeviceMenu"))->CheckedIndex(), 0);
    // The rest of start-up ran and the window works.
    EXPECT_EQ(Probe(window).Tempo(), 90);
    EXPECT_EQ(Control<recorder::SteadyTimer>("DrumTimer")->Interval(), 333);
    backend->ClearCalls();
    QTest::mousePress(Probe(window).Key(1), Qt::LeftButton);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 36, 127)}));
}

TEST_F(StartUp, ADeviceThatDoesNotOpenIsReportedOnlyByTheMessagesSentToIt)
{
    WriteIni("[Common]\nBeat=100\n");
    auto &window = Create({"Synth A"}, [](TestBackend &backend) {
        backend.failures[TestBackend::Op::Open] = midi_out::MIDIERR_ALLOCATED;
    });
    // The instrument's Program Change at the end of start-up is the first.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("The device handle is invalid."));
    EXPECT_EQ(Probe(window).MidiOut().State(), midi_out::dsClosed);
    EXPECT_EQ(Probe(window).Tempo(), 100);
    EXPECT_EQ(Probe(window).Volume(), 127) << "the values after it were applied";
    messages.clear();

    QTest::mousePress(Probe(window).Key(1), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
    EXPECT_EQ(messages[0].text, QStringLiteral("The device handle is invalid."));
    EXPECT_EQ(Probe(window).Key(1)->OutlineColor(), performance::SilentColor);
}

// As the program starts: the window shown first, the device opened from the
// event loop, or by a key pressed before that.
TEST_F(StartUp, ShownFirstTheDeviceOpensFromTheEventLoopAndTheInstrumentGoesFirst)
{
    WriteIni("[Device]\nID=1\n[Common]\nInstrument=5\n");
    for (const bool pressFirst : {false, true}) {
        auto &window = Create({"Synth A", "Port B"}, {}, {}, app::TForm1::DeviceStart::FromEventLoop);
        window.show();
        EXPECT_TRUE(backend->CallsOf(TestBackend::Op::Open).empty()) << "the window did not wait for it";
        if (pressFirst)
            QTest::mousePress(Probe(window).Key(1), Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_EQ(OpenedDevices(*backend), (std::vector<std::int32_t>{1}));
        std::vector<std::uint32_t> expected{Packed(0xC0, 5, 0)};
        if (pressFirst)
            expected.push_back(Packed(0x90, 36, 127));
        EXPECT_EQ(Sent(), expected);
    }
}

// Shown first: the devices are read from the event loop, or when a key
// wants one; none found then ends the program as at once.
TEST_F(StartUp, FromTheEventLoopTheDevicesAreReadAfterTheWindowIsShown)
{
    WriteIni("[Device]\nID=1\n");
    for (const bool withDevices : {true, false}) {
        SCOPED_TRACE(withDevices);
        messages.clear();
        auto &window = Create(withDevices ? std::vector<std::string>{"Synth A", "Port B"} : std::vector<std::string>{},
                              {}, {}, app::TForm1::DeviceStart::FromEventLoop);
        window.show();
        auto *devices = window.findChild<app::DeviceMenu *>(QStringLiteral("DeviceMenu"));
        EXPECT_TRUE(backend->CallsOf(TestBackend::Op::DeviceCount).empty()) << "read before the window showed";
        EXPECT_TRUE(devices->actions().isEmpty());
        QCoreApplication::processEvents();
        EXPECT_EQ(window.ShouldTerminate(), !withDevices);
        if (withDevices) {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(devices->CheckedIndex(), 1);
            EXPECT_EQ(OpenedDevices(*backend), (std::vector<std::int32_t>{1}));
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].text, QStringLiteral("Sie haben keine MIDI-Geräte installiert."));
            EXPECT_FALSE(window.isVisible());
        }
    }
}

TEST_F(StartUp, ASettingsFileThatCannotBeWrittenIsReportedOnceAndTheWindowStillWorks)
{
    iniPath = dir.filePath(QStringLiteral("missing/folder/midi-sonoret.ini")).toStdString();
    auto &window = Create();
    SettleSettings();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("kann nicht geschrieben werden")));
    EXPECT_EQ(Probe(window).MidiOut().State(), midi_out::dsOpen);
    backend->ClearCalls();
    QTest::mousePress(Probe(window).Key(2), Qt::LeftButton);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 38, 127)}));
}

TEST_F(StartUp, EachControlChangeIsStoredAtOnce)
{
    Create();
    QTest::mouseClick(Control<app::SpinButtons>("UpDown1"), Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
    EXPECT_EQ(StoredInt("Common", "Beat"), 121);
    EXPECT_EQ(Control<recorder::SteadyTimer>("DrumTimer")->Interval(), 30000 / 121);

    QTest::mouseClick(Control<app::SpinButtons>("UpDown2"), Qt::LeftButton, Qt::NoModifier, QPoint(8, 14));
    EXPECT_EQ(StoredInt("Common", "Transposition"), -1);

    Control<QCheckBox>("CheckBox1")->click();
    EXPECT_EQ(StoredInt("Common", "Drums"), 1);
    EXPECT_TRUE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());
    Control<QCheckBox>("CheckBox1")->click();
    EXPECT_EQ(StoredInt("Common", "Drums"), 0);
    EXPECT_FALSE(Control<recorder::SteadyTimer>("DrumTimer")->IsActive());

    Control<QSlider>("TrackBar1")->setValue(33);
    EXPECT_EQ(StoredInt("Common", "Volume"), 33);
}

TEST_F(StartUp, AFailedSettingsWriteFromAControlReachesTheErrorHandler)
{
    auto &window = Create();
    QFile::remove(QString::fromStdString(iniPath));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("midi-sonoret.ini"))); // in the file's way
    // Held down: the failing write must not leave the button repeating.
    QTest::mousePress(Control<app::SpinButtons>("UpDown1"), Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
    SettleSettings();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("kann nicht geschrieben werden")));
    EXPECT_EQ(Probe(window).Tempo(), 121); // the change took effect in the program
    EXPECT_FALSE(Control<app::SpinButtons>("UpDown1")->IsRepeating());
    QTest::mouseRelease(Control<app::SpinButtons>("UpDown1"), Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
}

TEST_F(StartUp, ShutdownClosesTheDevice)
{
    auto &window = Create();
    const auto handle = Probe(window).MidiOut().Handle();
    ASSERT_NE(handle, 0u);
    std::vector<TestBackend::Call> closes;
    backend->observer = [&closes](const TestBackend::Call &call) {
        if (call.op == TestBackend::Op::Close)
            closes.push_back(call);
    };
    form.reset();
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].handle, handle);
}

} // namespace
