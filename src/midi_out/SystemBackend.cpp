#include "midi_out/SystemBackend.h"

#include "midi_out/BackendSupport.h"
#include "midi_out/FluidSynthBackend.h"
#include "midi_out/JackBackend.h"
#include "midi_out/MidiErrors.h"
#include "midi_out/RtMidiBackend.h"

#include <algorithm>
#include <cstring>

namespace midi_out {

SystemBackend::SystemBackend(std::vector<std::unique_ptr<MidiBackend>> parts) : parts_(std::move(parts))
{
    PrepareSoundLibraries();
    // The devices are read when first asked for: reading them asks the sound
    // servers, which a program may want to do after it has shown itself.
}

SystemBackend::~SystemBackend()
{
    // The parts call back through the records here until their inputs close.
    for (const auto &[handle, opened] : openInputs_)
        opened->part->CloseInput(opened->partHandle);
}

void SystemBackend::RefreshDevices()
{
    listed_ = true;
    devices_.clear();
    std::vector<std::string> names;
    for (const auto &part : parts_) {
        part->RefreshDevices();
        const std::uint32_t count = part->DeviceCount();
        for (std::uint32_t i = 0; i < count; ++i) {
            Device device{part.get(), static_cast<std::int32_t>(i), {}, {}, 0};
            device.capsResult = part->GetDevCaps(device.index, &device.caps, sizeof device.caps);
            names.emplace_back(device.caps.szPname, strnlen(device.caps.szPname, sizeof device.caps.szPname));
            if (device.capsResult != MIDIERR_NOERROR)
                names.back().clear();
            devices_.push_back(std::move(device));
        }
    }
    // Names are how the component selects by name: two ports of different
    // APIs must not share one.
    MakeDeviceNamesUnique(names);
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        Device &device = devices_[i];
        device.name = std::move(names[i]);
        std::memset(device.caps.szPname, 0, sizeof device.caps.szPname);
        std::memcpy(device.caps.szPname, device.name.data(),
                    std::min(device.name.size(), sizeof device.caps.szPname - 1));
    }
}

std::uint32_t SystemBackend::DeviceCount()
{
    if (!listed_)
        RefreshDevices();
    return static_cast<std::uint32_t>(devices_.size());
}

const SystemBackend::Device *SystemBackend::FindDevice(std::int32_t deviceId)
{
    if (!listed_)
        RefreshDevices();
    if (deviceId == MIDI_MAPPER)
        deviceId = 0;
    if (deviceId < 0 || static_cast<std::size_t>(deviceId) >= devices_.size())
        return nullptr;
    return &devices_[static_cast<std::size_t>(deviceId)];
}

MidiResult SystemBackend::GetDevCaps(std::int32_t deviceId, MidiOutCaps *caps, std::uint32_t size)
{
    const Device *found = FindDevice(deviceId);
    if (found == nullptr)
        return MIDIERR_BADDEVICEID;
    if (found->capsResult != MIDIERR_NOERROR)
        return found->capsResult;
    if (deviceId != MIDI_MAPPER)
        return CopyCaps(found->caps, caps, size);
    MidiOutCaps record = found->caps;
    std::memset(record.szPname, 0, sizeof record.szPname);
    std::memcpy(record.szPname, MapperName, std::strlen(MapperName));
    record.wTechnology = MOD_MAPPER;
    return CopyCaps(record, caps, size);
}

void SystemBackend::Relay(DeviceHandle, std::uint32_t message, std::uintptr_t instance, std::uintptr_t param1,
                          std::uintptr_t param2)
{
    const auto *opened = reinterpret_cast<const OpenDevice *>(instance);
    opened->callback(opened->handle, message, opened->instance, param1, param2);
}

MidiResult SystemBackend::Open(DeviceHandle *handle, std::int32_t deviceId, DriverCallbackProc callback,
                               std::uintptr_t instance, std::uint32_t flags)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    const Device *found = FindDevice(deviceId);
    if (found == nullptr)
        return lastOpenFailure_ = MIDIERR_BADDEVICEID;

    auto opened = std::make_unique<OpenDevice>();
    opened->part = found->part;
    opened->handle = nextHandle_;
    opened->callback = callback;
    opened->instance = instance;
    const MidiResult result =
        found->part->Open(&opened->partHandle, found->index, callback != nullptr ? &Relay : nullptr,
                          reinterpret_cast<std::uintptr_t>(opened.get()), flags);
    if (result != MIDIERR_NOERROR)
        return lastOpenFailure_ = result;
    lastOpenFailure_ = MIDIERR_NOERROR;
    ++nextHandle_;
    *handle = opened->handle;
    open_[opened->handle] = std::move(opened);
    return MIDIERR_NOERROR;
}

MidiResult SystemBackend::Close(DeviceHandle handle)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    // No source's thread plays a device that closes: its close silences it.
    EndThruTo(handle);
    if (const MidiResult result = found->second->part->Close(found->second->partHandle))
        return result;
    open_.erase(found);
    return MIDIERR_NOERROR;
}

MidiResult SystemBackend::Silence(DeviceHandle handle)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    return found->second->part->Silence(found->second->partHandle);
}

MidiResult SystemBackend::Lost(DeviceHandle handle)
{
    const auto found = open_.find(handle);
    return found == open_.end() ? MIDIERR_NOERROR : found->second->part->Lost(found->second->partHandle);
}

MidiResult SystemBackend::ShortMessage(DeviceHandle handle, std::uint32_t message)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return lastOpenFailure_ != MIDIERR_NOERROR ? lastOpenFailure_ : MIDIERR_INVALHANDLE;
    return found->second->part->ShortMessage(found->second->partHandle, message);
}

