#include "app/PlayingControls.h"

#include "app/InstrumentMenu.h"
#include "app/MainControls.h"
#include "app/MainMenu.h"
#include "app/RepeatedFailureGate.h"
#include "app/SettingsWriter.h"
#include "app/SpinButtons.h"
#include "app/UStrings.h"
#include "performance/KeyPlayer.h"
#include "recorder/DrumPattern.h"
#include "recorder/Metronome.h"
#include "recorder/NoteRouter.h"
#include "recorder/SteadyTimer.h"
#include "recorder/Transport.h"

#include <QAction>
#include <QCheckBox>
#include <QSignalBlocker>
#include <QSlider>

#include <cstdint>
#include <string>

namespace app {

namespace {
const std::string Common = CommonSection;
constexpr std::uint8_t ProgramChangeStatus = 0xC0; // channel 1
} // namespace

int PlayingControls::Tempo() const { return parts_.controls.UpDown1->Position(); }
int PlayingControls::Transposition() const { return parts_.controls.UpDown2->Position(); }
int PlayingControls::Volume() const { return parts_.controls.TrackBar1->value(); }
bool PlayingControls::VelocityByPosition() const { return parts_.menus.VelocityByPositionItem()->isChecked(); }
bool PlayingControls::CountInOn() const { return parts_.menus.CountInItem()->isChecked(); }

void PlayingControls::TempoChanged()
{
    parts_.controls.DrumTimer->SetInterval(recorder::DrumPattern::Interval(Tempo()));
    parts_.settings.WriteInteger(Common, BeatKey, Tempo());
}

void PlayingControls::TranspositionChanged()
{
    parts_.playing.transposition = Transposition();
    parts_.settings.WriteInteger(Common, TranspositionKey, Transposition());
}

void PlayingControls::DrumsClicked()
{
    const MainControls &c = parts_.controls;
    if (!c.CheckBox1->isChecked()) {
        // Before the user's act counts: a device whose failure the drums have
        // just shown does not show it again for their Note Offs.
        parts_.failures.Run([this] { parts_.drums.Silence(); });
    } else if (parts_.metronome.Runs()) {
        // The drums join the clicks on their beats.
        parts_.drums.SetStep(parts_.metronome.NextStep());
    }
    parts_.failures.Rearm();
    RunDrumTimerAsNeeded();
    RunClockAsNeeded();
    parts_.settings.WriteBool(Common, DrumsKey, c.CheckBox1->isChecked());
}

void PlayingControls::VolumeChanged()
{
    parts_.playing.volume = Volume();
    parts_.settings.WriteInteger(Common, VolumeKey, Volume());
}

void PlayingControls::MoveTransposition(int semitones)
{
    parts_.controls.UpDown2->SetPosition(Transposition() + semitones);
}

void PlayingControls::InstrumentClick(int program)
{
    parts_.menus.Instruments()->Item(program)->setChecked(true);
    parts_.notes.SendNote(performance::OnChannel(ProgramChangeStatus, parts_.playing.channel),
                          static_cast<std::uint8_t>(program), 0);
    parts_.settings.WriteInteger(Common, InstrumentKey, program);
}

void PlayingControls::SelectInstrument(int program)
{
    if (parts_.menus.Instruments()->Item(program))
        InstrumentClick(program);
}

void PlayingControls::SelectStoredInstrument()
{
    SelectInstrument(parts_.settings.ReadInteger(Common, InstrumentKey, 0));
}

void PlayingControls::ApplyChannel(int channel)
{
    if (channel < performance::FirstChannel || channel > performance::LastChannel)
        channel = performance::FirstChannel;
    parts_.playing.channel = channel;
    parts_.menus.ChannelItem(channel)->setChecked(true);
}

void PlayingControls::ChannelClick(int channel)
{
    ApplyChannel(channel);
    parts_.settings.WriteInteger(Common, ChannelKey, channel);
    // The new channel gets the chosen instrument, as the start does.
    SelectStoredInstrument();
}

void PlayingControls::VelocityByPositionClick()
{
    parts_.playing.velocityByPosition = VelocityByPosition();
    parts_.settings.WriteBool(Common, VelocityByPositionKey, VelocityByPosition());
}

void PlayingControls::MetronomeClick()
{
    const bool on = parts_.menus.MetronomeItem()->isChecked();
    if (on)
        parts_.metronome.SwitchOn(BeatStep());
    else
        parts_.metronome.SwitchOff();
    RunDrumTimerAsNeeded();
    parts_.failures.Rearm();
    parts_.settings.WriteBool(Common, MetronomeKey, on);
}

void PlayingControls::CountInClick() { parts_.settings.WriteBool(Common, CountInKey, CountInOn()); }

void PlayingControls::RepeatClick()
{
    const bool on = parts_.menus.RepeatItem()->isChecked();
    parts_.transport.SetRepeat(on);
    parts_.settings.WriteBool(Common, RepeatPlaybackKey, on);
}

void PlayingControls::StartCountIn(std::function<void()> begin)
{
    parts_.metronome.CountIn(BeatStep(), std::move(begin));
    RunDrumTimerAsNeeded();
}

std::uint8_t PlayingControls::BeatStep() const
{
    const MainControls &c = parts_.controls;
    return c.DrumTimer->IsActive() && c.CheckBox1->isChecked() ? parts_.drums.Step() : 0;
}

void PlayingControls::RunDrumTimerAsNeeded()
{
    const MainControls &c = parts_.controls;
    if (!parts_.metronome.Runs())
        parts_.failures.Run([this] { parts_.metronome.Silence(); });
    if (!c.CheckBox1->isChecked() && !parts_.metronome.Runs())
        c.DrumTimer->Stop();
    else if (!c.DrumTimer->IsActive())
        c.DrumTimer->Start();
}

void PlayingControls::RunClockAsNeeded()
{
    // The accompaniment keeps the clock going as well: the window's thread
    // wakes for the drums anyway. Ticks resume on the beat the clock kept
    // before it slept, so a recording or playback starts on it as it always
    // has.
    if (parts_.transport.NeedsClock() || parts_.controls.CheckBox1->isChecked())
        parts_.controls.ClockTimer->Resume();
    else
        parts_.controls.ClockTimer->Stop();
}

void PlayingControls::ApplyStored(DistinctFailures &errors)
{
    // Each value goes in with the control's signals held back and then runs
    // the control's handler, so that it also takes effect and is written
    // back when it equals the control's current value.
    const MainControls &c = parts_.controls;
    SettingsWriter &settings = parts_.settings;
    {
        const QSignalBlocker blocker(c.UpDown1);
        c.UpDown1->SetPosition(settings.ReadInteger(Common, BeatKey, c.UpDown1->Position()));
    }
    errors.Run([this] { TempoChanged(); });
    {
        const QSignalBlocker blocker(c.UpDown2);
        c.UpDown2->SetPosition(settings.ReadInteger(Common, TranspositionKey, c.UpDown2->Position()));
    }
    errors.Run([this] { TranspositionChanged(); });
    {
        const QSignalBlocker blocker(c.CheckBox1);
        c.CheckBox1->setChecked(settings.ReadBool(Common, DrumsKey, c.CheckBox1->isChecked()));
    }
    errors.Run([this] { DrumsClicked(); });
    {
        const QSignalBlocker blocker(c.TrackBar1);
        c.TrackBar1->setValue(settings.ReadInteger(Common, VolumeKey, c.TrackBar1->value()));
    }
    errors.Run([this] { VolumeChanged(); });
    // After the drums and the volume: the clicks start on the drums' beats,
    // as loud as the volume says.
    const MainMenu &m = parts_.menus;
    m.MetronomeItem()->setChecked(settings.ReadBool(Common, MetronomeKey, false));
    errors.Run([this] { MetronomeClick(); });
    m.CountInItem()->setChecked(settings.ReadBool(Common, CountInKey, false));
    m.RepeatItem()->setChecked(settings.ReadBool(Common, RepeatPlaybackKey, false));
    parts_.transport.SetRepeat(m.RepeatItem()->isChecked());
    ApplyChannel(settings.ReadInteger(Common, ChannelKey, performance::FirstChannel));
    parts_.menus.VelocityByPositionItem()->setChecked(settings.ReadBool(Common, VelocityByPositionKey, false));
    parts_.playing.velocityByPosition = VelocityByPosition();
}

} // namespace app
