#!/usr/bin/env bash
# Builds the fuzz targets with clang (build-fuzz/) and runs each for a bounded
# time: ./scripts/fuzz.sh [seconds per target, default 60].
# A crash, a leak, a failed check, an input taking over 1 s or memory beyond
# the bound fails the run; the input is copied to fuzz/regressions/<target>/,
# where the normal test run replays it from then on (commit it with the fix).
# New inputs that reach new code stay in build-fuzz/corpus/ for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
jobs="$(nproc)"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target sonoret_fuzzers

mkdir -p build-fuzz/corpus build-fuzz/artifacts build-fuzz/logs
run_target() {
  local name="$1"
  local corpus="build-fuzz/corpus/$name" artifacts="build-fuzz/artifacts/$name"
  rm -rf "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       QT_QPA_PLATFORM=offscreen JACK_NO_START_SERVER=1 \
       "build-fuzz/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=1024 \
       -max_len=8192 -artifact_prefix="$artifacts/" \
       "$corpus" "fuzz/corpus/$name" "fuzz/regressions/$name" \
       >"build-fuzz/logs/$name.log" 2>&1; then
    return 1
  fi
}

names=()
for source in fuzz/fuzz_*.cpp; do
  name="${source#fuzz/fuzz_}"
  names+=("${name%.cpp}")
done

# As many targets at once as there are cores.
declare -A pids
failed=()
for name in "${names[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_target "$name" &
  pids[$name]=$!
done
for name in "${names[@]}"; do
  wait "${pids[$name]}" || failed+=("$name")
done

printf '%-20s %12s %8s %8s\n' target executions edges corpus
for name in "${names[@]}"; do
  log="build-fuzz/logs/$name.log"
  runs=$(grep -o 'Done [0-9]* runs' "$log" | grep -o '[0-9]*' || echo "?")
  edges=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || echo "?")
  corpus=$(find "build-fuzz/corpus/$name" "fuzz/corpus/$name" -type f | wc -l)
  printf '%-20s %12s %8s %8s\n' "$name" "$runs" "$edges" "$corpus"
done

if [ ${#failed[@]} -gt 0 ]; then
  for name in "${failed[@]}"; do
    echo "fuzz_$name failed; its log: build-fuzz/logs/$name.log" >&2
    tail -40 "build-fuzz/logs/$name.log" >&2
    for artifact in build-fuzz/artifacts/"$name"/*; do
      [ -f "$artifact" ] || continue
      cp "$artifact" "fuzz/regressions/$name/"
      echo "failing input kept as fuzz/regressions/$name/$(basename "$artifact")" >&2
    done
  done
  exit 1
fi