// The long-message steps go to the part that owns the device; its completion
// reports come back through Relay under our handle.
MidiResult SystemBackend::PrepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return lastOpenFailure_ != MIDIERR_NOERROR ? lastOpenFailure_ : MIDIERR_INVALHANDLE;
    return found->second->part->PrepareHeader(found->second->partHandle, header, size);
}

MidiResult SystemBackend::LongMessage(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    return found->second->part->LongMessage(found->second->partHandle, header, size);
}

MidiResult SystemBackend::UnprepareHeader(DeviceHandle handle, MIDIHDR *header, std::uint32_t size)
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return MIDIERR_INVALHANDLE;
    return found->second->part->UnprepareHeader(found->second->partHandle, header, size);
}

void SystemBackend::RefreshInputs()
{
    inputsListed_ = true;
    sources_.clear();
    for (const auto &part : parts_) {
        part->RefreshInputs();
        const std::uint32_t count = part->InputCount();
        for (std::uint32_t i = 0; i < count; ++i) {
            Source source{part.get(), static_cast<std::int32_t>(i), {}};
            if (part->GetInputName(source.index, &source.name) != MIDIERR_NOERROR)
                source.name.clear();
            sources_.push_back(std::move(source));
        }
    }
    // A source is chosen again by its name: two of different APIs must not share one.
    std::vector<std::string> names;
    for (const Source &source : sources_)
        names.push_back(source.name);
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        int copies = 1;
        for (std::size_t j = 0; j < i; ++j)
            copies += names[j] == names[i] ? 1 : 0;
        if (copies > 1)
            sources_[i].name = names[i] + " #" + std::to_string(copies);
    }
}

std::uint32_t SystemBackend::InputCount()
{
    if (!inputsListed_)
        RefreshInputs();
    return static_cast<std::uint32_t>(sources_.size());
}

MidiResult SystemBackend::GetInputName(std::int32_t inputId, std::string *name)
{
    if (!inputsListed_)
        RefreshInputs();
    if (name == nullptr || inputId < 0 || static_cast<std::size_t>(inputId) >= sources_.size())
        return MIDIERR_BADDEVICEID;
    *name = sources_[static_cast<std::size_t>(inputId)].name;
    return MIDIERR_NOERROR;
}

MidiResult SystemBackend::OpenInput(DeviceHandle *handle, std::int32_t inputId, DriverCallbackProc callback,
                                    std::uintptr_t instance)
{
    if (handle == nullptr)
        return MIDIERR_INVALPARAM;
    if (!inputsListed_)
        RefreshInputs();
    if (inputId < 0 || static_cast<std::size_t>(inputId) >= sources_.size())
        return MIDIERR_BADDEVICEID;
    const Source &source = sources_[static_cast<std::size_t>(inputId)];
    auto opened = std::make_unique<OpenDevice>();
    opened->part = source.part;
    opened->handle = nextHandle_;
    opened->callback = callback;
    opened->instance = instance;
    const MidiResult result =
        source.part->OpenInput(&opened->partHandle, source.index, callback != nullptr ? &Relay : nullptr,
                               reinterpret_cast<std::uintptr_t>(opened.get()));
    if (result != MIDIERR_NOERROR)
        return result;
    ++nextHandle_;
    *handle = opened->handle;
    openInputs_[opened->handle] = std::move(opened);
    return MIDIERR_NOERROR;
}

MidiResult SystemBackend::CloseInput(DeviceHandle handle)
{
    const auto found = openInputs_.find(handle);
    if (found == openInputs_.end())
        return MIDIERR_INVALHANDLE;
    if (const MidiResult result = found->second->part->CloseInput(found->second->partHandle))
        return result;
    thruTargets_.erase(handle);
    openInputs_.erase(found);
    return MIDIERR_NOERROR;
}

bool SystemBackend::SetThru(DeviceHandle input, DeviceHandle output)
{
    const auto in = openInputs_.find(input);
    if (in == openInputs_.end())
        return false;
    MidiBackend &source = *in->second->part;
    const DeviceHandle sourceHandle = in->second->partHandle;
    thruTargets_.erase(input);
    const auto out = open_.find(output);
    if (output == 0 || out == open_.end())
        return source.SetThru(sourceHandle, 0) && output == 0;
    if (out->second->part == &source)
        return source.SetThru(sourceHandle, out->second->partHandle);
    // Across parts: the device's part gives a target that the source's
    // thread may call.
    ThruTarget *target = out->second->part->ThruTargetOf(out->second->partHandle);
    if (target == nullptr || !source.SetThruTarget(sourceHandle, target)) {
        source.SetThru(sourceHandle, 0);
        return false;
    }
    thruTargets_[input] = output;
    return true;
}

void SystemBackend::EndThruTo(DeviceHandle output)
{
    for (auto entry = thruTargets_.begin(); entry != thruTargets_.end();) {
        const auto in = openInputs_.find(entry->first);
        if (entry->second == output && in != openInputs_.end()) {
            in->second->part->SetThruTarget(in->second->partHandle, nullptr);
            entry = thruTargets_.erase(entry);
        } else {
            ++entry;
        }
    }
}

std::unique_ptr<MidiBackend> CreateSystemBackend()
{
    // Before any back end can make a JACK client.
    PrepareSoundLibraries();
    std::vector<std::unique_ptr<MidiBackend>> parts;
    parts.push_back(std::make_unique<FluidSynthBackend>());
    parts.push_back(std::make_unique<RtMidiBackend>());
    parts.push_back(std::make_unique<JackBackend>());
    return std::make_unique<SystemBackend>(std::move(parts));
}

} // namespace midi_out
