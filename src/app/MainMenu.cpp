#include "app/MainMenu.h"

#include "app/DeviceMenu.h"
#include "app/InstrumentMenu.h"
#include "app/UMain.h"
#include "app/UStrings.h"
#include "common/GuardedConnect.h"

#include "performance/KeyPlayer.h"

#include <QActionGroup>
#include <QMenuBar>

namespace app {

namespace {

QMenu *AddMenu(QMenuBar *bar, const char *name, const char *title)
{
    QMenu *menu = bar->addMenu(QString::fromUtf8(title));
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

template <class Handler>
QAction *AddItem(QMenu *menu, TForm1 &form, const char *name, const char *caption, Handler handler)
{
    QAction *item = menu->addAction(QString::fromUtf8(caption));
    item->setObjectName(QString::fromLatin1(name));
    common::GuardedConnect(item, &QAction::triggered, &form, handler);
    return item;
}

} // namespace

MainMenu::MainMenu(TForm1 &form, QMenuBar *bar)
{
    QMenu *program = AddMenu(bar, "Programm1", "&Programm");
    AddItem(program, form, "Beenden1", "&Beenden", &TForm1::close);

    QMenu *recording = AddMenu(bar, "Aufnahme1", "&Aufnahme");
    AddItem(recording, form, "ffnen1", "Ö&ffnen...", &TForm1::ffnen1Click);
    AddItem(recording, form, "Speichern1", "&Speichern...", &TForm1::Speichern1Click);

    QMenu *synthesizer = AddMenu(bar, "Synthesizer1", "&Synthesizer");
    instruments_ = new InstrumentMenu(synthesizer);
    synthesizer->addMenu(instruments_)->setObjectName(QStringLiteral("Instrument1"));
    devices_ = new DeviceMenu(synthesizer);
    synthesizer->addMenu(devices_)->setObjectName(QStringLiteral("Gert1"));
    inputs_ = new DeviceMenu(QStringLiteral("Eingang"), QString::fromUtf8(NoInputCaption), synthesizer);
    inputs_->setObjectName(QStringLiteral("InputMenu"));
    synthesizer->addMenu(inputs_)->setObjectName(QStringLiteral("Eingang1"));
    QMenu *channels = synthesizer->addMenu(QStringLiteral("Kanal"));
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
                                  "Anschlag nach Mausposition", &TForm1::VelocityByPositionClick);
    velocityByPosition_->setCheckable(true);
    keyLabels_ = AddItem(synthesizer, form, "PCTastenanzeigen1", "PC-Tasten anzeigen",
                         &TForm1::KeyLabelsClick);
    keyLabels_->setCheckable(true);
    synthesizer->addSeparator();
    AddItem(synthesizer, form, "Tastatureinstellen1", "Tastatur einstellen...",
            &TForm1::StartKeyAssignment);

    QMenu *help = AddMenu(bar, "Hilfe1", "&Hilfe");
    AddItem(help, form, "Info1", "Info...", &TForm1::InfoClick);
    AddItem(help, form, "QuenlosHomepage1", "&Quenlo's Homepage", &TForm1::HomepageClick);

    common::GuardedConnect(instruments_, &InstrumentMenu::ItemClicked, &form, &TForm1::InstrumentClick);
    common::GuardedConnect(devices_, &DeviceMenu::ItemClicked, &form, &TForm1::SelectDevice);
    common::GuardedConnect(devices_, &QMenu::aboutToShow, &form, &TForm1::RefreshDeviceMenu);
    common::GuardedConnect(inputs_, &DeviceMenu::ItemClicked, &form, &TForm1::SelectInput);
    common::GuardedConnect(inputs_, &QMenu::aboutToShow, &form, &TForm1::RefreshInputMenu);
}

QAction *MainMenu::ChannelItem(int channel) const
{
    if (channel < performance::FirstChannel || channel > performance::LastChannel)
        return nullptr;
    return channels_->actions().at(channel - performance::FirstChannel);
}

} // namespace app
