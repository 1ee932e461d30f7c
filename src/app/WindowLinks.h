#pragma once
// The window's two small adapters: what the transport asks of the window,
// and the mouse on the piano keys. They reach into the window's parts, so
// they are its nested classes; only the window's own file includes this.

#include "app/UMain.h"
#include "recorder/Transport.h"

#include <QCheckBox>
#include <QToolButton>

namespace app {

// What the transport asks of the window: the stored instrument, the device,
// the drums check box and the transport buttons.
class TForm1::TransportLink final : public recorder::TransportHost {
public:
    explicit TransportLink(TForm1 &form) : form_(form) {}

    void SelectStoredInstrument() override
    {
        form_.playingControls_->SelectStoredInstrument();
    }
    void SilenceDevice() override
    {
        form_.session_->OpenChosen();
        form_.midiOut_->SilenceDevice();
        // Nothing the keyboard holds sounds now: its keys go dark, and a
        // later close of the input sends no Note Off for them.
        form_.inputRouter_.ForgetAll();
        form_.playbackKeys_.ForgetAll();
        form_.drums_->Forget();
    }
    void SwitchDrumsOff() override { form_.controls_.CheckBox1->setChecked(false); }
    void TakeEnded() override { form_.recording_->TakeEnded(); }
    void Played(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        form_.playbackKeys_.Played(status, data1, data2);
    }
    void ShowTransportState(recorder::TransportState state) override
    {
        // Whatever else the transport does ends a count-in (Play, Stop, a
        // file, the program's end); the count-in's own end has ended it.
        if (state != recorder::TransportState::CountingIn)
            form_.metronome_.CancelCountIn();
        if (state != recorder::TransportState::Playing)
            form_.playbackKeys_.ForgetAll();
        // Setting a button of the exclusive group down releases the others
        // and runs no action.
        switch (state) {
        case recorder::TransportState::CountingIn:
        case recorder::TransportState::Recording:
            form_.controls_.SpeedButton1->setChecked(true);
            break;
        case recorder::TransportState::Playing:
            form_.controls_.SpeedButton2->setChecked(true);
            break;
        case recorder::TransportState::Stopped:
            form_.controls_.SpeedButton3->setChecked(true);
            break;
        }
        form_.playingControls_->RunClockAsNeeded();
        form_.playingControls_->RunDrumTimerAsNeeded();
        // Recording and playback start at tick 0; a repeat stays Playing.
        form_.ShowTakeTime(0);
    }

private:
    TForm1 &form_;
};

// The mouse on the keys plays through the player; a device that fails the
// same way again is not told again, as for the PC keys.
class TForm1::GatedMouse final : public performance::KeyMouseListener {
public:
    explicit GatedMouse(TForm1 &form) : form_(form) {}
    void KeyMouseDown(performance::PianoKey &key, int y) override
    {
        form_.deviceFailures_.Run([&] { form_.player_.KeyMouseDown(key, y); });
    }
    void KeyMouseUp(performance::PianoKey &key) override
    {
        form_.deviceFailures_.Run([&] { form_.player_.KeyMouseUp(key); });
    }

private:
    TForm1 &form_;
};

} // namespace app
