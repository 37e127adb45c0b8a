#!/usr/bin/env bash
# Measures Spelvane against the device's own floor and prints the table.
#
#   bench/run.sh [runs] [all|program]   (default 5 runs of every figure;
#                                        "program": only the real dialog's)
#
# Builds its own release trees (build/bench-native, build/bench-win) and what
# ships (build/release, shared with ./build.sh), runs
# every figure natively and under Wine (in Xvfb for the real dialog), keeps
# the raw "name value" lines in build/bench-results/ and prints the medians
# with bench/summarize.py. Not part of the test suite: nothing here passes
# or fails a build. Needs what ./build.sh test installs.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${1:-5}
WHICH=${2:-all}
JOBS=${SPELVANE_JOBS:-2}
NATIVE=$ROOT/build/bench-native
WIN=$ROOT/build/bench-win
RESULTS=$ROOT/build/bench-results
WORK=$ROOT/build/bench-work
RELEASE=$ROOT/build/release
# The program the probe works (6): the shipped spelvane.exe, with the
# simulated qzsd7.dll beside it. Another build can be named here, with a
# qzsd7.dll in its folder, to compare builds on the same machine.
PROGRAM=${SPELVANE_BENCH_PROGRAM:-$RELEASE/ship/spelvane.exe}
export WINEDEBUG=-all
# The prefix "./build.sh run" uses, made the same way: the figures of the
# real program are those of the dialog as the operator sees it there.
export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix}
export WINEARCH=${WINEARCH:-win32}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

log() { printf '==> %s\n' "$*" >&2; }

build() {
    log "building the bench programs (release)"
    if [[ $WHICH == all ]]; then
        cmake -S "$ROOT" -B "$NATIVE" -DCMAKE_BUILD_TYPE=Release -DSPELVANE_BENCH=ON -DSPELVANE_TESTS=OFF >/dev/null
        cmake --build "$NATIVE" -j "$JOBS" --target spelvane-bench >/dev/null
    fi
    # The probe's target also builds what ships, in build/release.
    cmake -S "$ROOT" -B "$WIN" -DCMAKE_BUILD_TYPE=Release -DSPELVANE_BENCH=ON -DSPELVANE_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DSPELVANE_RELEASE_DIR="$RELEASE" >/dev/null
    cmake --build "$WIN" -j "$JOBS" --target spelvane-bench spelvane-bench-logbox spelvane-bench-probe >/dev/null
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        log "creating the Wine prefix $WINEPREFIX (once)"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
        wineserver -w || true
    fi
}

# run <file> <command...>: appends the figures of one run to <file>.
run() {
    local file=$1
    shift
    if ! "$@" >>"$file"; then
        log "FAILED: $*"
        echo "failed 1" >>"$file"
    fi
}

portable() {  # platform label, launcher...
    local platform=$1
    shift
    local bin=$NATIVE/bin/spelvane-bench
    [[ $platform == wine ]] && bin=$WIN/bin/spelvane-bench.exe
    for i in $(seq "$RUNS"); do
        log "$platform run $i/$RUNS: start-up, store, pacing, log"
        run "$RESULTS/$platform-single-$i.txt" "$@" "$bin" device "$WORK/$platform-single" single
        run "$RESULTS/$platform-pair-$i.txt" "$@" "$bin" device "$WORK/$platform-pair" pair
        run "$RESULTS/$platform-log-$i.txt" "$@" "$bin" log 10000 1000
    done
}

# The real dialog, under Wine.
dialog_figures() {
    local probe=$WORK/probe
    for i in $(seq "$RUNS"); do
        log "wine run $i/$RUNS: log box, dialog round trip during a store"
        run "$RESULTS/wine-box-$i.txt" wine "$WIN/bin/spelvane-bench-logbox.exe" 10000 400 mirror
        run "$RESULTS/wine-box-$i.txt" wine "$WIN/bin/spelvane-bench-logbox.exe" 10 400 mirror
        # The former way, setting the whole text, is slow: fewer appends.
        run "$RESULTS/wine-boxwhole-$i.txt" wine "$WIN/bin/spelvane-bench-logbox.exe" 10000 60 whole

        # The probe starts the program itself, so that it times the start-up.
        rm -rf "$probe" && mkdir -p "$probe"
        cp "$ROOT/bench/probe.conf" "$probe/probe.conf"
        (
            cd "$probe"
            export QZSIM_CONFIG="$probe/probe.conf"
            run "$RESULTS/wine-probe-$i.txt" wine "$WIN/bin/spelvane-bench-probe.exe" \
                "Z:${PROGRAM//\//\\}" trace.log 0x1c8
        )
    done
}

measure() {
    if [[ $WHICH == all ]]; then
        portable native
        portable wine wine
    fi
    dialog_figures
    wineserver -k >/dev/null 2>&1 || true  # before the X display goes away
}

if [[ ${1:-} == --measure ]]; then  # internal: inside the X display
    RUNS=$2
    WHICH=$3
    measure
    exit 0
fi

build
rm -rf "$RESULTS" "$WORK"
mkdir -p "$RESULTS" "$WORK"
# Every Wine program of a run shares one display: a Wine desktop started
# without one would refuse the dialogs that follow.
wineserver -w || true
if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
    "$0" --measure "$RUNS" "$WHICH"
else
    xvfb-run -a -s "-screen 0 1024x768x24" "$0" --measure "$RUNS" "$WHICH"
fi
python3 "$ROOT/bench/summarize.py" "$RESULTS" "$RUNS"
