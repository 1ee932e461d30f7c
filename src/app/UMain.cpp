#include "app/UMain.h"

#include "app/Accessibility.h"
#include "app/ErrorHandler.h"
#include "app/HelpPage.h"
#include "app/InstrumentMenu.h"
#include "app/MainMenu.h"
#include "app/SpinButtons.h"
#include "app/UAbout.h"
#include "app/UStrings.h"
#include "app/WindowLinks.h"
#include "common/Guard.h"
#include "common/GuardedConnect.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <initializer_list>

namespace app {

namespace {
const std::string Common = CommonSection;
constexpr std::uint8_t ProgramChangeStatus = 0xC0; // channel 1

} // namespace

TForm1::TForm1(std::unique_ptr<midi_out::MidiBackend> backend, const std::string &settingsFileName,
               std::vector<std::string> arguments, QWidget *parent, DeviceStart deviceStart)
    : QMainWindow(parent,
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowCloseButtonHint),
      midiOut_(std::make_unique<midi_out::TMidiOutput>(
          std::move(backend), midi_out::ComponentState{.countWhenAsked = deviceStart == DeviceStart::FromEventLoop})),
      midiIn_(std::make_unique<midi_out::TMidiInput>(
          midiOut_->Backend(),
          midi_out::TMidiInput::Handlers{
              [this](std::uint32_t message, bool forwarded) { inputRouter_.ShortMessage(message, forwarded); },
              [this](const std::uint8_t *bytes, std::size_t length, bool forwarded) {
                  inputRouter_.LongMessage(bytes, length, forwarded);
              },
              [this] { session_->InputLost(); }})),
      settings_(std::make_unique<SettingsWriter>(
          settingsFileName,
          [this](std::exception_ptr failure) {
              QMetaObject::invokeMethod(
                  this, [this, failure]() noexcept { ShowSettingsFailure(failure); }, Qt::QueuedConnection);
          })),
      recordingStream_(std::make_unique<recorder::RecordingStream>()),
      recording_(std::make_unique<RecordingCommands>(
          *this, *recordingStream_, [this] { StopForFile(); }, [this] { close(); })),
      arguments_(std::move(arguments))
{
    // The input's messages go on to the device from the back end's thread
    // where it can (JACK to JACK in the same cycle), so a busy window does
    // not hold them up.
    midiIn_->ForwardTo(midiOut_.get());
    recording_->RememberFolders(
        [this] { return settings_->ReadString(CommonSection, LastFolderKey, std::string()); },
        [this](const std::string &folder) { settings_->WriteString(CommonSection, LastFolderKey, folder); });
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(kApplicationTitle));
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(FontPixelSize);
    setFont(arial);

    transportLink_ = std::make_unique<TransportLink>(*this);
    transport_ = std::make_unique<recorder::Transport>(*transportLink_, notes_, *recordingStream_);
    notes_.SetTransport(transport_.get());
    drums_ = std::make_unique<recorder::DrumPattern>(notes_);
    CreateControls();
    keyboard_ = std::make_unique<PcKeyboard>(PcKeyboard::Parts{
        *this, keys_, keyModel_, player_, playing_, notes_, *settings_, deviceFailures_,
        [this] { return menus_->KeyLabelsItem()->isChecked(); },
        [this](int semitones) { MoveTransposition(semitones); }});
    session_ = std::make_unique<DeviceSession>(DeviceSession::Parts{
        *midiOut_, *midiIn_, *settings_, *menus_, inputRouter_, *drums_, deviceFailures_,
        [this] { SelectInstrument(settings_->ReadInteger(Common, InstrumentKey, 0)); },
        [this] { RearmRepeatedFailures(); },
        [this] {
            // As a start that reads them at once: told, and the program ends.
            shouldTerminate_ = true;
            ErrorHandler::ShowDetectedError(tr(NoDevicesText));
            close();
        }});

