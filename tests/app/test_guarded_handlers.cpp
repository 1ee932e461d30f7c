#include "support/WindowFixture.h"

#include "app/SpinButtons.h"
#include "common/GuardedConnect.h"
#include "performance/PianoKey.h"
#include "support/WindowProbe.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <stdexcept>

using midi_out::TestBackend;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// A handler of each kind of control fails once; the control must go on
// repainting and signalling on the next change (a failure that unwound
// through Qt's button and slider code used to leave them silent).
class GuardedHandlers : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        Create();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        messages.clear();
    }

    // Settings writes fail while a folder stands where the file belongs.
    void BreakSettingsFile()
    {
        QFile::remove(QString::fromStdString(iniPath));
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("midi-sonoret.ini")));
    }
    void MendSettingsFile() { ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("midi-sonoret.ini"))); }

    // Runs `change` and returns whether `widget` was painted afterwards.
    static bool RepaintsOn(QWidget *widget, const std::function<void()> &change)
    {
        PaintCounter counter(widget);
        change();
        // Paint requests are posted: let the loop deliver them, a bounded
        // number of rounds, no waiting on a clock.
        for (int round = 0; round < 20 && counter.paints == 0; ++round)
            QCoreApplication::processEvents();
        return counter.paints > 0;
    }

    void ExpectOneErrorContaining(const char *text)
    {
        SettleSettings();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains(QString::fromUtf8(text))) << messages[0].text.toStdString();
        messages.clear();
    }
};

TEST_F(GuardedHandlers, CheckBox)
{
    auto *box = Control<QCheckBox>("CheckBox1");
    QSignalSpy toggled(box, &QCheckBox::toggled);
    BreakSettingsFile();
    box->click();
    ExpectOneErrorContaining("kann nicht geschrieben werden");
    MendSettingsFile();

    EXPECT_TRUE(RepaintsOn(box, [&] { box->setChecked(false); }));
    EXPECT_EQ(toggled.count(), 2);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(messages.empty());
}

TEST_F(GuardedHandlers, Slider)
{
    auto *slider = Control<QSlider>("TrackBar1");
    QSignalSpy changed(slider, &QSlider::valueChanged);
    BreakSettingsFile();
    QTest::keyClick(slider, Qt::Key_Left);
    ExpectOneErrorContaining("kann nicht geschrieben werden");
    MendSettingsFile();

    EXPECT_TRUE(RepaintsOn(slider, [&] { slider->setValue(40); }));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(Probe(*form).Volume(), 40);
}

TEST_F(GuardedHandlers, SpinButtons)
{
    auto *spin = Control<app::SpinButtons>("UpDown1");
    QSignalSpy changed(spin, &app::SpinButtons::PositionChanged);
    BreakSettingsFile();
    QTest::mousePress(spin, Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
    ExpectOneErrorContaining("kann nicht geschrieben werden");
    EXPECT_FALSE(spin->IsRepeating()) << "one failure must not come back every step";
    QTest::mouseRelease(spin, Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
    MendSettingsFile();

    EXPECT_TRUE(RepaintsOn(spin, [&] {
        QTest::mousePress(spin, Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
    }));
    EXPECT_TRUE(spin->IsRepeating());
    QTest::mouseRelease(spin, Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(Probe(*form).Tempo(), 122);
    EXPECT_TRUE(messages.empty());
}

TEST_F(GuardedHandlers, TransportButton)
{
    auto *play = Control<QToolButton>("SpeedButton2");
    auto *stop = Control<QToolButton>("SpeedButton3");
    // A handler of the button that fails, as a device error in playback would.
    common::GuardedConnect(play, &QToolButton::clicked, form.get(),
                           [] { throw std::runtime_error("Device busy"); });
    QSignalSpy clicked(play, &QToolButton::clicked);
    QTest::mouseClick(play, Qt::LeftButton);
    ExpectOneErrorContaining("Device busy");
    EXPECT_TRUE(play->isChecked());

    EXPECT_TRUE(RepaintsOn(play, [&] { QTest::mouseClick(stop, Qt::LeftButton); }));
    EXPECT_TRUE(stop->isChecked());
    EXPECT_FALSE(play->isChecked());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 2);
    ExpectOneErrorContaining("Device busy");
}

TEST_F(GuardedHandlers, Key)
{
    auto *key = Control<performance::PianoKey>("Key5");
    backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_SENDFAILED;
    QTest::mousePress(key, Qt::LeftButton, Qt::NoModifier, QPoint(10, 100));
    QTest::mouseRelease(key, Qt::LeftButton, Qt::NoModifier, QPoint(10, 100));
    ExpectOneErrorContaining("did not accept");
    backend->failures.clear();
    backend->ClearCalls();

    EXPECT_TRUE(RepaintsOn(key, [&] {
        QTest::mousePress(key, Qt::LeftButton, Qt::NoModifier, QPoint(10, 100));
    }));
    EXPECT_EQ(key->OutlineColor(), performance::PressedColor);
    QTest::mouseRelease(key, Qt::LeftButton, Qt::NoModifier, QPoint(10, 100));
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{testing_support::Packed(0x90, 43, 127),
                                                  testing_support::Packed(0x80, 43, 0)}));
}

} // namespace
