// Cost of one playback clock tick that finds 100 records due and sends them
// through the device component to the test back end.

#include "midi_out/MidiOut.h"
#include "recorder/Transport.h"
#include "support/TestBackend.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

class DeviceHost : public recorder::TransportHost, public recorder::NoteSink {
public:
    explicit DeviceHost(midi_out::TMidiOutput &device) : device_(device) {}
    void SendNote(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override
    {
        device_.SendShortMessage(status, data1, data2);
    }
    void SelectStoredInstrument() override { SendNote(0xC0, 0, 0); }
    void SilenceDevice() override { device_.SilenceDevice(); }
    void SwitchDrumsOff() override {}
    void ShowTransportState(recorder::TransportState) override {}
    void TakeEnded() override {}

private:
    midi_out::TMidiOutput &device_;
};

void PlaybackTickSending100(benchmark::State &state)
{
    auto owned = std::make_unique<midi_out::TestBackend>(std::vector<std::string>{"Test"});
    midi_out::TestBackend &backend = *owned;
    midi_out::TMidiOutput device(std::move(owned));
    device.SetDeviceID(0);
    device.OpenDevice();
    DeviceHost host(device);

    recorder::RecordingStream stream;
    for (int i = 0; i < 100; ++i)
        stream.WriteEvent({0, static_cast<std::uint8_t>(i % 2 ? 0x80 : 0x90),
                           static_cast<std::uint8_t>(36 + i % 40), 100});
    stream.WriteEvent({1, 0x90, 60, 100}); // not yet due: playback goes on
    recorder::Transport transport(host, host, stream);
    transport.Play();

    std::int64_t ticks = 0;
    for (auto _ : state) {
        stream.Seek(0, recorder::SeekOrigin::Begin);
        transport.SetTick(0);
        transport.ClockTick();
        // The test back end keeps every call; keep its log from growing.
        if (++ticks % 1000 == 0) {
            state.PauseTiming();
            backend.ClearCalls();
            state.ResumeTiming();
        }
    }
    if (!transport.IsPlaying() || transport.Tick() != 1)
        state.SkipWithError("playback did not send the due records");
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(PlaybackTickSending100);

} // namespace

BENCHMARK_MAIN();
