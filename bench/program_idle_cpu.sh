#!/usr/bin/env bash
# CPU the real program takes while it sits idle: window shown on an Xvfb
# display of its own, a JACK port open as its device (jack_midi_dump's
# input), nothing played. Runs its own dummy server at 64 frames.
#
#   bench/program_idle_cpu.sh [PROGRAM [SECONDS]]   (default build/src/app/midi-sonoret, 40)
set -euo pipefail
program=$(realpath "${1:-build/src/app/midi-sonoret}")
seconds=${2:-40}
export JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1 JACK_DEFAULT_SERVER=sonoret-idle-$$
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -d dummy -r 48000 -p 64 >/dev/null 2>&1 & pids+=($!)
sleep 1
jack_midi_dump >/dev/null 2>&1 & pids+=($!)
sleep 1
sink=$(jack_lsp | grep -m1 "midi-monitor:")
# Beside its own copy, the program finds a settings file that chooses the sink.
cp "$program" "$work/midi-sonoret"
printf '[Device]\nName=%s\nID=1\n' "$sink" >"$work/midi-sonoret.ini"
display=:$((100 + $$ % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 & pids+=($!)
sleep 1
DISPLAY=$display "$work/midi-sonoret" >/dev/null 2>&1 & pid=$!
pids+=("$pid")
sleep 4
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(ticks)
sleep "$seconds"
after=$(ticks)
awk -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" -v s="$seconds" -v sink="$sink" \
    'BEGIN { printf "idle CPU with %s open: %.2f %%\n", sink, t * 100 / hz / s }'
