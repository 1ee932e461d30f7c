#!/usr/bin/env bash
# Set-up, build, then run every test. The MIDI transport tests need a JACK
# server; one of their own with the dummy driver (no sound card needed) is
# started here and stopped again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
stage() { echo "== $1: $((SECONDS - started)) s"; started=$SECONDS; }
./scripts/build.sh
stage "set-up and build"

export JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
# The tests' own JACK server, under a name of its own: a server already
# running (a musician's live session) is never connected to, listed or
# disturbed, and no test's note reaches its synthesizer. Synchronous: each
# cycle waits for every client, so that a test's receiver that a loaded
# machine starves of CPU still reads what was written for it.
export JACK_DEFAULT_SERVER="sonoret-test-$$"
jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -S -d dummy -r 48000 -p "${SONORET_JACK_PERIOD:-256}" \
  >/tmp/midi-sonoret-jackd.log 2>&1 &
jack_pid=$!
trap 'kill "$jack_pid" 2>/dev/null; wait "$jack_pid" 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do
  ./build/tests/jack_probe 2>/dev/null && break
  sleep 0.2
done

# A failed test runs once more only when its own output shows that the JACK
# server overran its cycles meanwhile (a loaded machine, not the program);
# every other failure fails the run at once.
if ! ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 300; then
  ./scripts/retry-after-xruns.sh build
fi
stage "plain tests"

# The same tests under the sanitizers, then every fuzz target for a bounded
# time (seconds each: SONORET_FUZZ_SECONDS). SONORET_TEST_QUICK=1 skips both.
if [ "${SONORET_TEST_QUICK:-0}" != 1 ]; then
  ./scripts/sanitize.sh
  stage "sanitizer builds and tests"
  ./scripts/fuzz.sh "${SONORET_FUZZ_SECONDS:-20}"
  stage "fuzzing"
fi
