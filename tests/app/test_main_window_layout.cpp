#include "support/WindowFixture.h"

#include "app/SpinButtons.h"
#include "app/TransportGlyphs.h"
#include "performance/KeyGeometry.h"
#include "support/WindowProbe.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <set>

using performance::KeyCount;
using performance::PianoKey;
using performance::PressedColor;

namespace {

class MainWindowLayout : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        Create();
    }
    QWidget *Client() const { return Control<QWidget>("Client"); }
};

TEST_F(MainWindowLayout, FixedWindowAroundAClientAreaOf679By345)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("MIDI Sonoret"));
    EXPECT_EQ(form->centralWidget(), Client());
    EXPECT_EQ(Client()->size(), QSize(679, 345));
    EXPECT_EQ(Client()->y(), form->menuBar()->height());
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->size(), QSize(679, 345 + form->menuBar()->height()));
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
}

TEST_F(MainWindowLayout, FontIsArialAt12Pixels)
{
    EXPECT_EQ(form->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(form->font().pixelSize(), 12);
    EXPECT_EQ(QFontInfo(Control<QCheckBox>("CheckBox1")->font()).pixelSize(), 12);
}

// Every control and key at its designed place in the client area.
TEST_F(MainWindowLayout, EveryControlAtItsDesignedPlace)
{
    const struct {
        const char *name;
        QRect geometry;
    } designed[] = {
        {"CheckBox1", {8, 0, 136, 16}},      {"Label1", {144, 0, 57, 16}},
        {"Edit1", {208, 0, 33, 17}},         {"UpDown1", {241, 0, 17, 17}},
        {"Label2", {264, 0, 153, 17}},       {"Label3", {416, 0, 97, 17}},
        {"Edit2", {520, 0, 33, 17}},         {"UpDown2", {553, 0, 17, 17}},
        {"Label4", {576, 0, 97, 17}},        {"SpeedButton1", {8, 24, 73, 41}},
        {"SpeedButton2", {88, 24, 73, 41}},  {"SpeedButton3", {168, 24, 73, 41}},
        {"Label5", {248, 24, 74, 17}},       {"TrackBar1", {312, 24, 357, 25}},
        {"Key1", {9, 206, 56, 131}},         {"Key2", {64, 206, 56, 131}},
        {"Key3", {119, 206, 56, 131}},       {"Key4", {174, 206, 56, 131}},
        {"Key5", {229, 206, 56, 131}},       {"Key6", {283, 206, 56, 131}},
        {"Key7", {338, 206, 56, 131}},       {"Key8", {393, 206, 56, 131}},
        {"Key9", {448, 206, 56, 131}},       {"Key10", {503, 206, 56, 131}},
        {"Key11", {558, 206, 56, 131}},      {"Key12", {613, 206, 56, 131}},
        {"Key13", {46, 206, 37, 67}},        {"Key14", {102, 206, 37, 67}},
        {"Key15", {211, 206, 38, 67}},       {"Key16", {266, 206, 38, 67}},
        {"Key17", {320, 206, 38, 67}},       {"Key18", {431, 206, 38, 67}},
        {"Key19", {486, 206, 37, 67}},       {"Key20", {595, 206, 38, 67}},
        {"Key21", {642, 206, 25, 67}},       {"Key22", {9, 70, 56, 131}},
        {"Key23", {64, 70, 56, 131}},        {"Key24", {119, 70, 56, 131}},
        {"Key25", {174, 70, 56, 131}},       {"Key26", {229, 70, 56, 131}},
        {"Key27", {283, 70, 56, 131}},       {"Key28", {338, 70, 56, 131}},
        {"Key29", {393, 70, 56, 131}},       {"Key30", {448, 70, 56, 131}},
        {"Key31", {503, 70, 56, 131}},       {"Key32", {558, 70, 56, 131}},
        {"Key33", {613, 70, 56, 131}},       {"Key34", {9, 70, 24, 67}},
        {"Key35", {46, 70, 37, 67}},         {"Key36", {155, 70, 38, 67}},
        {"Key37", {210, 70, 38, 67}},        {"Key38", {320, 70, 38, 67}},
        {"Key39", {375, 70, 38, 67}},        {"Key40", {430, 70, 37, 67}},
        {"Key41", {539, 70, 38, 67}},        {"Key42", {594, 70, 38, 67}},
    };
    for (const auto &control : designed) {
        auto *widget = Client()->findChild<QWidget *>(QString::fromLatin1(control.name),
                                                      Qt::FindDirectChildrenOnly);
        ASSERT_NE(widget, nullptr) << control.name;
        EXPECT_EQ(widget->geometry(), control.geometry) << control.name;
    }
}

TEST_F(MainWindowLayout, LabelsAndCheckBox)
{
    struct Expected {
        const char *name;
        const char *text;
        Qt::Alignment horizontal;
    };
    const Expected labels[] = {
        {"Label1", "Tempo:", Qt::AlignRight},
        {"Label2", "Taktschläge pro Minute", Qt::AlignLeft},
        {"Label3", "Transposition:", Qt::AlignRight},
        {"Label4", "Halbtonschritte", Qt::AlignLeft},
        {"Label5", "Lautstärke:", Qt::AlignLeft},
    };
    for (const auto &expected : labels) {
        auto *label = Control<QLabel>(expected.name);
        ASSERT_NE(label, nullptr) << expected.name;
        EXPECT_EQ(label->text(), QString::fromUtf8(expected.text));
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, expected.horizontal) << expected.name;
        EXPECT_TRUE(label->alignment() & Qt::AlignVCenter) << expected.name;
    }

    auto *drums = Control<QCheckBox>("CheckBox1");
    EXPECT_EQ(drums->text(), QStringLiteral("Drums-Begleitung"));
    EXPECT_FALSE(drums->isChecked());
    // First in tab order among the controls that take the keyboard focus.
    EXPECT_EQ(Client()->nextInFocusChain(), drums);
}

