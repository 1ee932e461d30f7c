#!/usr/bin/env bash
# After a failed ctest run in build folder $1: when every failed test's output
# names JACK xruns (written by the tests' JACK clients), the failed tests run
# once more and the retry is said; otherwise the run fails.
set -euo pipefail
build="$1"
log="$build/Testing/Temporary/LastTest.log"
failed="$build/Testing/Temporary/LastTestsFailed.log"
[ -s "$failed" ] || exit 1
names=()
while IFS=: read -r _ name; do
  names+=("$name")
  # The test's block of the log: from its start line to its end line.
  if ! awk -v name="$name" '
      index($0, "Testing: " name) && substr($0, length($0) - length(name) + 1) == name { inside = 1 }
      inside && /JACK xruns while/ { found = 1 }
      inside && index($0, "\"" name "\" end time") { inside = 0 }
      END { exit found ? 0 : 1 }' "$log"; then
    echo "$name failed without a JACK xrun: no retry" >&2
    exit 1
  fi
done <"$failed"
echo "Retrying after JACK xruns: ${names[*]}"
ctest --test-dir "$build" --output-on-failure --timeout 300 --rerun-failed
