#include "app/PcKeyboard.h"

#include "app/ErrorHandler.h"
#include "app/RepeatedFailureGate.h"
#include "app/SettingsWriter.h"
#include "app/UStrings.h"
#include "common/GuardedConnect.h"
#include "common/IntegerConversion.h"
#include "common/Language.h"
#include "performance/KeyMap.h"
#include "performance/KeyboardLayout.h"
#include "performance/WaylandKeymap.h"

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QWidget>

#include <string>

namespace app {

PcKeyboard::PcKeyboard(Parts parts)
    : parts_(std::move(parts)),
      controls_(parts_.model, states_, parts_.playing, parts_.notes, parts_.moveTransposition)
{
    for (auto *key : parts_.keys)
        key->SetPcKeySource(this);
}

PcKeyboard::~PcKeyboard()
{
    // Nothing may reach the pass while the window's parts go away.
    QObject::disconnect(QAbstractEventDispatcher::instance(parts_.window.thread()), nullptr, &parts_.window,
                        nullptr);
    if (filter_)
        qApp->removeEventFilter(filter_);
    KeyCodeList.clear();
    KeyNumberList.clear();
    parts_.model.SetKeyMap(KeyCodeList, KeyNumberList);
    for (auto *key : parts_.keys)
        key->SetPcKeySource(nullptr);
}

void PcKeyboard::Install()
{
    // Every key event and every loss of the keyboard is followed by a pass
    // when the loop goes idle.
    filter_ = new performance::KeyStateFilter(states_, &parts_.window);
    filter_->SetPlayingWindow(&parts_.window);
    filter_->SetPlayingKeys([this](int code) { return controls_.Plays(code); });
    // A playing key's press does not wait for the loop to go idle: its pass
    // is posted, and so runs once the events that came with the press (a
    // chord's other keys) are in, 40 us sooner than the idle pass.
    filter_->SetOnPlayingPress([this] {
        if (passPosted_)
            return;
        passPosted_ = true;
        QMetaObject::invokeMethod(
            &passReceiver_, [this]() noexcept { passPosted_ = false; common::RunGuarded([this] { Poll(); }); },
            Qt::QueuedConnection);
    });
    qApp->installEventFilter(filter_);
    common::GuardedConnect(QAbstractEventDispatcher::instance(parts_.window.thread()),
                           &QAbstractEventDispatcher::aboutToBlock, &parts_.window, [this] { Poll(); });
}

void PcKeyboard::Load(DistinctFailures &errors)
{
    for (const QString &fault : Read())
        errors.Run([&fault] { throw common::EConvertError(fault.toStdString()); });
    if (KeyCodeList.isEmpty() || KeyNumberList.isEmpty()) {
        KeyCodeList = performance::DefaultKeyCodeList();
        KeyNumberList = performance::DefaultKeyNumberList();
        Changed();
    }
}

void PcKeyboard::Reload()
{
    for (const QString &fault : Read())
        ErrorHandler::ShowError(fault);
}

QStringList PcKeyboard::Read()
{
    auto map = performance::KeyMapFromSection(parts_.settings.ReadSection(KeysSection),
                                              parts_.settings.ReadSectionValues(KeysSection));
    KeyCodeList = std::move(map.codes);
    KeyNumberList = std::move(map.numbers);
    Changed();
    // The conversion's own words, and where the entry stands, so that the
    // user can mend it.
    QStringList faults;
    for (const std::string &code : map.rejected) {
        QString what;
        try {
            common::StrToInt(code);
        } catch (const common::EConvertError &error) {
            what = WithFullStop(common::TranslatedMessage(error.what()));
        }
        faults.append(QCoreApplication::translate("app::TForm1", KeyEntryFaultText)
                          .arg(what, QString::fromLatin1(KeysSection), QString::fromStdString(code),
                               QFile::decodeName(QByteArray::fromStdString(parts_.settings.FileName()))));
    }
    return faults;
}

void PcKeyboard::Clear()
{
    parts_.settings.EraseSection(KeysSection);
    KeyCodeList.clear();
    KeyNumberList.clear();
    Changed();
}

void PcKeyboard::RestoreDefaults()
{
    EndHeldNotes();
    parts_.settings.EraseSection(KeysSection);
    for (std::size_t i = 0; i < performance::KeyCount; ++i)
        parts_.settings.WriteInteger(KeysSection, std::to_string(performance::DefaultKeyCodes[i]),
                                     performance::DefaultKeyNumbers[i]);
    KeyCodeList = performance::DefaultKeyCodeList();
    KeyNumberList = performance::DefaultKeyNumberList();
    Changed();
}

void PcKeyboard::EndHeldNotes()
{
    for (int number = 1; number <= performance::KeyCount; ++number)
        if (parts_.model.IsSounding(number) && number != parts_.model.MouseHeldKey())
            parts_.player.StopNote(number);
}

void PcKeyboard::Changed()
{
    parts_.model.SetKeyMap(KeyCodeList, KeyNumberList);
    UpdateLabels();
    // A new map's faults are found by a pass.
    gate_.Request();
}

void PcKeyboard::UpdateLabels() const
{
    names_.reset();
    const bool shown = parts_.showLabels();
    for (std::size_t i = 0; i < parts_.keys.size(); ++i)
        parts_.keys[i]->SetLabel(shown ? Names()[i] : QString());
}

const std::array<QString, performance::KeyCount> &PcKeyboard::Names() const
{
    if (!names_)
        names_ = performance::KeyLabels(KeyCodeList, KeyNumberList, Layout());
    return *names_;
}

performance::KeyboardLayout PcKeyboard::Layout() const
{
    if (!keymapWatched_ && QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        keymapWatched_ = true;
        keymapWatch_ = std::make_unique<performance::WaylandKeymapWatch>();
        common::GuardedConnect(keymapWatch_.get(), &performance::WaylandKeymapWatch::Changed, &parts_.window,
                               [this] { UpdateLabels(); });
    }
    if (keymapWatch_ && keymapWatch_->Keymap())
        return performance::KeyboardLayout::FromKeymapText(*keymapWatch_->Keymap());
    return performance::KeyboardLayout(performance::KeyboardLayout::CurrentNames());
}

QString PcKeyboard::PcKeysOf(const performance::PianoKey &key) const
{
    return Names()[static_cast<std::size_t>(key.Number() - 1)];
}

void PcKeyboard::Poll()
{
    gate_.Run([this] {
        // A key-map entry that stops the piano keys' pass does not stop the pedal.
        const bool keysDone = parts_.failures.Run([this] { poll_.PollKeyboard(); });
        const bool controlsDone = parts_.failures.Run([this] { controls_.Poll(); });
        return keysDone && controlsDone;
    });
}

void PcKeyboard::ReleaseHeldKeys()
{
    states_.ReleaseAll();
    parts_.failures.Run([this] { poll_.PollKeyboard(); });
}

} // namespace app
