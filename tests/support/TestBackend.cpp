#include "support/TestBackend.h"

#include "midi_out/MidiErrors.h"

#include <algorithm>
#include <cstring>

namespace midi_out {

TestBackend::TestBackend(std::vector<std::string> names, std::optional<std::string> mapperName)
{
    for (const auto &name : names)
        devices.push_back(Caps(name));
    if (mapperName)
        mapper = Caps(*mapperName, MOD_MAPPER);
    for (const auto &entry : MidiErrorTexts)
        errorTexts.emplace(entry.code, std::string(entry.text));
}

MidiOutCaps TestBackend::Caps(const std::string &name, std::uint16_t technology)
{
    MidiOutCaps caps;
    caps.wMid = 0xFF;
    caps.wPid = 1;
    caps.vDriverVersion = 0x0100;
    std::strncpy(caps.szPname, name.c_str(), sizeof caps.szPname - 1);
    caps.wTechnology = technology;
    caps.wVoices = 0;
    caps.wNotes = 0;
    caps.wChannelMask = AllChannels;
    caps.dwSupport = 0;
    return caps;
}

void TestBackend::Record(const Call &call)
{
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
    }
    if (observer)
        observer(call);
}

MidiResult TestBackend::FailureFor(Op op) const
{
    std::lock_guard lock(mutex_);
    const auto it = failures.find(op);
    return it == failures.end() ? 0 : it->second;
}

std::vector<TestBackend::Call> TestBackend::Calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<TestBackend::Call> TestBackend::CallsOf(Op op) const
{
    std::lock_guard lock(mutex_);
    std::vector<Call> result;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(result),
                 [op](const Call &call) { return call.op == op; });
    return result;
}

void TestBackend::ClearCalls()
{
    std::lock_guard lock(mutex_);
    calls_.clear();
}

std::vector<std::uint32_t> TestBackend::SentShortMessages() const
{
    std::vector<std::uint32_t> result;
    for (const auto &call : CallsOf(Op::ShortMessage))
        result.push_back(call.value);
    return result;
}

std::vector<DeviceHandle> TestBackend::OpenHandles() const
{
    std::lock_guard lock(mutex_);
    std::vector<DeviceHandle> result;
    for (const auto &[handle, device] : open_)
        result.push_back(handle);
    return result;
}

std::uint32_t TestBackend::DeviceCount()
{
    Record({Op::DeviceCount});
    return static_cast<std::uint32_t>(devices.size());
}

MidiResult TestBackend::GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size)
{
    Record({Op::GetDevCaps, deviceId});
    if (const MidiResult failure = FailureFor(Op::GetDevCaps))
        return failure;
    if (const auto it = devCapsFailures.find(deviceId); it != devCapsFailures.end())
        return it->second;
    if (caps == nullptr || size != sizeof(MidiOutCaps))
        return MIDIERR_INVALPARAM;
    if (deviceId == MIDI_MAPPER) {
        if (!mapper)
            return MIDIERR_BADDEVICEID;
        *caps = *mapper;
        return 0;
    }
    if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= devices.size())
        return MIDIERR_BADDEVICEID;
    *caps = devices[static_cast<std::size_t>(deviceId)];
    return 0;
}

MidiResult TestBackend::GetErrorText(MidiResult code, char *text, std::uint32_t size)
{
    Record({Op::GetErrorText, 0, 0, code});
    if (const MidiResult failure = FailureFor(Op::GetErrorText))
        return failure;
    const auto it = errorTexts.find(code);
    if (it == errorTexts.end() || text == nullptr || size == 0)
        return MIDIERR_BADDEVICEID;
    const std::size_t length = std::min<std::size_t>(it->second.size(), size - 1);
    std::memcpy(text, it->second.data(), length);
    text[length] = '\0';
    return 0;
}

MidiResult TestBackend::Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                             std::uintptr_t instance, std::uint32_t flags)
{
    const MidiResult failure = FailureFor(Op::Open);
    const bool exists = deviceId == MIDI_MAPPER ? mapper.has_value()
                                                : deviceId >= 0 && static_cast<std::size_t>(deviceId) < devices.size();
    DeviceHandle given = 0;
    MidiResult result = failure != 0 ? failure : exists ? 0 : MIDIERR_BADDEVICEID;
    if (result == 0) {
        std::lock_guard lock(mutex_);
        given = nextHandle_++;
        open_.emplace(given, OpenDevice{deviceId, callback, instance});
        *handle = given;
        lastCallback = callback;
        lastInstance = instance;
    }
    Record({Op::Open, deviceId, given, flags, instance});
    if (result == 0 && callback != nullptr)
        callback(given, MOM_OPEN, instance, 0, 0);
    return result;
}

