#include "app/MainMenu.h"

#include "app/Accessibility.h"
#include "app/DeviceMenu.h"
#include "app/InstrumentMenu.h"
#include "app/UMain.h"
#include "app/UStrings.h"
#include "common/GuardedConnect.h"

#include "performance/KeyPlayer.h"

#include <QActionGroup>
#include <QMenuBar>
#include <QToolButton>

namespace app {

namespace {

QMenu *AddMenu(QMenuBar *bar, const char *name, const QString &title)
{
    QMenu *menu = bar->addMenu(title);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

template <class Handler>
QAction *AddItem(QMenu *menu, TForm1 &form, const char *name, const QString &caption, Handler handler)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    common::GuardedConnect(item, &QAction::triggered, &form, handler);
    return item;
}

// Every shortcut is built on Ctrl: a key alone may play a note. Held, a
// shortcut does not repeat its command.
void SetShortcut(QAction *item, QKeyCombination keys)
{
    item->setShortcut(QKeySequence(keys));
    item->setAutoRepeat(false);
}

} // namespace

MainMenu::MainMenu(TForm1 &form, QMenuBar *bar)
{
    QMenu *program = AddMenu(bar, "Programm1", tr("&Programm"));
    SetShortcut(AddItem(program, form, "Beenden1", tr("&Beenden"), &TForm1::close), Qt::CTRL | Qt::Key_Q);

    recording_ = AddMenu(bar, "Aufnahme1", tr("&Aufnahme"));
    SetShortcut(AddItem(recording_, form, "ffnen1", tr("Ö&ffnen..."), &TForm1::ffnen1Click),
                Qt::CTRL | Qt::Key_O);
    SetShortcut(AddItem(recording_, form, "Speichern1", tr("&Speichern..."), &TForm1::Speichern1Click),
                Qt::CTRL | Qt::Key_S);
    recording_->addSeparator();
    metronome_ = AddItem(recording_, form, "Metronom1", tr("&Metronom"), &TForm1::MetronomeClick);
    countIn_ = AddItem(recording_, form, "Einzhlen1", tr("&Einzählen"), &TForm1::CountInClick);
    repeat_ = AddItem(recording_, form, "Wiedergabewiederholen1", tr("Wiedergabe &wiederholen"),
                      &TForm1::RepeatClick);
    for (QAction *item : {metronome_, countIn_, repeat_})
        item->setCheckable(true);

    QMenu *synthesizer = AddMenu(bar, "Synthesizer1", tr("&Synthesizer"));
    instruments_ = new InstrumentMenu(synthesizer);
    synthesizer->addMenu(instruments_)->setObjectName(QStringLiteral("Instrument1"));
    devices_ = new DeviceMenu(synthesizer);
    synthesizer->addMenu(devices_)->setObjectName(QStringLiteral("Gert1"));
    inputs_ = new DeviceMenu(tr("Eingang"), TForm1::tr(NoInputCaption), synthesizer);
    inputs_->setObjectName(QStringLiteral("InputMenu"));
    synthesizer->addMenu(inputs_)->setObjectName(QStringLiteral("Eingang1"));
    QMenu *channels = synthesizer->addMenu(tr("Kanal"));
    channels->setObjectName(QStringLiteral("Kanal1"));
    channels_ = new QActionGroup(channels);
    channels_->setExclusive(true);
    for (int channel = performance::FirstChannel; channel <= performance::LastChannel; ++channel) {
        QAction *item = channels->addAction(QString::number(channel));
        item->setObjectName(QStringLiteral("Kanal%1Item").arg(channel));
        item->setCheckable(true);
        item->setChecked(channel == performance::FirstChannel);
        channels_->addAction(item);
        common::GuardedConnect(item, &QAction::triggered, &form, [&form, channel] { form.ChannelClick(channel); });
    }
    synthesizer->addSeparator();
    velocityByPosition_ = AddItem(synthesizer, form, "AnschlagnachMausposition1",
                                  tr("Anschlag nach Mausposition"), &TForm1::VelocityByPositionClick);
    velocityByPosition_->setCheckable(true);
    keyLabels_ = AddItem(synthesizer, form, "PCTastenanzeigen1", tr("PC-Tasten anzeigen"),
                         &TForm1::KeyLabelsClick);
    keyLabels_->setCheckable(true);
    synthesizer->addSeparator();
    AddItem(synthesizer, form, "Tastatureinstellen1", tr("Tastatur einstellen..."),
            &TForm1::StartKeyAssignment);
    AddItem(synthesizer, form, "Standardbelegung1", tr("Standardbelegung"), &TForm1::RestoreDefaultKeyMap);

    QMenu *help = AddMenu(bar, "Hilfe1", tr("&Hilfe"));
    AddItem(help, form, "Info1", tr("Info..."), &TForm1::InfoClick);
    AddItem(help, form, "QuenlosHomepage1", tr("&Quenlo's Homepage"), &TForm1::HomepageClick);

    common::GuardedConnect(instruments_, &InstrumentMenu::ItemClicked, &form, &TForm1::InstrumentClick);
    common::GuardedConnect(devices_, &DeviceMenu::ItemClicked, &form, &TForm1::SelectDevice);
    common::GuardedConnect(devices_, &QMenu::aboutToShow, &form, &TForm1::RefreshDeviceMenu);
    common::GuardedConnect(inputs_, &DeviceMenu::ItemClicked, &form, &TForm1::SelectInput);
    common::GuardedConnect(inputs_, &QMenu::aboutToShow, &form, &TForm1::RefreshInputMenu);
}

void MainMenu::AddTransport(QToolButton *record, QToolButton *play, QToolButton *stop)
{
    static constexpr const char *Names[TransportCount] = {"Aufnahme2", "Wiedergabe1", "Angehalten1"};
    static constexpr QKeyCombination Keys[TransportCount] = {Qt::CTRL | Qt::Key_R, Qt::CTRL | Qt::Key_P,
                                                             Qt::CTRL | Qt::Key_Period};
    QToolButton *const buttons[TransportCount] = {record, play, stop};
    QAction *const first = recording_->actions().value(0);
    auto *group = new QActionGroup(recording_);
    group->setExclusive(true);
    for (int i = 0; i < TransportCount; ++i) {
        // The buttons' own texts, so that both say the same in any language.
        auto *item = new QAction(buttons[i]->text(), recording_);
        item->setObjectName(QString::fromLatin1(Names[i]));
        item->setCheckable(true);
        item->setChecked(buttons[i]->isChecked());
        SetShortcut(item, Keys[i]);
        group->addAction(item);
        recording_->insertAction(first, item);
        transport_[i] = item;
        QToolButton *button = buttons[i];
        // The click checks the button first, as the mouse's does; when the
        // command does not go ahead, the button of the state that goes on
        // comes back down, and with it its item.
        common::GuardedConnect(item, &QAction::triggered, button, [button] { button->click(); });
        // A screen reader hears the change on the menu item as on the button.
        common::GuardedConnect(button, &QToolButton::toggled, item, [menu = recording_, item](bool on) {
            if (!on)
                return;
            item->setChecked(true);
            TellChecked(menu, item);
        });
    }
    recording_->insertSeparator(first);
}

QAction *MainMenu::ChannelItem(int channel) const
{
    if (channel < performance::FirstChannel || channel > performance::LastChannel)
        return nullptr;
    return channels_->actions().at(channel - performance::FirstChannel);
}

} // namespace app