TEST_F(MainWindowLayout, TempoAndTranspositionFieldsWithSpinButtons)
{
    struct Expected {
        const char *field;
        const char *spin;
        int minimum, maximum, position;
    };
    const Expected pairs[] = {
        {"Edit1", "UpDown1", 1, 300, 120},
        {"Edit2", "UpDown2", -36, 51, 0},
    };
    for (const auto &expected : pairs) {
        auto *field = Control<QLineEdit>(expected.field);
        auto *spin = Control<app::SpinButtons>(expected.spin);
        ASSERT_NE(field, nullptr);
        ASSERT_NE(spin, nullptr);
        EXPECT_TRUE(field->isReadOnly());
        EXPECT_FALSE(field->focusPolicy() & Qt::TabFocus);
        EXPECT_EQ(spin->Associate(), field);
        EXPECT_EQ(spin->Minimum(), expected.minimum);
        EXPECT_EQ(spin->Maximum(), expected.maximum);
        EXPECT_EQ(spin->Position(), expected.position);
        EXPECT_EQ(field->text(), QString::number(expected.position));
    }
}

TEST_F(MainWindowLayout, SpinButtonsStopAtTheEndsAndShowTheValue)
{
    app::SpinButtons *tempo = Control<app::SpinButtons>("UpDown1");
    // A click on the upper half steps up, on the lower half down.
    QTest::mouseClick(tempo, Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
    EXPECT_EQ(tempo->Position(), 121);
    EXPECT_EQ(Control<QLineEdit>("Edit1")->text(), QStringLiteral("121"));
    QTest::mousePress(tempo, Qt::LeftButton, Qt::NoModifier, QPoint(8, 14));
    EXPECT_EQ(tempo->Position(), 120);
    EXPECT_TRUE(tempo->IsRepeating()); // held: steps again after a delay
    QTest::mouseRelease(tempo, Qt::LeftButton, Qt::NoModifier, QPoint(8, 14));
    EXPECT_FALSE(tempo->IsRepeating());

    tempo->SetPosition(300);
    QTest::mouseClick(tempo, Qt::LeftButton, Qt::NoModifier, QPoint(8, 3));
    EXPECT_EQ(tempo->Position(), 300);
    tempo->SetPosition(1);
    QTest::mouseClick(tempo, Qt::LeftButton, Qt::NoModifier, QPoint(8, 14));
    EXPECT_EQ(tempo->Position(), 1);

    Control<app::SpinButtons>("UpDown2")->SetPosition(-100);
    EXPECT_EQ(Control<app::SpinButtons>("UpDown2")->Position(), -36);
    EXPECT_EQ(Control<QLineEdit>("Edit2")->text(), QStringLiteral("-36"));
    Control<app::SpinButtons>("UpDown2")->StepBy(200);
    EXPECT_EQ(Control<app::SpinButtons>("UpDown2")->Position(), 51);
}

TEST_F(MainWindowLayout, TransportButtonsFormOneExclusiveGroupStoppedAtStart)
{
    struct Expected {
        QToolButton *button;
        const char *caption;
    };
    const Expected buttons[] = {
        {Control<QToolButton>("SpeedButton1"), "Aufnahme"},
        {Control<QToolButton>("SpeedButton2"), "Wiedergabe"},
        {Control<QToolButton>("SpeedButton3"), "Angehalten"},
    };
    for (const auto &expected : buttons) {
        EXPECT_EQ(expected.button->text(), QString::fromUtf8(expected.caption));
        EXPECT_EQ(expected.button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_EQ(expected.button->iconSize(), QSize(16, 16));
        EXPECT_FALSE(expected.button->icon().isNull());
        EXPECT_EQ(expected.button->group(), Control<QButtonGroup>("TransportGroup"));
    }
    EXPECT_TRUE(Control<QButtonGroup>("TransportGroup")->exclusive());
    EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
    EXPECT_FALSE(Probe(*form).IsRecording());

    Control<QToolButton>("SpeedButton1")->click();
    EXPECT_TRUE(Control<QToolButton>("SpeedButton1")->isChecked());
    EXPECT_FALSE(Control<QToolButton>("SpeedButton3")->isChecked());
    // Clicking the button that is down leaves it down.
    Control<QToolButton>("SpeedButton1")->click();
    EXPECT_TRUE(Control<QToolButton>("SpeedButton1")->isChecked());
    EXPECT_TRUE(Probe(*form).IsRecording());
}

TEST_F(MainWindowLayout, GlyphsAreOurOwn16By16Pictures)
{
    for (const QPixmap &glyph : {app::RecordGlyph(), app::PlayGlyph(), app::StopGlyph()}) {
        ASSERT_EQ(glyph.size(), QSize(16, 16));
        const QImage image = glyph.toImage();
        // Drawn in the middle, transparent in the corner.
        EXPECT_GT(qAlpha(image.pixel(8, 8)), 200);
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    }
    EXPECT_NE(app::RecordGlyph().toImage(), app::PlayGlyph().toImage());
    EXPECT_NE(app::PlayGlyph().toImage(), app::StopGlyph().toImage());
}

TEST_F(MainWindowLayout, VolumeSlider)
{
    QSlider *volume = Control<QSlider>("TrackBar1");
    EXPECT_EQ(volume->orientation(), Qt::Horizontal);
    EXPECT_EQ(volume->minimum(), 0);
    EXPECT_EQ(volume->maximum(), 127);
    EXPECT_EQ(volume->value(), 127);
    EXPECT_EQ(volume->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(volume->tickInterval(), 4);
}

TEST_F(MainWindowLayout, FortyTwoKeysWithTheirNotesAndFills)
{
    struct Expected {
        int number, note;
        bool black;
        int outline;
    };
    const Expected samples[] = {
        {1, 36, false, 5},   {12, 55, false, 5},
        {13, 37, true, 3},   {21, 56, true, 3},
        {22, 57, false, 5},   {33, 76, false, 5},
        {34, 56, true, 3},     {42, 75, true, 3},
        {6, 45, false, 5}, {36, 61, true, 3},
    };
    for (const auto &expected : samples) {
        PianoKey *key = Probe(*form).Key(expected.number);
        ASSERT_NE(key, nullptr) << expected.number;
        EXPECT_EQ(key->objectName(), QStringLiteral("Key%1").arg(expected.number));
        EXPECT_EQ(key->Note(), expected.note);
        EXPECT_EQ(key->Fill(), expected.black ? QColor(Qt::black) : QColor(Qt::white));
        EXPECT_EQ(key->OutlineWidth(), expected.outline);
        EXPECT_EQ(key->OutlineColor(), QColor(Qt::black));
    }

    EXPECT_EQ(Probe(*form).Key(0), nullptr);
    EXPECT_EQ(Probe(*form).Key(43), nullptr);
    const auto keys = Client()->findChildren<PianoKey *>();
    ASSERT_EQ(keys.size(), KeyCount);
    std::multiset<int> notes;
    for (auto *key : keys)
        notes.insert(key->Note());
    EXPECT_EQ(*notes.begin(), 36);
    EXPECT_EQ(*notes.rbegin(), 76);
    EXPECT_EQ(notes.count(56), 2u);
    EXPECT_EQ(std::set<int>(notes.begin(), notes.end()).size(), 41u);
}

TEST_F(MainWindowLayout, TopmostKeyAtAPointIsTheBlackKeyOverTheWhite)
{
    auto keyAt = [&](int x, int y) { return qobject_cast<PianoKey *>(Client()->childAt(x, y)); };
    EXPECT_EQ(keyAt(60, 230), Probe(*form).Key(13));  // over Key1 and Key2
    EXPECT_EQ(keyAt(15, 100), Probe(*form).Key(34));  // over Key22
    EXPECT_EQ(keyAt(660, 230), Probe(*form).Key(21)); // over Key12
    EXPECT_EQ(keyAt(600, 100), Probe(*form).Key(42)); // over Key32 and Key33
    EXPECT_EQ(keyAt(60, 320), Probe(*form).Key(1));
    EXPECT_EQ(keyAt(15, 190), Probe(*form).Key(22));
    // Neighbouring white keys overlap by a pixel; the later one lies on top.
    EXPECT_EQ(keyAt(64, 330), Probe(*form).Key(2));

    // Stacking, bottom to top.
    std::vector<int> order;
    for (QObject *child : Client()->children())
        if (auto *key = qobject_cast<PianoKey *>(child))
            order.push_back(key->Number());
    const std::vector<int> expected{22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 35, 36,
                                    37, 38, 39, 40, 41, 42, 1,  2,  3,  4,  5,  6,  7,  8,
                                    9,  10, 11, 12, 14, 15, 16, 17, 18, 19, 20, 21, 34, 13};
    EXPECT_EQ(order, expected);
}

TEST_F(MainWindowLayout, KeysDrawTheirOutlineInsideTheirBounds)
{
    PianoKey *white = Probe(*form).Key(1);
    QImage image = white->grab().toImage();
    ASSERT_EQ(image.size(), QSize(56, 131));
    EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(Qt::black));
    EXPECT_EQ(QColor(image.pixel(4, 60)), QColor(Qt::black));  // last outline column
    EXPECT_EQ(QColor(image.pixel(5, 60)), QColor(Qt::white));  // first fill column
    EXPECT_EQ(QColor(image.pixel(55, 130)), QColor(Qt::black));

    QTest::mousePress(white, Qt::LeftButton, Qt::NoModifier, QPoint(28, 100));
    image = white->grab().toImage();
    QTest::mouseRelease(white, Qt::LeftButton, Qt::NoModifier, QPoint(28, 100));
    EXPECT_EQ(QColor(image.pixel(0, 0)), PressedColor);
    EXPECT_EQ(QColor(image.pixel(51, 126)), PressedColor);
    EXPECT_EQ(QColor(image.pixel(28, 60)), QColor(Qt::white));

    PianoKey *black = Probe(*form).Key(13);
    QTest::mousePress(black, Qt::LeftButton, Qt::NoModifier, QPoint(5, 30));
    image = black->grab().toImage();
    QTest::mouseRelease(black, Qt::LeftButton, Qt::NoModifier, QPoint(5, 30));
    EXPECT_EQ(QColor(image.pixel(2, 30)), PressedColor);
    EXPECT_EQ(QColor(image.pixel(3, 30)), QColor(Qt::black));
}

} // namespace
