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
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QShowEvent>
#include <QSlider>
#include <QToolButton>

#include <initializer_list>

namespace app {

namespace {
constexpr int FontPixelSize = 12;
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
    recording_->UseSettings(*settings_);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(kApplicationTitle));
    recording_->OnFileNamed([this](const std::string &fileName) {
        fileName_ = QFileInfo(QFile::decodeName(QByteArray::fromStdString(fileName))).fileName();
        ShowTitle();
    });
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(FontPixelSize);
    setFont(arial);

    transportLink_ = std::make_unique<TransportLink>(*this);
    transport_ = std::make_unique<recorder::Transport>(*transportLink_, notes_, *recordingStream_);
    notes_.SetTransport(transport_.get());
    drums_ = std::make_unique<recorder::DrumPattern>(notes_);
    CreateControls();
    keyboard_ = std::make_unique<PcKeyboard>(PcKeyboard::Parts{
        *this, controls_.keys_, keyModel_, player_, playing_, notes_, *settings_, deviceFailures_,
        [this] { return menus_->KeyLabelsItem()->isChecked(); },
        [this](int semitones) { playingControls_->MoveTransposition(semitones); }});
    session_ = std::make_unique<DeviceSession>(DeviceSession::Parts{
        *midiOut_, *midiIn_, *settings_, *menus_, inputRouter_, *drums_, deviceFailures_,
        [this] { playingControls_->SelectStoredInstrument(); },
        [this] { deviceFailures_.Rearm(); },
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
    controls_.DrumTimer->Stop();
    controls_.ClockTimer->Stop();
    // The drums and the clicks end while the device is still open.
    common::RunGuarded([this] { drums_->Silence(); });
    common::RunGuarded([this] { metronome_.Silence(); });
    const MainControls &c = controls_;
    for (QObject *sender : std::initializer_list<QObject *>{c.UpDown1, c.UpDown2, c.CheckBox1, c.TrackBar1,
                                                            c.SpeedButton1, c.SpeedButton2, c.SpeedButton3,
                                                            c.DrumTimer, c.ClockTimer})
        disconnect(sender, nullptr, this, nullptr);
    for (auto *key : c.keys_)
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
    controls_.UpDown1->StopRepeat();
    controls_.UpDown2->StopRepeat();
    common::RunGuarded([&failure] { std::rethrow_exception(failure); });
    // Gone when the box was shown from the window's destructor.
    if (settings_)
        settings_->FailureShown();
}

void TForm1::CreateControls()
{
    InstallAccessibility();
    menus_ = std::make_unique<MainMenu>(*this, menuBar());

    controls_ = BuildMainControls(*this, recorder::Transport::ClockIntervalMs);
    const MainControls &c = controls_;
    playingControls_ = std::make_unique<PlayingControls>(PlayingControls::Parts{
        c, *menus_, playing_, *settings_, notes_, *drums_, metronome_, *transport_, deviceFailures_});
    menus_->AddTransport(c.SpeedButton1, c.SpeedButton2, c.SpeedButton3);
    gatedMouse_ = std::make_unique<GatedMouse>(*this);
    for (auto *key : c.keys_) {
        key->SetMouseListener(gatedMouse_.get());
        key->SetModel(&keyModel_);
    }
    keyModel_.SetListener(
        [this](int number) { controls_.keys_[static_cast<std::size_t>(number - 1)]->SoundingChanged(); });

    // Handlers are connected only now, so that building the controls stores nothing.
    PlayingControls &playing = *playingControls_;
    common::GuardedConnect(c.UpDown1, &SpinButtons::PositionChanged, this, [&playing] { playing.TempoChanged(); });
    common::GuardedConnect(c.UpDown2, &SpinButtons::PositionChanged, this,
                           [&playing] { playing.TranspositionChanged(); });
    common::GuardedConnect(c.CheckBox1, &QCheckBox::toggled, this, [&playing] { playing.DrumsClicked(); });
    common::GuardedConnect(c.TrackBar1, &QSlider::valueChanged, this, [&playing] { playing.VolumeChanged(); });
    common::GuardedConnect(c.SpeedButton1, &QToolButton::clicked, this, &TForm1::RecordClick);
    common::GuardedConnect(c.SpeedButton2, &QToolButton::clicked, this, &TForm1::PlayClick);
    common::GuardedConnect(c.SpeedButton3, &QToolButton::clicked, this, &TForm1::StopClick);
    // The metronome's count goes on when the drums fail, and the drums' when it fails.
    connect(c.DrumTimer, &recorder::SteadyTimer::Timeout, this, [this]() noexcept {
        if (controls_.CheckBox1->isChecked())
            deviceFailures_.Run([this] { drums_->Tick(); });
        deviceFailures_.Run([this] { metronome_.Step(); });
    });
    connect(c.ClockTimer, &recorder::SteadyTimer::Timeout, this,
            [this]() noexcept {
                deviceFailures_.Run([this] { transport_->ClockTick(); });
                common::RunGuarded([this] { ShowTakeTime(transport_->Tick()); });
            });
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
    playingControls_->ApplyStored(*session_->StartUpErrors());
    menus_->KeyLabelsItem()->setChecked(settings_->ReadBool(CommonSection, ShowKeyLabelsKey, false));
    keyboard_->UpdateLabels();
}

void TForm1::ReloadKeyMap() { keyboard_->Reload(); }

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::KeyboardLayoutChange && keyboard_)
        common::RunGuarded([this] { keyboard_->UpdateLabels(); });
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
    if (const int held = keyModel_.MouseHeldKey())
        player_.KeyMouseUp(*controls_.keys_[static_cast<std::size_t>(held - 1)]);
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

void TForm1::InstrumentClick(int program) { playingControls_->InstrumentClick(program); }
void TForm1::ChannelClick(int channel) { playingControls_->ChannelClick(channel); }
void TForm1::VelocityByPositionClick() { playingControls_->VelocityByPositionClick(); }

void TForm1::KeyLabelsClick()
{
    keyboard_->UpdateLabels();
    settings_->WriteBool(CommonSection, ShowKeyLabelsKey, menus_->KeyLabelsItem()->isChecked());
}

void TForm1::MetronomeClick() { playingControls_->MetronomeClick(); }
void TForm1::CountInClick() { playingControls_->CountInClick(); }
void TForm1::RepeatClick() { playingControls_->RepeatClick(); }

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
    if (!titleUnsaved_)
        ShowTitle();
}

