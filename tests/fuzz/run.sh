#!/bin/sh
# Builds the fuzz targets with clang and runs each for a bounded time.
#   tests/fuzz/run.sh [seconds per target]   (default 60)
# Environment: SPELVANE_FUZZ_BUILD (build directory, default build-fuzz in the
# repository), SPELVANE_FUZZ_JOBS (parallel build jobs, default 2),
# SPELVANE_FUZZ_KEEP (a directory: the corpus grown by earlier runs is taken
# from it as further seeds and the grown corpus is saved back into it).
# The simulated devices keep their memory images in a directory on /dev/shm
# when there is one, so the many small image writes cost no disk time. New
# inputs go into a scratch corpus; the committed seeds stay as they are.
set -eu

seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${SPELVANE_FUZZ_BUILD:-$repo/build-fuzz}
jobs=${SPELVANE_FUZZ_JOBS:-2}

CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -DSPELVANE_FUZZ=ON -DSPELVANE_TESTS=ON \
  -DSPELVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_restore fuzz_load_store fuzz_history >/dev/null

if [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; else base=${TMPDIR:-/tmp}; fi
scratch=$(mktemp -d "$base/spelvane-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM

total=0
status=0
for target in restore load_store history; do
  corpus="$scratch/corpus-$target"
  mkdir -p "$corpus" "$scratch/tmp-$target"
  cp "$here/corpus/$target/"* "$corpus/"
  if [ -n "${SPELVANE_FUZZ_KEEP:-}" ] && [ -d "$SPELVANE_FUZZ_KEEP/$target" ]; then
    cp "$SPELVANE_FUZZ_KEEP/$target/"* "$corpus/" 2>/dev/null || true
  fi
  log="$scratch/$target.log"
  if ! (cd "$scratch" && TMPDIR="$scratch/tmp-$target" \
        "$build/bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -max_len=4096 -timeout=10 -rss_limit_mb=2048 "$corpus" >"$log" 2>&1); then
    status=1
    echo "fuzz_$target: FAILED; the end of its output:"
    tail -40 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  runs=${runs:-0}
  total=$((total + runs))
  echo "fuzz_$target: $runs executions in ${seconds}s"
  if [ -n "${SPELVANE_FUZZ_KEEP:-}" ]; then
    mkdir -p "$SPELVANE_FUZZ_KEEP/$target" && cp "$corpus"/* "$SPELVANE_FUZZ_KEEP/$target/"
  fi
done
echo "total: $total executions"
exit $status