    // Everything the window owns exists before the start-up sequence runs,
    // so a sequence cut short by an error leaves a window that still works.
    common::RunGuarded([this, deviceStart] { StartUp(deviceStart); });
    if (deviceStart == DeviceStart::Now)
        common::RunGuarded([this] { session_->OpenChosen(); });
    else
        QMetaObject::invokeMethod(
            this, [this]() noexcept { common::RunGuarded([this] { session_->OpenChosen(); }); },
            Qt::QueuedConnection);
}

TForm1::~TForm1()
{
    recording_->WindowGoing();
    // A device not yet opened stays closed.
    session_->ForgetStart();
    // Quitting lets a held pedal go up while the device is still open.
    common::RunGuarded([this] { keyboard_->Controls().ReleasePedal(); });
    // So do the keys held meanwhile: a stop signal ends the program without
    // the loss of focus that ends them at a close.
    common::RunGuarded([this] { keyboard_->ReleaseHeldKeys(); });
    common::RunGuarded([this] { EndMouseHeldNote(); });
    // A take ends closed and a playback leaves no note sounding.
    common::RunGuarded([this] { transport_->Halt(); });
    // Nothing may reach this window's handlers while its parts go away.
    keyboard_.reset();
    DrumTimer->Stop();
    ClockTimer->Stop();
    // The drums end while the device is still open.
    common::RunGuarded([this] { drums_->Silence(); });
    for (QObject *sender : std::initializer_list<QObject *>{
             UpDown1, UpDown2, CheckBox1, TrackBar1, SpeedButton1, SpeedButton2, SpeedButton3,
             DrumTimer, ClockTimer})
        disconnect(sender, nullptr, this, nullptr);
    for (auto *key : keys_)
        key->SetMouseListener(nullptr);
    keyModel_.SetListener({});
    // Notes held on the keyboard end while the device is still open.
    common::RunGuarded([this] { session_->CloseInput(); });

    // The last changes are in the file before the program ends, or the user
    // learns that they are not.
    bool written = false;
    common::RunGuarded([this, &written] {
        written = settings_->Flush(SettingsWriter::ExitBound);
        if (!written)
            throw EIniFileException(SettingsFile(settings_->FileName()).WriteRefusedMessage());
    });
    // A refusal on its way to the window is shown before the window goes;
    // when the writes did not finish, the file's message has just been shown.
    if (written)
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    // A save the user did not give up on gets as long to finish, and its
    // failure is shown.
    recording_->FinishAtExit(SettingsWriter::ExitBound);
    settings_.reset();
    recordingStream_.reset();
    common::RunGuarded([this] { midiOut_->CloseDevice(); });
}

void TForm1::ShowSettingsFailure(const std::exception_ptr &failure)
{
    // A held spin button would go on storing into the file that refused.
    UpDown1->StopRepeat();
    UpDown2->StopRepeat();
    common::RunGuarded([&failure] { std::rethrow_exception(failure); });
    // Gone when the box was shown from the window's destructor.
    if (settings_)
        settings_->FailureShown();
}

void TForm1::CreateControls()
{
    InstallAccessibility();
    menus_ = std::make_unique<MainMenu>(*this, menuBar());

    static_cast<MainControls &>(*this) = BuildMainControls(*this, ClockIntervalMs);
    menus_->AddTransport(SpeedButton1, SpeedButton2, SpeedButton3);
    gatedMouse_ = std::make_unique<GatedMouse>(*this);
    for (auto *key : keys_) {
        key->SetMouseListener(gatedMouse_.get());
        key->SetModel(&keyModel_);
    }
    keyModel_.SetListener([this](int number) { keys_[static_cast<std::size_t>(number - 1)]->SoundingChanged(); });

    // Handlers are connected only now, so that building the controls stores nothing.
    common::GuardedConnect(UpDown1, &SpinButtons::PositionChanged, this, &TForm1::TempoChanged);
    common::GuardedConnect(UpDown2, &SpinButtons::PositionChanged, this, &TForm1::TranspositionChanged);
    common::GuardedConnect(CheckBox1, &QCheckBox::toggled, this, &TForm1::DrumsClicked);
    common::GuardedConnect(TrackBar1, &QSlider::valueChanged, this, &TForm1::VolumeChanged);
    common::GuardedConnect(SpeedButton1, &QToolButton::clicked, this, &TForm1::RecordClick);
    common::GuardedConnect(SpeedButton2, &QToolButton::clicked, this, &TForm1::PlayClick);
    common::GuardedConnect(SpeedButton3, &QToolButton::clicked, this, &TForm1::StopClick);
    connect(DrumTimer, &recorder::SteadyTimer::Timeout, this,
            [this]() noexcept { deviceFailures_.Run([this] { DrumTick(); }); });
    connect(ClockTimer, &recorder::SteadyTimer::Timeout, this,
            [this]() noexcept { deviceFailures_.Run([this] { ClockTick(); }); });
}

