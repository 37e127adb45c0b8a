#!/usr/bin/env bash
# The cost of a long change history: the dialog's start-up and every
# console command that reads the history (show, history --last 1 and 10,
# check, store, sync, history, doctor) with no history and with histories
# of 300 MB and 1 GB, natively and as the 32-bit Windows build under Wine.
#
#   bench/history.sh [runs] [size-MB,...]      (default 5 runs, 300,1024 MB)
#
# HISTORY_KINDS picks the histories: "recent" (the bench's reader changed
# last, at the end), "far" (changed once, at the start), "hblank" (nothing
# but the bench's reader's HBlank changes, as this version records them) and
# "hblank-old" (the same as the versions before wrote them).
#
# Builds the bench trees as bench/run.sh does (build/bench-native,
# build/bench-win, what ships in build/release), keeps the histories in
# build/bench-work/history (about twice size-MB of disk) and the figures in
# build/bench-results/history.txt. Not part of the test suite.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${1:-5}
SIZE_MB=${2:-300,1024}
JOBS=${SPELVANE_JOBS:-2}
NATIVE=$ROOT/build/bench-native
WIN=$ROOT/build/bench-win
RELEASE=$ROOT/build/release
WORK=$ROOT/build/bench-work/history
RESULTS=$ROOT/build/bench-results
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix}
export WINEARCH=${WINEARCH:-win32}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

cmake -S "$ROOT" -B "$NATIVE" -DCMAKE_BUILD_TYPE=Release -DSPELVANE_BENCH=ON -DSPELVANE_TESTS=OFF >/dev/null
cmake --build "$NATIVE" -j "$JOBS" --target spelvane-bench spelvane-cli qzsd7 >/dev/null
cmake -S "$ROOT" -B "$WIN" -DCMAKE_BUILD_TYPE=Release -DSPELVANE_BENCH=ON -DSPELVANE_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686-w64-mingw32.cmake" -DSPELVANE_RELEASE_DIR="$RELEASE" >/dev/null
cmake --build "$WIN" -j "$JOBS" --target spelvane-bench >/dev/null
cmake -S "$ROOT" -B "$RELEASE" -DSPELVANE_RELEASE=ON \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686-w64-mingw32-release.cmake" >/dev/null
cmake --build "$RELEASE" -j "$JOBS" >/dev/null

mkdir -p "$RESULTS"
{
    python3 "$ROOT/bench/history_cost.py" "$WORK" "$RUNS" "$SIZE_MB" native "" \
        "$NATIVE/bin/spelvane-bench" "$NATIVE/bin/spelvane-cli"
    python3 "$ROOT/bench/history_cost.py" "$WORK" "$RUNS" "$SIZE_MB" wine wine \
        "$WIN/bin/spelvane-bench.exe" "$RELEASE/ship/spelvane-cli.exe"
} | tee "$RESULTS/history.txt"
