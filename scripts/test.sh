#!/usr/bin/env bash
# Set-up, build, then run every test. The MIDI transport tests need a JACK
# server; one with the dummy driver (no sound card needed) is started here
# unless one already runs, and stopped again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
stage() { echo "== $1: $((SECONDS - started)) s"; started=$SECONDS; }
./scripts/build.sh
stage "set-up and build"

export JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
jack_pid=""
if ! ./build/tests/jack_probe 2>/dev/null; then
  # Synchronous: each cycle waits for every client, so a test's receiver that
  # a loaded machine starves of CPU still reads what was written for it (an
  # asynchronous server would clear the port under it and lose the burst).
  jackd -n "${JACK_DEFAULT_SERVER:-default}" --no-realtime -S -d dummy -r 48000 -p "${SONORET_JACK_PERIOD:-256}" >/tmp/midi-sonoret-jackd.log 2>&1 &
  jack_pid=$!
  trap 'kill "$jack_pid" 2>/dev/null; wait "$jack_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 1 50); do
    ./build/tests/jack_probe 2>/dev/null && break
    sleep 0.2
  done
fi

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
