#!/usr/bin/env bash
# Builds and runs the tests under the sanitizers, each in its own folder:
# the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer
# (build-asan/), and the tests with threads of their own (the device
# component and its back ends: JACK, the synthesizer, long messages, the
# notification queue) under ThreadSanitizer (build-tsan/).
# Expects a JACK server for the JACK tests, as scripts/test.sh provides.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" --timeout 300 || ./scripts/retry-after-xruns.sh build-asan

cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target test_midi_out
# Every threaded part of the device layer runs here: the JACK back end (its
# lock-free port table, gates, queues and input path, against servers that
# are killed and frozen), long messages and their completion thread, the
# synthesizer, the notification queue.
ctest --preset tsan -j "$jobs" --timeout 300 -L '^midi_out$' || ./scripts/retry-after-xruns.sh build-tsan