void TForm1::StartUp(DeviceStart deviceStart)
{
    if (deviceStart == DeviceStart::FromEventLoop)
        session_->BeginWithoutChoice();
    else if (!session_->Choose()) {
        shouldTerminate_ = true;
        ErrorHandler::ShowDetectedError(tr(NoDevicesText));
        return;
    }

    keyboard_->Install();
    keyboard_->Load(*session_->StartUpErrors());
    ApplyStoredSettings(*session_->StartUpErrors());
}

void TForm1::ReloadKeyMap() { keyboard_->Reload(); }

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::KeyboardLayoutChange && keyboard_)
        common::RunGuarded([this] { keyboard_->UpdateLabels(); });
}

void TForm1::PollKeyboard() { keyboard_->Poll(); }

void TForm1::MoveTransposition(int semitones)
{
    // Through the spin buttons: kept within range, shown and stored.
    UpDown2->SetPosition(UpDown2->Position() + semitones);
}

void TForm1::AssignKey(int code, int number)
{
    settings_->WriteInteger(KeysSection, std::to_string(code), number);
}

void TForm1::StartKeyAssignment()
{
    // A start while the window is open begins again at key 1.
    if (assignmentWindow_ && assignmentWindow_->isVisible())
        assignmentWindow_->hide();
    keyboard_->Clear();
    if (assignmentWindow_) {
        assignmentWindow_->show();
        assignmentWindow_->raise();
        assignmentWindow_->activateWindow();
    }
    keyboard_->EndHeldNotes();
}

void TForm1::RestoreDefaultKeyMap()
{
    if (assignmentWindow_ && assignmentWindow_->isVisible())
        assignmentWindow_->hide();
    keyboard_->RestoreDefaults();
}

void TForm1::ApplyStoredSettings(DistinctFailures &errors)
{
    // Each value goes in with the control's signals held back and then runs
    // the control's handler, so that it also takes effect and is written
    // back when it equals the control's current value.
    {
        const QSignalBlocker blocker(UpDown1);
        UpDown1->SetPosition(settings_->ReadInteger(Common, BeatKey, UpDown1->Position()));
    }
    errors.Run([this] { TempoChanged(); });
    {
        const QSignalBlocker blocker(UpDown2);
        UpDown2->SetPosition(
            settings_->ReadInteger(Common, TranspositionKey, UpDown2->Position()));
    }
    errors.Run([this] { TranspositionChanged(); });
    {
        const QSignalBlocker blocker(CheckBox1);
        CheckBox1->setChecked(settings_->ReadBool(Common, DrumsKey, CheckBox1->isChecked()));
    }
    errors.Run([this] { DrumsClicked(); });
    {
        const QSignalBlocker blocker(TrackBar1);
        TrackBar1->setValue(settings_->ReadInteger(Common, VolumeKey, TrackBar1->value()));
    }
    errors.Run([this] { VolumeChanged(); });
    ApplyChannel(settings_->ReadInteger(Common, ChannelKey, performance::FirstChannel));
    menus_->VelocityByPositionItem()->setChecked(settings_->ReadBool(Common, VelocityByPositionKey, false));
    playing_.velocityByPosition = VelocityByPosition();
    menus_->KeyLabelsItem()->setChecked(settings_->ReadBool(Common, ShowKeyLabelsKey, false));
    keyboard_->UpdateLabels();
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        common::RunGuarded([this] { recording_->LoadCommandLineFile(arguments_); });
    // Once the window is there to ask from.
    if (!leftTakesOffered_) {
        leftTakesOffered_ = true;
        common::RunGuarded([this] { recording_->OfferLeftTakes(); });
    }
}