void TForm1::ShowTitle()
{
    QString title = QString::fromUtf8(kApplicationTitle);
    if (!fileName_.isEmpty())
        title = fileName_ + QStringLiteral(" – ") + title;
    titleUnsaved_ = recording_->Take().IsUnsaved();
    if (titleUnsaved_)
        title.prepend(QLatin1Char('*'));
    setWindowTitle(title);
}

void TForm1::ShowTakeTime(std::int32_t tick)
{
    const bool runs = transport_->IsRecording() || transport_->IsPlaying();
    if (runs)
        controls_.TakeTime->setText(TakeTimeText(tick));
    controls_.TakeTime->setVisible(runs);
}

void TForm1::EndBySignal()
{
    endingBySignal_ = true;
    recording_->Closing();
    close();
    // Also ends a modal loop that runs meanwhile (a question, a dialog).
    QCoreApplication::exit(0);
}

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

void TForm1::RecordClick()
{
    deviceFailures_.Rearm();
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
    if (playingControls_->CountInOn()) {
        // The take stays as it is until the count-in ends: a Stop meanwhile
        // keeps it.
        transport_->CountIn();
        playingControls_->StartCountIn([this] { BeginCountedTake(); });
        return;
    }
    // The take before was saved or given up: its journal goes, and the new
    // take's starts with its first record.
    recording_->TakeStarted();
    transport_->Record();
}

void TForm1::BeginCountedTake()
{
    // The clock counts from this beat: tick 1 comes one tick after it.
    controls_.ClockTimer->Start();
    recording_->TakeStarted();
    transport_->Record();
}

void TForm1::PlayClick()
{
    deviceFailures_.Rearm();
    transport_->Play();
}

void TForm1::StopClick()
{
    deviceFailures_.Rearm();
    Stop();
}

void TForm1::Stop()
{
    // The pedal goes up first, so that a take recorded with it down ends
    // with its release; a failed send is shown and the device is reset all
    // the same.
    common::RunGuarded([this] { keyboard_->Controls().ReleasePedal(); });
    common::RunGuarded([this] { metronome_.Silence(); });
    transport_->Stop();
}

} // namespace app