std::uint32_t TestBackend::InputCount() { return static_cast<std::uint32_t>(sources.size()); }

MidiResult TestBackend::GetInputName(std::int32_t inputId, std::string *name)
{
    if (inputId < 0 || static_cast<std::size_t>(inputId) >= sources.size())
        return MIDIERR_BADDEVICEID;
    *name = sources[static_cast<std::size_t>(inputId)];
    return 0;
}

MidiResult TestBackend::OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                                  std::uintptr_t instance)
{
    const bool exists = inputId >= 0 && static_cast<std::size_t>(inputId) < sources.size();
    const MidiResult failure = FailureFor(Op::OpenInput);
    const MidiResult result = failure != 0 ? failure : exists ? 0 : MIDIERR_BADDEVICEID;
    DeviceHandle given = 0;
    if (result == 0) {
        std::lock_guard lock(mutex_);
        given = nextHandle_++;
        openInputs_.emplace(given, OpenDevice{inputId, callback, instance});
        *handle = given;
    }
    Record({Op::OpenInput, inputId, given, 0, instance});
    return result;
}

MidiResult TestBackend::CloseInput(DeviceHandle handle)
{
    Record({Op::CloseInput, 0, handle});
    if (const MidiResult failure = FailureFor(Op::CloseInput))
        return failure;
    std::lock_guard lock(mutex_);
    return openInputs_.erase(handle) == 1 ? 0 : MIDIERR_INVALHANDLE;
}

void TestBackend::PlayInput(const std::vector<std::uint8_t> &bytes, std::uint32_t timestamp)
{
    for (const auto &[handle, input] : InputsOpen()) {
        bool forwarded = false;
        ThruSlot *slot = nullptr;
        {
            std::lock_guard lock(mutex_);
            const auto thru = thru_.find(handle);
            if (thru != thru_.end() && open_.count(thru->second) == 1 && IsThruMessage(bytes.data(), bytes.size())) {
                forwarded_.push_back(bytes);
                forwarded = true;
            }
            if (const auto found = slots_.find(handle); found != slots_.end())
                slot = found->second.get();
        }
        if (!forwarded && slot != nullptr)
            forwarded = slot->Forward(bytes.data(), bytes.size());
        DeliverInput(input.callback, handle, input.instance, inputHeaders_, bytes.data(), bytes.size(), timestamp,
                     forwarded);
    }
}

bool TestBackend::SetThru(DeviceHandle input, DeviceHandle output)
{
    std::lock_guard lock(mutex_);
    const auto slot = slots_.find(input);
    if (slot != slots_.end())
        slot->second->Set(nullptr);
    thru_.erase(input);
    if (output == 0)
        return true;
    if (!forwards || openInputs_.count(input) == 0 || open_.count(output) == 0)
        return false;
    thru_[input] = output;
    return true;
}

ThruTarget *TestBackend::ThruTargetOf(DeviceHandle output)
{
    return forwards && IsOpen(output) ? &target_ : nullptr;
}

bool TestBackend::SetThruTarget(DeviceHandle input, ThruTarget *target)
{
    std::lock_guard lock(mutex_);
    if (openInputs_.count(input) == 0)
        return target == nullptr;
    thru_.erase(input);
    auto &slot = slots_[input];
    if (slot == nullptr)
        slot = std::make_unique<ThruSlot>();
    return slot->Set(target);
}

bool TestBackend::Target::Forward(const std::uint8_t *bytes, std::size_t length) noexcept
{
    if (owner_.refuseForwards.load())
        return false;
    std::lock_guard lock(owner_.mutex_);
    owner_.forwarded_.emplace_back(bytes, bytes + length);
    return true;
}

std::vector<std::vector<std::uint8_t>> TestBackend::Forwarded() const
{
    std::lock_guard lock(mutex_);
    return forwarded_;
}

void TestBackend::LoseSources()
{
    for (const auto &[handle, input] : InputsOpen())
        input.callback(handle, MIM_SOURCEGONE, input.instance, 0, 0);
}

std::map<DeviceHandle, TestBackend::OpenDevice> TestBackend::InputsOpen() const
{
    std::lock_guard lock(mutex_); // the callbacks run without it
    return openInputs_;
}