bool TForm1::event(QEvent *event)
{
    if (event->type() == QEvent::WindowBlocked)
        common::RunGuarded([this] { EndMouseHeldNote(); });
    return QMainWindow::event(event);
}

void TForm1::EndMouseHeldNote()
{
    // The release goes to the modal window, so end the note as the release
    // would have; focus loss does the same for PC keys.
    if (performance::PianoKey *held = MouseHeldKey())
        player_.KeyMouseUp(*held);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    bool mayClose = endingBySignal_;
    if (!mayClose)
        common::RunGuarded([this, &mayClose] { mayClose = recording_->MayClose(); });
    if (!mayClose) {
        event->ignore();
        return;
    }
    // Whatever still waits for a save gives up: the program is ending.
    recording_->Closing();
    common::RunGuarded([this] { keyboard_->Controls().ReleasePedal(); });
    QMainWindow::closeEvent(event);
}

void TForm1::SelectInstrument(int program)
{
    if (menus_->Instruments()->Item(program))
        InstrumentClick(program);
}

void TForm1::InstrumentClick(int program)
{
    menus_->Instruments()->Item(program)->setChecked(true);
    notes_.SendNote(performance::OnChannel(ProgramChangeStatus, playing_.channel), static_cast<std::uint8_t>(program), 0);
    settings_->WriteInteger(Common, InstrumentKey, program);
}

void TForm1::ApplyChannel(int channel)
{
    if (channel < performance::FirstChannel || channel > performance::LastChannel)
        channel = performance::FirstChannel;
    playing_.channel = channel;
    menus_->ChannelItem(channel)->setChecked(true);
}

void TForm1::ChannelClick(int channel)
{
    ApplyChannel(channel);
    settings_->WriteInteger(Common, ChannelKey, channel);
    // The new channel gets the chosen instrument, as the start does.
    SelectInstrument(settings_->ReadInteger(Common, InstrumentKey, 0));
}

bool TForm1::VelocityByPosition() const { return menus_->VelocityByPositionItem()->isChecked(); }

void TForm1::VelocityByPositionClick()
{
    playing_.velocityByPosition = VelocityByPosition();
    settings_->WriteBool(Common, VelocityByPositionKey, VelocityByPosition());
}

void TForm1::KeyLabelsClick()
{
    keyboard_->UpdateLabels();
    settings_->WriteBool(Common, ShowKeyLabelsKey, menus_->KeyLabelsItem()->isChecked());
}

void TForm1::InfoClick()
{
    // Made when first asked for: the window's start does not wait for it.
    if (!aboutBox_) {
        ownAboutBox_ = std::make_unique<TAboutBox>();
        aboutBox_ = ownAboutBox_.get();
    }
    aboutBox_->exec();
}

void TForm1::HomepageClick() { OpenHelpPage(QCoreApplication::applicationDirPath()); }

void TForm1::DeviceNeeded() { session_->OpenChosen(); }

void TForm1::SelectDevice(int index) { session_->SelectDevice(index); }
void TForm1::RefreshDeviceMenu() { session_->RefreshDeviceMenu(); }
void TForm1::SelectInput(int index) { session_->SelectInput(index); }
void TForm1::RefreshInputMenu() { session_->RefreshInputMenu(); }

// The device sounds again: a key that fails later is told anew.
void TForm1::Sent() { deviceFailures_.Rearm(); }

void TForm1::Recorded()
{
    recording_->Take().MarkChanged();
    recording_->TakeGrew();
}

