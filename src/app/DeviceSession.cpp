#include "app/DeviceSession.h"

#include "app/DeviceMenu.h"
#include "app/ErrorHandler.h"
#include "app/MainMenu.h"
#include "app/RepeatedFailureGate.h"
#include "app/SettingsWriter.h"
#include "app/UStrings.h"
#include "midi_out/MidiIn.h"
#include "midi_out/MidiOut.h"
#include "performance/InputRouter.h"
#include "recorder/DrumPattern.h"

#include <QCoreApplication>

#include <optional>
#include <utility>

namespace app {

DeviceSession::DeviceSession(Parts parts)
    : out_(parts.out), in_(parts.in), settings_(parts.settings), menus_(parts.menus), input_(parts.input),
      drums_(parts.drums), failures_(parts.failures),
      selectStoredInstrument_(std::move(parts.selectStoredInstrument)), userActed_(std::move(parts.userActed)),
      noDevices_(std::move(parts.noDevices))
{
}

DeviceSession::~DeviceSession() = default;

bool DeviceSession::Choose()
{
    devices_.Read(out_.Backend());
    if (devices_.Count() == 0)
        return false;
    if (!startUpErrors_)
        startUpErrors_ = std::make_unique<DistinctFailures>();
    startDevice_ = ChooseStartDevice(*startUpErrors_);
    menus_.Devices()->Rebuild(devices_, startDevice_);
    chosen_ = true;
    return true;
}

void DeviceSession::BeginWithoutChoice() { startUpErrors_ = std::make_unique<DistinctFailures>(); }

void DeviceSession::ForgetStart() { startUpErrors_.reset(); }

void DeviceSession::OpenChosen()
{
    if (!startUpErrors_)
        return;
    if (!chosen_ && !Choose()) {
        startUpErrors_.reset();
        noDevices_();
        return;
    }
    const std::unique_ptr<DistinctFailures> errors = std::move(startUpErrors_);
    // A device that does not open is not reported here: every note sent
    // until another device is chosen fails with the device's own message.
    errors->Run([&] {
        out_.SetDeviceID(startDevice_);
        out_.OpenDevice();
    });
    OpenStoredInput(*errors);
    errors->Run([this] { selectStoredInstrument_(); });
    errors->Report();
}

int DeviceSession::ChooseStartDevice(DistinctFailures &errors)
{
    // The stored name wins over the stored index: the index of a port changes
    // as others come and go. A device missing today is replaced by the first
    // one in memory only, so the user's choice comes back with the device.
    const int savedIndex = settings_.ReadInteger(DeviceSection, DeviceIdKey, 0);
    const std::string savedName = settings_.ReadString(DeviceSection, DeviceNameKey, std::string());
    if (!savedName.empty()) {
        const auto index = devices_.IndexOf(savedName);
        if (!index)
            return 0;
        if (*index != savedIndex)
            errors.Run([&] { settings_.WriteInteger(DeviceSection, DeviceIdKey, *index); });
        return *index;
    }
    if (savedIndex == midi_out::MIDI_MAPPER)
        return savedIndex;
    if (!devices_.IsValidIndex(savedIndex))
        return 0;
    errors.Run([&] { settings_.WriteString(DeviceSection, DeviceNameKey, devices_.NameOf(savedIndex)); });
    return savedIndex;
}

void DeviceSession::OpenStoredInput(DistinctFailures &errors)
{
    // As for the device, the name decides; a source missing today leaves the
    // input closed and the stored choice as it is.
    const std::string savedName = settings_.ReadString(InputDeviceSection, DeviceNameKey, std::string());
    std::optional<int> index;
    if (!savedName.empty()) {
        inputs_.ReadInputs(out_.Backend());
        index = inputs_.IndexOf(savedName);
    }
    menus_.Inputs()->Rebuild(inputs_, DeviceMenu::NoneIndex);
    if (!index)
        return;
    errors.Run([&] {
        if (settings_.ReadInteger(InputDeviceSection, DeviceIdKey, -1) != *index)
            settings_.WriteInteger(InputDeviceSection, DeviceIdKey, *index);
        if (!in_.Open(*index))
            throw midi_out::EmidioutputError(out_.Backend().ErrorText(in_.LastResult()));
        menus_.Inputs()->Check(*index);
    });
}

void DeviceSession::SelectDevice(int index)
{
    OpenChosen();
    DeviceMenu &menu = *menus_.Devices();
    menu.Check(index);
    // Notes held on the keyboard and the drums end on the device that sounds
    // them. One that takes no Note Off goes on: the close silences it, and a
    // failing device must not keep the user from choosing another. Its
    // failure is shown unless it was already (the device went with its
    // server), before the choice counts as the user's act.
    if (!failures_.Run([this] { input_.ReleaseAll(); }))
        input_.ForgetAll();
    failures_.Run([this] { drums_.Silence(); });
    userActed_();
    try {
        out_.CloseDevice();
        out_.SetDeviceID(index);
    } catch (...) {
        // The menu keeps showing the device that the component still means.
        menu.Check(out_.DeviceID());
        throw;
    }
    // A device that does not open is not reported here: every note sent
    // until another device is chosen fails with the device's own message.
    out_.OpenDevice();
    // The input forwards to the new device from its first message on.
    in_.FollowThru();
    settings_.WriteInteger(DeviceSection, DeviceIdKey, index);
    settings_.WriteString(DeviceSection, DeviceNameKey, devices_.NameOf(index));
}

void DeviceSession::SelectInput(int index)
{
    OpenChosen();
    DeviceMenu &menu = *menus_.Inputs();
    try {
        CloseInput();
    } catch (...) {
        menu.Check(in_.InputID());
        throw;
    }
    if (index == DeviceMenu::NoneIndex) {
        menu.Check(DeviceMenu::NoneIndex);
        settings_.EraseSection(InputDeviceSection);
        return;
    }
    if (!in_.Open(index)) {
        menu.Check(DeviceMenu::NoneIndex);
        throw midi_out::EmidioutputError(out_.Backend().ErrorText(in_.LastResult()));
    }
    menu.Check(index);
    settings_.WriteString(InputDeviceSection, DeviceNameKey, inputs_.NameOf(index));
    settings_.WriteInteger(InputDeviceSection, DeviceIdKey, index);
}

void DeviceSession::RefreshInputMenu()
{
    OpenChosen();
    const std::int32_t inUse = in_.InputID();
    const std::string inUseName = inputs_.NameOf(inUse);
    // A source missing from the new list is reported gone by the back end;
    // that notice closes the input.
    out_.Backend().RefreshInputs();
    inputs_.ReadInputs(out_.Backend());
    int selected = DeviceMenu::NoneIndex;
    if (in_.IsOpen()) {
        if (const auto now = inputs_.IndexOf(inUseName)) {
            selected = *now;
            if (*now != inUse) {
                in_.FollowRenumberedInput(*now);
                if (settings_.ReadString(InputDeviceSection, DeviceNameKey, std::string()) == inUseName)
                    settings_.WriteInteger(InputDeviceSection, DeviceIdKey, *now);
            }
        }
    }
    menus_.Inputs()->Rebuild(inputs_, selected);
}

void DeviceSession::CloseInput()
{
    std::exception_ptr failure;
    try {
        in_.Close();
    } catch (...) {
        failure = std::current_exception();
    }
    input_.ReleaseAll();
    if (failure)
        std::rethrow_exception(failure);
}

void DeviceSession::InputLost()
{
    menus_.Inputs()->Check(DeviceMenu::NoneIndex);
    // A device that went with the input (one server for both) is named in
    // the same message, and its sends' failure is not told again.
    const auto deviceLost = out_.LostText();
    if (deviceLost)
        failures_.MarkShown(*deviceLost);
    // The notes end first: the message box waits for the user. None of them
    // sounds any more where their Note Off cannot go.
    if (!failures_.Run([this] { input_.ReleaseAll(); }))
        input_.ForgetAll();
    ErrorHandler::ShowDetectedError(
        deviceLost ? QCoreApplication::translate("app::TForm1", InputAndDeviceGoneText).arg(DeviceMenu::Caption(out_.ProductName()))
                   : QCoreApplication::translate("app::TForm1", InputGoneText));
}

void DeviceSession::RefreshDeviceMenu()
{
    OpenChosen();
    const int inUse = out_.DeviceID();
    const std::string inUseName = devices_.NameOf(inUse);
    out_.Backend().RefreshDevices();
    devices_.Read(out_.Backend());
    int selected = inUse;
    if (inUse != midi_out::MIDI_MAPPER) {
        const auto now = devices_.IndexOf(inUseName);
        // A device that has gone leaves no item checked.
        selected = now ? *now : midi_out::MIDI_MAPPER;
        if (now && *now != inUse)
            Renumber(*now);
    }
    menus_.Devices()->Rebuild(devices_, selected);
}

void DeviceSession::Renumber(int index)
{
    // The device in use has another number in the new list. It stays open:
    // only choosing an item may cut what sounds on it.
    out_.FollowRenumberedDevice(index);
    if (settings_.ReadString(DeviceSection, DeviceNameKey, std::string()) == devices_.NameOf(index))
        settings_.WriteInteger(DeviceSection, DeviceIdKey, index);
}


} // namespace app
