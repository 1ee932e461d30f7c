// The window for a player without a mouse or without sight: what a screen
// reader finds in the accessible tree, the shortcuts, the focus order and
// the keys that work each control, and the changes a screen reader hears.

#include "support/KeyboardFixture.h"

#include "app/Accessibility.h"
#include "app/DeviceMenu.h"
#include "app/InstrumentMenu.h"
#include "performance/PianoKey.h"
#include "recorder/Transport.h"
#include "support/WindowProbe.h"

#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using testing_support::KeyQ;
using testing_support::Packed;
using testing_support::PcKey;

namespace {

using State = recorder::TransportState;

QAccessibleInterface *Accessible(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(iface, nullptr) << object->objectName().toStdString();
    return iface;
}

class AccessibleTree : public testing_support::KeyboardFixture, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        KeyboardFixture::SetUp();
        // The PC keys' names come from this layout, whatever the machine has.
        layoutBefore_ = qgetenv("XKB_DEFAULT_LAYOUT");
        qputenv("XKB_DEFAULT_LAYOUT", "us");
        ASSERT_TRUE(testing_support::UseShippedLanguage(GetParam()));
        Create();
    }
    void TearDown() override
    {
        KeyboardFixture::TearDown();
        testing_support::UseSourceLanguage();
        qputenv("XKB_DEFAULT_LAYOUT", layoutBefore_);
    }
    bool English() const { return std::string(GetParam()) == "en"; }

    QByteArray layoutBefore_;
};

TEST_P(AccessibleTree, EveryKeyIsANamedButtonWithItsPcKeyAndItsState)
{
    const struct {
        int key;
        const char *german;
        const char *english;
    } notes[]{{1, "C2", "C2"},     {13, "Cis2", "C♯2"}, {21, "Gis3", "G♯3"}, {34, "Gis3", "G♯3"},
              {24, "C4", "C4"},    {36, "Cis4", "C♯4"}, {30, "H4", "B4"},    {40, "Ais4", "A♯4"},
              {33, "E5", "E5"}};
    for (const auto &note : notes) {
        QAccessibleInterface *key = Accessible(Probe(*form).Key(note.key));
        EXPECT_EQ(key->text(QAccessible::Name).toStdString(), English() ? note.english : note.german)
            << "Key" << note.key;
    }

    // With the labels shown, each key's description names the PC key written
    // on it; the names are the same while the labels are off.
    Control<QAction>("PCTastenanzeigen1")->trigger();
    std::set<QString> names;
    int described = 0;
    for (int number = 1; number <= performance::KeyCount; ++number) {
        performance::PianoKey *key = Probe(*form).Key(number);
        SCOPED_TRACE(key->objectName().toStdString());
        QAccessibleInterface *iface = Accessible(key);
        EXPECT_EQ(iface->role(), QAccessible::Button);
        names.insert(iface->text(QAccessible::Name));
        const QString expected =
            key->Label().isEmpty() ? QString() : QCoreApplication::translate("Accessibility", "PC-Taste %1").arg(key->Label());
        EXPECT_EQ(iface->text(QAccessible::Description), expected);
        described += expected.isEmpty() ? 0 : 1;
    }
    EXPECT_EQ(names.size(), 41u) << "42 keys, one note twice";
    EXPECT_EQ(described, 42) << "the default map plays every key";
    const QString described22 = Accessible(Probe(*form).Key(22))->text(QAccessible::Description);
    Control<QAction>("PCTastenanzeigen1")->trigger();
    EXPECT_TRUE(Probe(*form).Key(22)->Label().isEmpty());
    EXPECT_EQ(Accessible(Probe(*form).Key(22))->text(QAccessible::Description), described22);
    EXPECT_TRUE(described22.endsWith(QLatin1String(" Q")));

    // Pressed while its note sounds.
    QAccessibleInterface *q = Accessible(Probe(*form).Key(22));
    EXPECT_FALSE(q->state().pressed);
    Press(KeyQ);
    Poll();
    EXPECT_TRUE(q->state().pressed);
    Release(KeyQ);
    Poll();
    EXPECT_FALSE(q->state().pressed);
}