void TForm1::EndBySignal()
{
    endingBySignal_ = true;
    recording_->Closing();
    close();
    // Also ends a modal loop that runs meanwhile (a question, a dialog).
    QCoreApplication::exit(0);
}

QFileDialog *TForm1::OpenDialog1() { return recording_->OpenDialog(); }
QFileDialog *TForm1::SaveDialog1() { return recording_->SaveDialog(); }
void TForm1::ffnen1Click() { recording_->Open(); }
void TForm1::Speichern1Click() { recording_->Save(); }

void TForm1::StopForFile()
{
    // "Angehalten" goes down before Stop runs, so the instrument Stop sends
    // is not appended to a recording that is about to be saved. A device
    // that fails here is told once, and the save or open goes on: nothing
    // the device does may cost the user their take.
    deviceFailures_.Run([this] { transport_->Halt(); });
    deviceFailures_.Run([this] { Stop(); });
}

int TForm1::Transposition() const { return UpDown2->Position(); }

int TForm1::Volume() const { return TrackBar1->value(); }
int TForm1::Tempo() const { return UpDown1->Position(); }
bool TForm1::IsRecording() const { return transport_->IsRecording(); }

void TForm1::TempoChanged()
{
    DrumTimer->SetInterval(recorder::DrumPattern::IntervalMs(Tempo()));
    settings_->WriteInteger(Common, BeatKey, Tempo());
}

void TForm1::TranspositionChanged()
{
    playing_.transposition = Transposition();
    settings_->WriteInteger(Common, TranspositionKey, Transposition());
}

void TForm1::DrumsClicked()
{
    if (!CheckBox1->isChecked()) {
        DrumTimer->Stop();
        // Before the user's act counts: a device whose failure the drums have
        // just shown does not show it again for their Note Offs.
        deviceFailures_.Run([this] { drums_->Silence(); });
    }
    RearmRepeatedFailures();
    if (CheckBox1->isChecked() && !DrumTimer->IsActive())
        DrumTimer->Start();
    RunClockAsNeeded();
    settings_->WriteBool(Common, DrumsKey, CheckBox1->isChecked());
}

void TForm1::VolumeChanged()
{
    playing_.volume = Volume();
    settings_->WriteInteger(Common, VolumeKey, Volume());
}

void TForm1::RecordClick()
{
    RearmRepeatedFailures();
    // The button went down with the click; when the take stays, the button
    // of the state that goes on comes back down (also after a failed save).
    bool goOn = false;
    try {
        goOn = recording_->MayDiscardTake();
    } catch (...) {
        transportLink_->ShowTransportState(transport_->State());
        throw;
    }
    if (!goOn) {
        transportLink_->ShowTransportState(transport_->State());
        return;
    }
    // The take before was saved or given up: its journal goes, and the new
    // take's starts with its first record.
    recording_->TakeStarted();
    transport_->Record();
}

void TForm1::PlayClick()
{
    RearmRepeatedFailures();
    transport_->Play();
}

void TForm1::StopClick()
{
    RearmRepeatedFailures();
    Stop();
}

void TForm1::RearmRepeatedFailures()
{
    deviceFailures_.Rearm();
}

void TForm1::Stop()
{
    // The pedal goes up first, so that a take recorded with it down ends
    // with its release; a failed send is shown and the device is reset all
    // the same.
    common::RunGuarded([this] { keyboard_->Controls().ReleasePedal(); });
    transport_->Stop();
}

void TForm1::RunClockAsNeeded()
{
    // The accompaniment keeps the clock going as well: the window's thread
    // wakes for the drums anyway. Ticks resume on the beat the clock kept
    // before it slept, so a recording or playback starts on it as it always
    // has.
    if (transport_->NeedsClock() || CheckBox1->isChecked())
        ClockTimer->Resume();
    else
        ClockTimer->Stop();
}

void TForm1::ClockTick() { transport_->ClockTick(); }

void TForm1::DrumTick() { drums_->Tick(); }

} // namespace app
