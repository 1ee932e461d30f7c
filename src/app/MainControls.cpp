#include "app/MainControls.h"

#include "app/KeyboardAccess.h"
#include "app/SpinButtons.h"
#include "app/TransportGlyphs.h"
#include "performance/PianoKey.h"
#include "recorder/DrumPattern.h"
#include "recorder/SteadyTimer.h"
#include "recorder/Transport.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QSlider>
#include <QToolButton>

namespace app {

namespace {

// The window's own context, so that its catalogue entries stay where they are.
QString Text(const char *source) { return QCoreApplication::translate("app::TForm1", source); }

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, QRect geometry,
                  Qt::Alignment horizontal)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAlignment(horizontal | Qt::AlignVCenter);
    return label;
}

QLineEdit *MakeField(QWidget *parent, const char *name, QRect geometry)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setGeometry(geometry);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    field->setTextMargins(0, 0, 0, 0);
    return field;
}

SpinButtons *MakeSpinButtons(QWidget *parent, const char *name, QRect geometry, int minimum,
                             int maximum, int position, QLineEdit *field)
{
    auto *spin = new SpinButtons(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setGeometry(geometry);
    spin->SetRange(minimum, maximum);
    spin->SetPosition(position);
    spin->SetAssociate(field);
    return spin;
}

QToolButton *MakeTransportButton(QWidget *parent, const char *name, const QString &caption,
                                 QRect geometry, const QPixmap &glyph)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setIcon(QIcon(glyph));
    button->setIconSize(QSize(GlyphSize, GlyphSize));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setCheckable(true);
    // Reached by Tab; a click leaves the focus where it is, as it always has.
    button->setFocusPolicy(Qt::TabFocus);
    button->setGeometry(geometry);
    return button;
}

} // namespace

QString TakeTimeText(std::int32_t tick)
{
    const std::int32_t seconds = tick / (1000 / recorder::Transport::ClockIntervalMs);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

MainControls BuildMainControls(QMainWindow &window, int clockIntervalMs)
{
    MainControls c;
    c.Client = new QWidget(&window);
    c.Client->setObjectName(QStringLiteral("Client"));
    c.Client->setFixedSize(MainControls::ClientWidth, MainControls::ClientHeight);
    window.setCentralWidget(c.Client);
    // Fixed size: the window always fits the menu bar and the client area.
    window.layout()->setSizeConstraint(QLayout::SetFixedSize);

    c.CheckBox1 = new QCheckBox(Text(QT_TRANSLATE_NOOP("app::TForm1", "Drums-Begleitung")), c.Client);
    c.CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    c.CheckBox1->setGeometry(8, 0, 136, 16);

    c.Label1 = MakeLabel(c.Client, "Label1", Text(QT_TRANSLATE_NOOP("app::TForm1", "Tempo:")),
                         QRect(144, 0, 57, 16), Qt::AlignRight);
    c.Edit1 = MakeField(c.Client, "Edit1", QRect(208, 0, 33, 17));
    c.UpDown1 = MakeSpinButtons(c.Client, "UpDown1", QRect(241, 0, 17, 17), recorder::DrumPattern::MinTempo,
                                recorder::DrumPattern::MaxTempo, 120, c.Edit1);
    c.Label2 = MakeLabel(c.Client, "Label2", Text(QT_TRANSLATE_NOOP("app::TForm1", "Taktschläge pro Minute")),
                         QRect(264, 0, 153, 17), Qt::AlignLeft);

    c.Label3 = MakeLabel(c.Client, "Label3", Text(QT_TRANSLATE_NOOP("app::TForm1", "Transposition:")),
                         QRect(416, 0, 97, 17), Qt::AlignRight);
    c.Edit2 = MakeField(c.Client, "Edit2", QRect(520, 0, 33, 17));
    c.UpDown2 = MakeSpinButtons(c.Client, "UpDown2", QRect(553, 0, 17, 17), -36, 51, 0, c.Edit2);
    c.Label4 = MakeLabel(c.Client, "Label4", Text(QT_TRANSLATE_NOOP("app::TForm1", "Halbtonschritte")),
                         QRect(576, 0, 97, 17), Qt::AlignLeft);

    c.SpeedButton1 = MakeTransportButton(c.Client, "SpeedButton1", Text(QT_TRANSLATE_NOOP("app::TForm1", "Aufnahme")),
                                         QRect(8, 24, 73, 41), RecordGlyph());
    c.SpeedButton2 = MakeTransportButton(c.Client, "SpeedButton2", Text(QT_TRANSLATE_NOOP("app::TForm1", "Wiedergabe")),
                                         QRect(88, 24, 73, 41), PlayGlyph());
    c.SpeedButton3 = MakeTransportButton(c.Client, "SpeedButton3", Text(QT_TRANSLATE_NOOP("app::TForm1", "Angehalten")),
                                         QRect(168, 24, 73, 41), StopGlyph());
    c.TransportGroup = new QButtonGroup(&window);
    c.TransportGroup->setObjectName(QStringLiteral("TransportGroup"));
    c.TransportGroup->setExclusive(true);
    c.TransportGroup->addButton(c.SpeedButton1);
    c.TransportGroup->addButton(c.SpeedButton2);
    c.TransportGroup->addButton(c.SpeedButton3);
    c.SpeedButton3->setChecked(true);

    c.Label5 = MakeLabel(c.Client, "Label5", Text(QT_TRANSLATE_NOOP("app::TForm1", "Lautstärke:")),
                         QRect(248, 24, 74, 17), Qt::AlignLeft);
    c.TrackBar1 = new QSlider(Qt::Horizontal, c.Client);
    c.TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    c.TrackBar1->setGeometry(312, 24, 357, 25);
    c.TrackBar1->setRange(0, 127);
    c.TrackBar1->setSingleStep(1);
    c.TrackBar1->setPageStep(2);
    c.TrackBar1->setValue(127);
    c.TrackBar1->setTickPosition(QSlider::TicksBelow);
    c.TrackBar1->setTickInterval(4);

    // Under the volume's caption, in the space beside the transport buttons.
    c.TakeTime = MakeLabel(c.Client, "TakeTime", TakeTimeText(0), QRect(248, 46, 60, 17), Qt::AlignLeft);
    c.TakeTime->setAccessibleName(Text(QT_TRANSLATE_NOOP("app::TForm1", "Zeit der Aufnahme")));
    c.TakeTime->hide();

    c.keys_ = performance::CreatePianoKeys(c.Client);
    SetUpKeyboardAccess(c, window);

    c.DrumTimer = new recorder::SteadyTimer(&window);
    c.DrumTimer->setObjectName(QStringLiteral("DrumTimer"));
    c.DrumTimer->SetInterval(recorder::DrumPattern::Interval(c.UpDown1->Position()));
    c.ClockTimer = new recorder::SteadyTimer(&window);
    c.ClockTimer->setObjectName(QStringLiteral("ClockTimer"));
    c.ClockTimer->SetInterval(clockIntervalMs);
    return c;
}

} // namespace app