TEST_P(AccessibleTree, ControlsCarryTheirLabelsAndTheInstrumentsAreMenuItems)
{
    const auto labelOf = [this](const char *name) { return Control<QLabel>(name)->text(); };
    const struct {
        const char *control;
        QAccessible::Role role;
        QString name;
        QString value;
    } controls[]{
        {"CheckBox1", QAccessible::CheckBox, Control<QCheckBox>("CheckBox1")->text(), {}},
        {"UpDown1", QAccessible::SpinBox, labelOf("Label1"), QStringLiteral("120")},
        {"UpDown2", QAccessible::SpinBox, labelOf("Label3"), QStringLiteral("0")},
        // Qt's role for a button that stays down.
        {"SpeedButton1", QAccessible::CheckBox, Control<QToolButton>("SpeedButton1")->text(), {}},
        {"SpeedButton2", QAccessible::CheckBox, Control<QToolButton>("SpeedButton2")->text(), {}},
        {"SpeedButton3", QAccessible::CheckBox, Control<QToolButton>("SpeedButton3")->text(), {}},
        {"TrackBar1", QAccessible::Slider, labelOf("Label5"), QStringLiteral("127")},
    };
    for (const auto &control : controls) {
        SCOPED_TRACE(control.control);
        QAccessibleInterface *iface = Accessible(Control<QWidget>(control.control));
        EXPECT_EQ(iface->role(), control.role);
        EXPECT_FALSE(control.name.isEmpty());
        EXPECT_EQ(iface->text(QAccessible::Name), control.name);
        if (!control.value.isEmpty()) {
            ASSERT_NE(iface->valueInterface(), nullptr);
            EXPECT_EQ(iface->valueInterface()->currentValue().toString(), control.value);
        }
        EXPECT_TRUE(iface->state().focusable);
    }
    // A screen reader's increase goes through the control as an arrow would.
    Accessible(Control<QWidget>("UpDown2"))->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(Probe(*form).Transposition(), 1);

    auto *menu = form->findChild<app::InstrumentMenu *>();
    Probe(*form).SelectInstrument(40);
    QAccessibleInterface *instruments = Accessible(menu);
    EXPECT_EQ(instruments->role(), QAccessible::PopupMenu);
    ASSERT_EQ(instruments->childCount(), 128);
    for (int program = 0; program < 128; ++program) {
        SCOPED_TRACE(program);
        QAccessibleInterface *item = instruments->child(program);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->role(), QAccessible::MenuItem);
        EXPECT_EQ(item->text(QAccessible::Name), menu->Item(program)->text().remove(QLatin1Char('&')));
        EXPECT_FALSE(item->text(QAccessible::Name).isEmpty());
        EXPECT_TRUE(item->state().checkable);
        EXPECT_EQ(item->state().checked, program == 40);
        EXPECT_EQ(instruments->indexOfChild(item), program);
        EXPECT_EQ(item->parent(), instruments);
    }
    // Pressed by a screen reader, an item chooses its instrument.
    instruments->child(3)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(menu->CheckedProgram(), 3);
    EXPECT_TRUE(instruments->child(3)->state().checked);
}

INSTANTIATE_TEST_SUITE_P(Shipped, AccessibleTree, ::testing::Values("de", "en"));

class KeyboardAccess : public testing_support::KeyboardFixture {
protected:
    void ShowActive()
    {
        CreateWithAssignment();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    QWidget *Focused() const { return QApplication::focusWidget(); }
    std::string FocusedName() const { return Focused() ? Focused()->objectName().toStdString() : "<none>"; }
    // A key combination as the platform sends it, shortcuts first.
    void Chord(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QTest::keyClick(form.get(), key, modifiers);
        Poll();
    }
};

TEST_F(KeyboardAccess, TabReachesEveryControlInOrderAndKeysWorkItWhilePlayingKeysStillPlay)
{
    ShowActive();
    // The window looks as designed until the keyboard moves the focus.
    auto *ring = Control<QWidget>("FocusRing");
    EXPECT_FALSE(ring->isVisible());
    Control<QCheckBox>("CheckBox1")->setFocus();
    const std::vector<std::string> order{"UpDown1",      "UpDown2",      "SpeedButton1", "SpeedButton2",
                                         "SpeedButton3", "TrackBar1",    "CheckBox1"};
    for (const auto &next : order) {
        QTest::keyClick(Focused(), Qt::Key_Tab);
        EXPECT_EQ(FocusedName(), next) << "after Tab";
        EXPECT_TRUE(ring->isVisible() && ring->geometry().contains(Focused()->geometry())) << next;
    }
    QTest::keyClick(Focused(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(FocusedName(), "TrackBar1");

    // A click on a spin's field gives the spin the focus, shown on the field.
    QTest::mouseClick(Control<QWidget>("Edit2"), Qt::LeftButton);
    EXPECT_EQ(FocusedName(), "UpDown2");
    EXPECT_TRUE(Control<QWidget>("Edit2")->hasFocus());
    EXPECT_FALSE(ring->isVisible());

    const struct {
        const char *control;
        Qt::Key key;
        std::function<int()> read;
        int change;
    } steps[]{
        {"UpDown1", Qt::Key_Up, [this] { return Probe(*form).Tempo(); }, +1},
        {"UpDown1", Qt::Key_Left, [this] { return Probe(*form).Tempo(); }, -1},
        {"UpDown2", Qt::Key_Right, [this] { return Probe(*form).Transposition(); }, +1},
        {"UpDown2", Qt::Key_Down, [this] { return Probe(*form).Transposition(); }, -1},
        {"TrackBar1", Qt::Key_Left, [this] { return Probe(*form).Volume(); }, -1},
        {"CheckBox1", Qt::Key_Return, [this] { return int(Control<QCheckBox>("CheckBox1")->isChecked()); }, +1},
        {"CheckBox1", Qt::Key_Enter, [this] { return int(Control<QCheckBox>("CheckBox1")->isChecked()); }, -1},
        {"SpeedButton1", Qt::Key_Return, [this] { return int(Probe(*form).Transport().State() == State::Recording); }, +1},
        {"SpeedButton3", Qt::Key_Return, [this] { return int(Probe(*form).Transport().State() == State::Recording); }, -1},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(std::string(step.control) + " " + QKeySequence(step.key).toString().toStdString());
        Control<QWidget>(step.control)->setFocus();
        const int before = step.read();
        QTest::keyClick(Focused(), step.key);
        EXPECT_EQ(step.read(), before + step.change);
    }

    // Playing keys go on playing and never reach the focused control.
    for (const char *control : {"CheckBox1", "UpDown1", "UpDown2", "SpeedButton2", "TrackBar1"}) {
        SCOPED_TRACE(control);
        QWidget *widget = Control<QWidget>(control);
        widget->setFocus();
        const int tempo = Probe(*form).Tempo();
        backend->ClearCalls();
        Press(KeyQ, false, widget);
        Poll();
        Release(KeyQ, false, widget);
        Poll();
        EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0x90, 57, Probe(*form).Volume()), Packed(0x80, 57, 0)}));
        EXPECT_EQ(Probe(*form).Tempo(), tempo);
    }
}