MidiResult TestBackend::Close(DeviceHandle handle)
{
    Record({Op::Close, 0, handle});
    if (const MidiResult failure = FailureFor(Op::Close))
        return failure;
    std::lock_guard lock(mutex_);
    // A closed device reports nothing more of what it had queued.
    std::erase_if(pending_, [handle](const Pending &p) { return p.handle == handle; });
    lost_.erase(handle);
    return open_.erase(handle) == 1 ? 0 : MIDIERR_INVALHANDLE;
}

MidiResult TestBackend::Silence(DeviceHandle handle)
{
    Record({Op::Silence, 0, handle});
    if (const MidiResult failure = FailureFor(Op::Silence))
        return failure;
    if (const MidiResult reason = LostReason(handle))
        return reason;
    return IsOpen(handle) ? 0 : MIDIERR_INVALHANDLE;
}

MidiResult TestBackend::ShortMessage(DeviceHandle handle, std::uint32_t message)
{
    Record({Op::ShortMessage, 0, handle, message});
    if (const MidiResult failure = FailureFor(Op::ShortMessage))
        return failure;
    if (const MidiResult reason = LostReason(handle))
        return reason;
    return IsOpen(handle) ? 0 : MIDIERR_INVALHANDLE;
}

void TestBackend::LoseOpenDevices(MidiResult reason)
{
    std::lock_guard lock(mutex_);
    for (const auto &[handle, device] : open_)
        lost_[handle] = reason;
}

MidiResult TestBackend::LostReason(DeviceHandle handle) const
{
    std::lock_guard lock(mutex_);
    const auto it = lost_.find(handle);
    return it == lost_.end() ? 0 : it->second;
}

bool TestBackend::IsOpen(DeviceHandle handle) const
{
    std::lock_guard lock(mutex_);
    return open_.count(handle) == 1;
}

MidiResult TestBackend::PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    Record({Op::PrepareHeader, 0, handle, size, reinterpret_cast<std::uintptr_t>(header)});
    if (const MidiResult failure = FailureFor(Op::PrepareHeader))
        return failure;
    if (!IsOpen(handle))
        return MIDIERR_INVALHANDLE;
    return MarkPrepared(header, size);
}

MidiResult TestBackend::LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    Call call{Op::LongMessage, 0, handle, size, reinterpret_cast<std::uintptr_t>(header)};
    if (header != nullptr && header->lpData != nullptr)
        call.bytes.assign(header->lpData, header->lpData + header->dwBufferLength);
    Record(call);
    if (const MidiResult failure = FailureFor(Op::LongMessage))
        return failure;
    if (const MidiResult reason = LostReason(handle))
        return reason;
    if (!IsOpen(handle))
        return MIDIERR_INVALHANDLE;
    if (const MidiResult result = MarkQueued(header, size))
        return result;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({handle, header});
    }
    if (completion == Completion::AtOnce)
        CompletePending();
    return 0;
}

MidiResult TestBackend::UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    Record({Op::UnprepareHeader, 0, handle, size, reinterpret_cast<std::uintptr_t>(header)});
    if (const MidiResult failure = FailureFor(Op::UnprepareHeader))
        return failure;
    if (!IsOpen(handle))
        return MIDIERR_INVALHANDLE;
    return MarkUnprepared(header, size);
}

std::size_t TestBackend::CompletePending(std::size_t count)
{
    std::size_t done = 0;
    for (; done < count; ++done) {
        Pending next;
        OpenDevice device;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty())
                break;
            next = pending_.front();
            pending_.erase(pending_.begin());
            device = open_.at(next.handle);
        }
        MarkDone(next.header);
        if (device.callback != nullptr)
            device.callback(next.handle, MOM_DONE, device.instance,
                            reinterpret_cast<std::uintptr_t>(next.header), 0);
    }
    return done;
}

std::size_t TestBackend::PendingCount() const
{
    std::lock_guard lock(mutex_);
    return pending_.size();
}

std::vector<std::vector<std::uint8_t>> TestBackend::SentLongMessages() const
{
    std::vector<std::vector<std::uint8_t>> result;
    for (const auto &call : CallsOf(Op::LongMessage))
        result.push_back(call.bytes);
    return result;
}

bool TestBackend::Post(NotifyWindow *window, std::uint32_t message, std::uintptr_t param1,
                       std::uintptr_t param2) noexcept
{
    try {
        Record({Op::Post, 0, 0, message, param1, param2});
    } catch (...) {
    }
    if (FailureFor(Op::Post) != 0)
        return false;
    return MidiBackend::Post(window, message, param1, param2);
}

} // namespace midi_out
