// FluidSynth, loaded when the built-in synthesizer first starts rather than
// with the program. The library brings some sixty others (audio servers,
// codecs, SDL, GLib); loading and relocating them took about 5 ms of every
// start, before the window a player waits for, and a player on a JACK or ALSA
// port never needs them. The program calls FluidSynth only through the entry
// points below, each of which finds its function in the library on first use.

#include "midi_out/FluidSynthLibrary.h"

#include <fluidsynth.h>

#include <dlfcn.h>

namespace midi_out {

namespace {

class Library {
public:
    Library()
    {
        handle_ = dlopen(SONORET_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr)
            return;
        // No function at all rather than one that ignores: FluidSynth then
        // does not format the message either (a few per cent of each note).
        // The results reach the user as our error codes.
        if (auto *setLog = Find<decltype(fluid_set_log_function)>("fluid_set_log_function"))
            for (int level = 0; level < LAST_LOG_LEVEL; ++level)
                setLog(level, nullptr, nullptr);
    }

    bool Loaded() const { return handle_ != nullptr; }

    template <class Function>
    Function *Find(const char *name) const
    {
        return handle_ != nullptr ? reinterpret_cast<Function *>(dlsym(handle_, name)) : nullptr;
    }

private:
    void *handle_ = nullptr; // never closed: the synth's threads may run until the end
};

const Library &TheLibrary()
{
    static const Library library;
    return library;
}

} // namespace

bool FluidSynthLoaded() { return TheLibrary().Loaded(); }

} // namespace midi_out

// Each entry point: the library's function of the same name, or when the
// library is missing the failure FluidSynth itself would answer with (nothing
// at all for the functions that return nothing).
#define SONORET_FLUID_CALL(name, failure, ...)                                                     \
    static auto *const entry = midi_out::TheLibrary().Find<decltype(::name)>(#name);              \
    return entry != nullptr ? entry(__VA_ARGS__) : failure

extern "C" {

fluid_settings_t *new_fluid_settings(void)
{
    SONORET_FLUID_CALL(new_fluid_settings, nullptr);
}

void delete_fluid_settings(fluid_settings_t *settings)
{
    SONORET_FLUID_CALL(delete_fluid_settings, void(), settings);
}

int fluid_settings_setstr(fluid_settings_t *settings, const char *name, const char *str)
{
    SONORET_FLUID_CALL(fluid_settings_setstr, FLUID_FAILED, settings, name, str);
}

int fluid_settings_setnum(fluid_settings_t *settings, const char *name, double val)
{
    SONORET_FLUID_CALL(fluid_settings_setnum, FLUID_FAILED, settings, name, val);
}

int fluid_settings_getnum(fluid_settings_t *settings, const char *name, double *val)
{
    SONORET_FLUID_CALL(fluid_settings_getnum, FLUID_FAILED, settings, name, val);
}

int fluid_settings_setint(fluid_settings_t *settings, const char *name, int val)
{
    SONORET_FLUID_CALL(fluid_settings_setint, FLUID_FAILED, settings, name, val);
}

fluid_synth_t *new_fluid_synth(fluid_settings_t *settings)
{
    SONORET_FLUID_CALL(new_fluid_synth, nullptr, settings);
}

void delete_fluid_synth(fluid_synth_t *synth)
{
    SONORET_FLUID_CALL(delete_fluid_synth, void(), synth);
}

fluid_audio_driver_t *new_fluid_audio_driver(fluid_settings_t *settings, fluid_synth_t *synth)
{
    SONORET_FLUID_CALL(new_fluid_audio_driver, nullptr, settings, synth);
}

void delete_fluid_audio_driver(fluid_audio_driver_t *driver)
{
    SONORET_FLUID_CALL(delete_fluid_audio_driver, void(), driver);
}

int fluid_synth_sfload(fluid_synth_t *synth, const char *filename, int reset_presets)
{
    SONORET_FLUID_CALL(fluid_synth_sfload, FLUID_FAILED, synth, filename, reset_presets);
}

int fluid_synth_noteon(fluid_synth_t *synth, int chan, int key, int vel)
{
    SONORET_FLUID_CALL(fluid_synth_noteon, FLUID_FAILED, synth, chan, key, vel);
}

int fluid_synth_noteoff(fluid_synth_t *synth, int chan, int key)
{
    SONORET_FLUID_CALL(fluid_synth_noteoff, FLUID_FAILED, synth, chan, key);
}

int fluid_synth_key_pressure(fluid_synth_t *synth, int chan, int key, int val)
{
    SONORET_FLUID_CALL(fluid_synth_key_pressure, FLUID_FAILED, synth, chan, key, val);
}

int fluid_synth_cc(fluid_synth_t *synth, int chan, int ctrl, int val)
{
    SONORET_FLUID_CALL(fluid_synth_cc, FLUID_FAILED, synth, chan, ctrl, val);
}

int fluid_synth_program_change(fluid_synth_t *synth, int chan, int program)
{
    SONORET_FLUID_CALL(fluid_synth_program_change, FLUID_FAILED, synth, chan, program);
}

int fluid_synth_channel_pressure(fluid_synth_t *synth, int chan, int val)
{
    SONORET_FLUID_CALL(fluid_synth_channel_pressure, FLUID_FAILED, synth, chan, val);
}

int fluid_synth_pitch_bend(fluid_synth_t *synth, int chan, int val)
{
    SONORET_FLUID_CALL(fluid_synth_pitch_bend, FLUID_FAILED, synth, chan, val);
}

int fluid_synth_sysex(fluid_synth_t *synth, const char *data, int len, char *response, int *response_len,
                      int *handled, int dryrun)
{
    SONORET_FLUID_CALL(fluid_synth_sysex, FLUID_FAILED, synth, data, len, response, response_len, handled, dryrun);
}

int fluid_synth_system_reset(fluid_synth_t *synth)
{
    SONORET_FLUID_CALL(fluid_synth_system_reset, FLUID_FAILED, synth);
}

int fluid_synth_all_sounds_off(fluid_synth_t *synth, int chan)
{
    SONORET_FLUID_CALL(fluid_synth_all_sounds_off, FLUID_FAILED, synth, chan);
}

int fluid_synth_get_active_voice_count(fluid_synth_t *synth)
{
    SONORET_FLUID_CALL(fluid_synth_get_active_voice_count, FLUID_FAILED, synth);
}

void fluid_synth_set_gain(fluid_synth_t *synth, float gain)
{
    SONORET_FLUID_CALL(fluid_synth_set_gain, void(), synth, gain);
}

int fluid_synth_write_float(fluid_synth_t *synth, int len, void *lout, int loff, int lincr, void *rout, int roff,
                            int rincr)
{
    SONORET_FLUID_CALL(fluid_synth_write_float, FLUID_FAILED, synth, len, lout, loff, lincr, rout, roff, rincr);
}

} // extern "C"