TEST_F(KeyboardAccess, ShortcutsWorkTheTransportWhileHeldNotesSoundAndCtrlLettersNeverPlay)
{
    ShowActive();
    Press(KeyQ);
    Poll();
    backend->ClearCalls();
    const struct {
        Qt::Key key;
        State state;
    } chords[]{{Qt::Key_R, State::Recording}, {Qt::Key_Period, State::Stopped}, {Qt::Key_P, State::Playing},
               {Qt::Key_Period, State::Stopped}};
    for (const auto &chord : chords) {
        Chord(chord.key);
        EXPECT_EQ(Probe(*form).Transport().State(), chord.state);
        // The menu item and the button show the same state.
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(form->findChild<QAction *>(QStringList{"Aufnahme2", "Wiedergabe1", "Angehalten1"}[i])->isChecked(),
                      Control<QToolButton>(QStringList{"SpeedButton1", "SpeedButton2", "SpeedButton3"}[i]
                                               .toLatin1()
                                               .constData())
                          ->isChecked());
    }
    // The Q held all along still sounds: no shortcut sent its Note Off.
    EXPECT_TRUE(Probe(*form).Key(22)->IsSounding());
    for (auto message : Sent())
        EXPECT_NE(message, Packed(0x80, 57, 0));
    Release(KeyQ);
    Poll();

    // A playing key with Ctrl, Alt or the logo key is a command, not a note,
    // whether a shortcut takes it or not.
    backend->ClearCalls();
    for (auto modifier : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_W, modifier, 17 + 8, 0, 0);
        QCoreApplication::sendEvent(form.get(), &press);
        Poll();
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_W, modifier, 17 + 8, 0, 0);
        QCoreApplication::sendEvent(form.get(), &release);
        Poll();
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(KeyboardAccess, ChoicesAndTheTransportAreToldToAScreenReader)
{
    struct Told {
        QObject *object;
        int child;
        QAccessible::Event type;
    };
    std::vector<Told> told;
    app::SetTellListener([&told](const QAccessibleEvent &event) {
        const bool checked = event.type() == QAccessible::StateChanged &&
                             static_cast<const QAccessibleStateChangeEvent &>(event).changedStates().checked;
        if (checked || event.type() == QAccessible::ValueChanged)
            told.push_back({event.object(), event.child(), event.type()});
    });
    ShowActive();
    auto *instruments = form->findChild<app::InstrumentMenu *>();
    auto *devices = form->findChild<app::DeviceMenu *>(QStringLiteral("DeviceMenu"));
    auto *recording = Control<QAction>("Aufnahme2")->parent();
    const auto toldOf = [&told](QObject *object, int child = -1,
                                QAccessible::Event type = QAccessible::StateChanged) {
        return std::any_of(told.begin(), told.end(), [&](const Told &t) {
            return t.object == object && t.child == child && t.type == type;
        });
    };

    instruments->Item(12)->trigger();
    EXPECT_TRUE(toldOf(instruments->Item(12)));
    emit devices->aboutToShow();
    devices->Item(1)->trigger();
    EXPECT_TRUE(toldOf(devices, static_cast<int>(devices->actions().indexOf(devices->Item(1)))));
    Chord(Qt::Key_R);
    EXPECT_TRUE(toldOf(recording, 0));
    Chord(Qt::Key_Period);
    EXPECT_TRUE(toldOf(recording, 2));
    Control<QWidget>("UpDown1")->setFocus();
    QTest::keyClick(Focused(), Qt::Key_Up);
    EXPECT_TRUE(toldOf(Control<QWidget>("UpDown1"), -1, QAccessible::ValueChanged));
    app::SetTellListener({});
}

} // namespace
