#!/usr/bin/env bash
# End-to-end scenarios of the 32-bit program under Wine inside Xvfb.
#
#   run_e2e.sh <bin-dir> [--program <dir>] [--standin] [scenario...]
#
# <bin-dir> holds spelvane-driver.exe (and the stand-in); spelvane.exe and
# qzsd7.dll are taken from --program <dir>, the release build's ship/
# folder under CTest, and from <bin-dir> when it is not given. Each
# scenario gets a fresh directory with a simulator configuration and device
# images, starts the program there (its .set backups land there), works it
# with the driver and then checks exit status, image bytes, backup bytes
# and log text. With --standin the driver is proved against the test-only
# stand-in dialog instead. Exit status 0 when every scenario passed.
set -u

if [[ $# -lt 1 ]]; then
    echo "usage: $0 <bin-dir> [--standin] [scenario...]" >&2
    exit 2
fi
BIN=$(cd "$1" && pwd) || exit 2
shift
MODE=program
PROGRAM=$BIN
while [[ $# -gt 0 ]]; do
    case $1 in
        --standin) MODE=standin; shift ;;
        --program) PROGRAM=$(cd "${2:?--program needs a folder}" && pwd) || exit 2; shift 2 ;;
        *) break ;;
    esac
done
ONLY=("$@")
HERE=$(cd "$(dirname "$0")" && pwd)
SOURCE_ROOT=$(cd "$HERE/../.." && pwd)
BUILD=$(cd "$BIN/.." && pwd)
WORK=$BUILD/e2e-work/$MODE
DRIVER=$BIN/spelvane-driver.exe

export WINEDEBUG=-all
export WINEPREFIX=${SPELVANE_E2E_WINEPREFIX:-$BUILD/e2e-wineprefix}
export WINEARCH=${WINEARCH:-win32}
export WINEDLLOVERRIDES="mscoree,mshtml="

started_xvfb=""
cleanup() {
    wineserver -k >/dev/null 2>&1
    if [[ -n $started_xvfb ]]; then kill "$started_xvfb" 2>/dev/null; fi
}
trap cleanup EXIT

if [[ -z ${DISPLAY:-} ]]; then
    for n in $(seq 90 120); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        started_xvfb=$!
        export DISPLAY=":$n"
        break
    done
    sleep 1
    if [[ -z $started_xvfb ]] || ! kill -0 "$started_xvfb" 2>/dev/null; then
        echo "cannot start Xvfb" >&2
        exit 2
    fi
fi

if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "creating the Wine prefix $WINEPREFIX (once)"
    wineboot -i >/dev/null 2>&1
    # Without a window manager only Wine itself draws the title bars.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
# One server for the whole run spares the start-up per scenario.
wineserver -p >/dev/null 2>&1
rm -rf "$WORK"
mkdir -p "$WORK"

# ---------------------------------------------------------------- helpers

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# Little-endian 16-bit word as four hex digits in byte order.
le16() { printf '%02x%02x' $(($1 & 0xff)) $((($1 >> 8) & 0xff)); }
zeros() { printf '%0*d' $((2 * $1)) 0; }

# Device memory image (256 bytes) of the shape every scenario uses:
# registers 9 (shutter), 5 (HBlank), 2 and 3, two lights.
#   image_hex BYTE3 BYTE13 HBLANK SHUTTER1 SHUTTER2
image_hex() {
    local b3=$1 b13=$2 hb=$3 s1=$4 s2=$5
    printf '574951%02x0402%s%02x%s' "$b3" "$(zeros 7)" "$b13" "$(zeros 2)"
    printf '09050203%s' "$(zeros 12)"
    printf '%s%s%s%s%s%s' "$(le16 0x0010)" "$(le16 "$s1")" "$(le16 "$hb")" "$(le16 0x0111)" "$(le16 0x0222)" "$(zeros 6)"
    printf '%s%s%s%s%s%s' "$(le16 0x0020)" "$(le16 "$s2")" "$(le16 "$hb")" "$(le16 0x0333)" "$(le16 0x0444)" "$(zeros 6)"
    zeros $((256 - 64))
}
write_hex() { xxd -r -p <<<"$1" >"$2"; }

# The .set section the backup writes for a device of that shape.
#   set_section TYPE HCLOCK HBLANK SHUTTER1 SHUTTER2
set_section() {
    local e=$'\r\r\n'
    printf 'DEVICE=%s%sHCLOCK=%s%sNADDR=4%sADDRS=09,05,02,03%sNLIGHT=2%s' "$1" "$e" "$2" "$e" "$e" "$e" "$e"
    printf 'LIGHT0=0010,%04x,%04x,0111,0222%s' "$4" "$3" "$e"
    printf 'LIGHT1=0020,%04x,%04x,0333,0444%s' "$5" "$3" "$e"
    printf -- '------------------------------------------------------%s' "$e"
}

# Shutter after a Half Clock change: S * Fnew * (Hold + 2417) / ((Hnew + 2417) * Fold),
# F being 1 with Half Clock on and 2 with it off.
rescaled() {
    local s=$1 hold=$2 hnew=$3 hcold=$4 hcnew=$5
    echo $(((s * (hcnew ? 1 : 2) * (hold + 2417)) / ((hnew + 2417) * (hcold ? 1 : 2))))
}

# Starts a scenario: fresh directory, configuration header.
S_DIR="" S_FAILS=() PROGRAM_PID="" PROGRAM_STATUS=""
scenario_dir() { S_DIR=$WORK/$1; mkdir -p "$S_DIR"; : >"$S_DIR/sim.cfg"; }

# add_device NAME TYPE IMAGE-HEX [extra config lines...]
add_device() {
    local name=$1 type=$2 hex=$3
    shift 3
    write_hex "$hex" "$S_DIR/$name.img"
    cp "$S_DIR/$name.img" "$S_DIR/$name.orig"
    {
        printf '[device]\nname = %s\ntype = %s\nimage = %s.img\n' "$name" "$type" "$name"
        local line
        for line in "$@"; do printf '%s\n' "$line"; done
    } >>"$S_DIR/sim.cfg"
}

check() {
    local what=$1
    shift
    if "$@"; then
        echo "   ok    $what"
    else
        echo "   FAIL  $what"
        S_FAILS+=("$what")
    fi
}

same_bytes() { cmp -s "$1" "$2"; }
image_is() { write_hex "$2" "$S_DIR/expected.img" && cmp -s "$S_DIR/$1.img" "$S_DIR/expected.img"; }
no_backup() { ! compgen -G "$S_DIR/*.set" >/dev/null; }
log_has() { grep -qF -- "$1" "$S_DIR/$2"; }

# The one backup file of a scenario; empty when there is not exactly one.
backup_file() {
    local files=("$S_DIR"/$1_*.set)
    [[ ${#files[@]} -eq 1 && -f ${files[0]} ]] && echo "${files[0]}"
}
backup_name_ok() { [[ $(basename "$1") =~ ^$2_[0-9]{14}\.set$ ]]; }

start_program() {
    local exe=${1:-$PROGRAM/spelvane.exe}
    shift || true
    (
        cd "$S_DIR" || exit 99
        QZSIM_CONFIG=$(winpath "$S_DIR/sim.cfg") exec wine "$exe" "$@" >"$S_DIR/program.out" 2>&1
    ) &
    PROGRAM_PID=$!
}

# drive NAME: runs the driver on the script given on stdin; its report goes
# to NAME.log in the scenario directory. Returns the driver's status.
drive() {
    local report=$S_DIR/$1.log
    cat >"$S_DIR/$1.steps"
    (cd "$S_DIR" && wine "$DRIVER" <"$S_DIR/$1.steps" >"$report" 2>&1)
    local status=$?
    tr -d '\r' <"$report" | sed 's/^/      | /'
    return $status
}

# Waits for the program to end (at most 30 s, then it is killed) and keeps
# its exit status in PROGRAM_STATUS.
finish_program() {
    local waited=0
    while kill -0 "$PROGRAM_PID" 2>/dev/null && [[ $waited -lt 300 ]]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$PROGRAM_PID" 2>/dev/null; then
        kill "$PROGRAM_PID" 2>/dev/null
        wineserver -k >/dev/null 2>&1
        wineserver -p >/dev/null 2>&1
        PROGRAM_STATUS=hung
    fi
    wait "$PROGRAM_PID" 2>/dev/null
    local status=$?
    [[ ${PROGRAM_STATUS:-} == hung ]] || PROGRAM_STATUS=$status
}

status_is() { [[ $PROGRAM_STATUS == "$1" ]]; }

# run_scenario NAME: runs scenario_NAME and reports.
PASSED=() FAILED=()
run_scenario() {
    local name=$1
    if [[ ${#ONLY[@]} -gt 0 && ! " ${ONLY[*]} " == *" $name "* ]]; then return; fi
    S_FAILS=()
    PROGRAM_STATUS=""
    echo "== $name"
    local began=$SECONDS
    "scenario_$name"
    if [[ -n ${PROGRAM_PID:-} ]] && kill -0 "$PROGRAM_PID" 2>/dev/null; then
        finish_program
    fi
    PROGRAM_PID=""
    local took=$((SECONDS - began))
    if [[ ${#S_FAILS[@]} -eq 0 ]]; then
        echo "PASS  $name (${took}s)"
        PASSED+=("$name")
    else
        echo "FAIL  $name (${took}s): ${S_FAILS[*]}"
        FAILED+=("$name")
    fi
}

# Runs the program on the scenario directory, works it with the steps on
# stdin and waits for its end: the common shape of a one-session scenario.
session() {
    local name=$1
    start_program
    check "driver: $name" drive "$name"
    finish_program
}

# Device shape shared by the scenarios: Half Clock on, HBlank 0x3c0 (960),
# shutters 0x200 and 0x180.
HB=0x3c0 S1=0x200 S2=0x180
ORIGINAL=$(image_hex 0x40 0x01 $HB $S1 $S2)

if [[ $MODE == standin ]]; then
    source "$HERE/standin_scenarios.sh"
else
    source "$HERE/program_scenarios.sh"
fi

total_began=$SECONDS
for name in "${SCENARIOS[@]}"; do run_scenario "$name"; done
echo
echo "scenarios passed: ${#PASSED[@]}, failed: ${#FAILED[@]}, time: $((SECONDS - total_began))s"
[[ ${#FAILED[@]} -eq 0 && ${#PASSED[@]} -gt 0 ]]
