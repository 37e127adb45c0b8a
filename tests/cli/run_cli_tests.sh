#!/usr/bin/env bash
# spelvane-cli against the simulated reader, as a script on a workstation
# would run it.
#
#   run_cli_tests.sh <bin-dir> <case> [<variants-dir>]
#
# <bin-dir> holds spelvane-cli (spelvane-cli.exe: run under Wine) and the
# simulated library; <variants-dir> the simulator's loader-test variants
# (sim/README.md), for the cases that need a library to tell apart. Each case works in a fresh <build>/cli-work/<case>/
# with its own simulator configuration and device images; that folder is the
# program's working folder, so the backups land there too, and it is kept
# for inspection. Exit status 0 when every check held.
set -u

if [[ $# -lt 2 || $# -gt 3 ]]; then
    echo "usage: $0 <bin-dir> <case> [<variants-dir>]" >&2
    exit 2
fi
BIN=$(cd "$1" && pwd) || exit 2
# The site's guide, whose tables the programs' output must match.
GUIDE=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/docs/site.md
CASE=$2
VARIANTS=${3:-}
W=$(cd "$BIN/.." && pwd)/cli-work/$CASE
rm -rf "$W"
mkdir -p "$W"
# The native programs take the reader lock in this folder: the cases run
# side by side with the other tests, and meet only their own programs.
export SPELVANE_LOCK_DIR=$W

if [[ -f $BIN/spelvane-cli.exe ]]; then
    CLI=(wine "$BIN/spelvane-cli.exe")
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
else
    CLI=("$BIN/spelvane-cli")
fi
command -v python3 >/dev/null || { echo "python3 is needed to parse the JSON output" >&2; exit 2; }

failures=0
check() {  # description, command...
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}

# Runs the program in the case's folder; STATUS, OUT and ERR hold what it
# gave, without the carriage returns a Windows console stream adds.
cli() {
    (cd "$W" && QZSIM_CONFIG="$W/qzsim.conf" "${CLI[@]}" "$@" >"$W/out.raw" 2>"$W/err.raw")
    STATUS=$?
    OUT=$(tr -d '\r' <"$W/out.raw")
    ERR=$(tr -d '\r' <"$W/err.raw")
    printf '%s\n' "--- spelvane-cli $* -> $STATUS" "$OUT" "$ERR" >>"$W/runs.log"
}

status_is() { [[ $STATUS -eq $1 ]] || { echo "     exit status $STATUS, expected $1; stderr: $ERR"; false; }; }
out_has() { [[ $OUT == *"$1"* ]] || { echo "     stdout lacks: $1"; false; }; }
# The log reaches its sink whole after every append; each line must be
# printed once all the same.
out_count_is() {
    local n
    n=$(grep -cF -- "$1" <<<"$OUT")
    [[ $n -eq $2 ]] || { echo "     '$1' printed $n times, expected $2"; false; }
}
err_has() { [[ $ERR == *"$1"* ]] || { echo "     stderr lacks: $1"; false; }; }
# Every error is one line on standard error, named after the program.
err_is_one_line() { [[ $ERR == "spelvane-cli: "* && $ERR != *$'\n'* ]] || { echo "     stderr: $ERR"; false; }; }
out_is() { [[ $OUT == "$1" ]] || { echo "     stdout: $OUT"; false; }; }
err_is() { [[ $ERR == "$1" ]] || { echo "     stderr: $ERR"; false; }; }
text_matches() { [[ $1 =~ $2 ]] || { echo "     '$1' does not match $2"; false; }; }
same_bytes() { cmp -s "$1" "$2" || { echo "     $1 differs from $2"; false; }; }
set_files() { find "$W" -maxdepth 1 -name '*.set' -type f | sort; }
set_file_count_is() { [[ $(set_files | wc -l) -eq $1 ]] || { echo "     .set files: $(set_files)"; false; }; }
library_untouched() { [[ ! -e $W/trace.log ]] || { echo "     the library was called"; false; }; }
no_device_request() { ! grep -q 'cmd=[0-9]' "$W/trace.log" || { echo "     a device was asked"; false; }; }
# The commands of a store that change the reader's memory (4 only selects
# a light to read).
no_write_request() { ! grep -Eq 'fn=10ff1002 cmd=(5|12|13|19) ' "$W/trace.log" || { echo "     a device was written"; false; }; }
usage_error() {
    [[ $STATUS -eq 2 && $ERR == "spelvane-cli: "*$'\nusage: spelvane-cli'* ]] ||
        { echo "     status $STATUS, stderr: $ERR"; false; }
}

# A new simulator configuration; the images and trace of the one before go, and
# the devices are device1.img, device2.img... in the order given.
config() {  # global lines...
    rm -f "$W"/device*.img "$W/trace.log"
    DEVICES=0
    printf '%s\n' "trace = trace.log" "$@" >"$W/qzsim.conf"
}
device() {  # name type header, then further device lines
    DEVICES=$((DEVICES + 1))
    printf '%s\n' "[device]" "name = $1" "class = KVDEV" "type = $2" "image = device$DEVICES.img" \
        "header = $3" "addresses = 09 05 02 03" "${@:4}" >>"$W/qzsim.conf"
}
# "WIQ", 4 registers, 2 lights, Half Clock on or off.
HALF_CLOCK_ON="57 49 51 40 04 02 00 00 00 00 00 00 00 01 00 00"
HALF_CLOCK_OFF="57 49 51 00 04 02 00 00 00 00 00 00 00 00 00 00"
LIGHTS=("light1 = 0010 0400 0100 0150 0001" "light2 = 0020 0600 0100 0120 0002")
# A new configuration of the one reader KVDEV-A1, Half Clock off, LIGHTS.
reader_a1() {  # global lines...
    config "$@"
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}"
}
# What a .set file holds for LIGHTS, with the lines given after it.
lights_file() {  # Half Clock 0 or 1, then further lines
    printf '%s\r\r\n' DEVICE=TYPE1 HCLOCK="$1" NADDR=4 ADDRS=09,05,02,03 NLIGHT=2 \
        LIGHT0=0010,0400,0100,0150,0001 LIGHT1=0020,0600,0100,0120,0002 "${@:2}"
}

# ------------------------------------------------------------------ cases

# Store a new HBlank and Half Clock, read them back, check the backup, then
# restore the backup: the device must be as it was, byte for byte.
case_store_show_restore() {
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_ON" "${LIGHTS[@]}"
    cli show
    check "show: status 0" status_is 0
    check "show: HBlank and Half Clock" out_has $'HBlank: 256 (0x0100)\n  Half Clock: on'
    cp "$W/device1.img" "$W/before.img"

    cli store --hblank 0x155 --half-clock off
    check "store: status 0" status_is 0
    check "store: the log on stdout" out_has $'Store -> device: TYPE1\nWrite register adresses...OK'
    check "store: the header written last and verified" out_has $'Refresh header info ...OK\nChecks writing...OK'
    check "store: each log line printed once" out_count_is "Store light 1 ...OK" 1
    check "store: the restart notice" out_has "Restart device to apply changes!"
    check "store: one backup" set_file_count_is 1

    # The exposure stays: shutter x (HBlank + 2417) x clock period, the
    # period halved while Half Clock is on.
    local shutter1 shutter2
    shutter1=$(printf '%04x' $((0x400 * 2 * (256 + 2417) / ((341 + 2417) * 1))))
    shutter2=$(printf '%04x' $((0x600 * 2 * (256 + 2417) / ((341 + 2417) * 1))))
    cli show
    check "show after store: new values" out_has $'HBlank: 341 (0x0155)\n  Half Clock: off'
    check "show after store: rescaled shutters" \
        out_has $'Light 0: 0010 '"$shutter1"$' 0155 0150 0001\n  Light 1: 0020 '"$shutter2"' 0155 0120 0002'
    check "show after store: Half Clock bit cleared" out_has "Header: 57 49 51 40 04 02 00 00 00 00 00 00 00 00 00 00"

    local backup
    backup=$(set_files | head -n 1)
    check "backup named after the device and time" \
        text_matches "$(basename "$backup")" '^KVDEV-A1_[0-9]{14}\.set$'
    lights_file 1 ------------------------------------------------------ >"$W/expected.txt"
    check "backup holds the settings from before the store" same_bytes "$backup" "$W/expected.txt"

    cli restore "$(basename "$backup")"
    check "restore: status 0" status_is 0
    check "restore: the log on stdout" out_has $'Restore -> device: TYPE1\nWrite register adresses...OK'
    check "restore: device image as before the store" same_bytes "$W/device1.img" "$W/before.img"

    cli store --hblank 256 --half-clock on
    check "store of what the device holds: status 0" status_is 0
    check "store of what the device holds: No changes" out_has "No changes"
    check "store of what the device holds: backed up first, as the dialog does" set_file_count_is 2
    check "store of what the device holds: image untouched" same_bytes "$W/device1.img" "$W/before.img"
}

# show --json is one JSON document on stdout, whatever the names hold.
case_json() {
    local rest=$'"Q\\\t\xe9-1'
    config
    device "ZEB$rest" ZEB1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}"
    # HBlank at the top of its range: four digits in the JSON.
    device "KYT$rest" KYT1 "$HALF_CLOCK_ON" "light1 = 0030 0800 03ff 0150 0001" "light2 = 0040 0500 03ff 0150 0001"
    cli show --json
    check "show --json: status 0" status_is 0
    check "show --json: the JSON as the devices hold it" python3 - "$W/out.raw" <<'PY'
import json, sys
with open(sys.argv[1], "rb") as f:
    devices = json.loads(f.read().decode("ascii"))
rest = '"Q\\\t\u00e9-1'
libraries = [device.pop("library", None) for device in devices]
if libraries[0]["version"] != 0x07000500 or not libraries[0]["path"].endswith(("qzsd7.dll", "libqzsd7.so")) \
        or libraries[1] != libraries[0]:
    print("     libraries:", libraries)
    sys.exit(1)
expected = [
    {"name": "ZEB" + rest, "type": "ZEB1", "halfClock": False, "hblank": 256,
     "addresses": [9, 5, 2, 3], "lights": [[0x10, 0x400, 0x100, 0x150, 1], [0x20, 0x600, 0x100, 0x120, 2]],
     "interrupted": None, "noOutcome": None},
    {"name": "KYT" + rest, "type": "KYT1", "halfClock": True, "hblank": 0x3ff,
     "addresses": [9, 5, 2, 3], "lights": [[0x30, 0x800, 0x3ff, 0x150, 1], [0x40, 0x500, 0x3ff, 0x150, 1]],
     "interrupted": None, "noOutcome": None},
]
if devices != expected:
    print("     got", devices)
    sys.exit(1)
PY
}

# One run for each exit status, and that a failure touches nothing it should
# not.
case_exit_statuses() {
    local bad
    reader_a1
    for bad in "frobnicate" "store --hblank 20" "store --hblank 1024" "store --half-clock yes" \
               "show --hblank 300" "restore" "show -C" "-C . -C . show" "-C . --workstation" \
               "check" "sync --hblank 300 x.set" "doctor x.set --hblank 300" "doctor x.set y.set" "show --wait 5" "store --report r.csv" \
               "sync --hblank 300 --wait 1h" "check x.set --wait 3601" "sync x.set --report"; do
        # shellcheck disable=SC2086
        cli $bad
        check "usage error '$bad': status 2, the reason, the usage" usage_error
    done
    check "usage errors: the library never called" library_untouched

    cli --version
    check "--version: status 0" status_is 0
    check "--version: the version, then the library and its version word" \
        text_matches "$OUT" $'^spelvane-cli [0-9]+\\.[0-9]+\\.[0-9]+\nLibrary: .*qzsd7\\.(dll|so), version 0x07000500$'

    # 4: every name the backup could take is an earlier backup (it moves its
    # stamp on past taken names for an hour, then gives up).
    cli show
    cp "$W/device1.img" "$W/before.img"
    local now
    now=$(date +%s)
    (cd "$W" && seq "$now" $((now + 3700)) | sed 's/^/@/' |
        date -f - +KVDEV-A1_%Y%m%d%H%M%S.set | xargs touch)
    cli store --hblank 300
    check "backup fails in store: status 4" status_is 4
    check "backup fails in store: says no file could be made" \
        err_is "spelvane-cli: no backup file could be created; nothing was written to the device"
    check "backup fails in store: log says why" out_has "Saving is FAILED (File creating error)"
    check "backup fails in store: nothing written" same_bytes "$W/device1.img" "$W/before.img"
    cli backup
    check "backup command fails: status 4" status_is 4
    check "backup command fails: the log on stdout, one error line" out_has "Saving is FAILED (File creating error)"
    check "backup command fails: one error line" err_is_one_line
    check "backup command fails: no earlier backup added to" \
        test -z "$(find "$W" -maxdepth 1 -name '*.set' -size +0)"
    find "$W" -maxdepth 1 -name '*.set' -type f -delete

    # 7: standard output cannot be written, for a command that did its work
    # or found a difference; a failed command keeps its status.
    printf '%s\r\r\n' DEVICE=TYPE1 HCLOCK=1 NADDR=1 ADDRS=09 NLIGHT=0 >"$W/differs.txt"
    local run status
    for run in "show --json|7" "verify differs.txt --json|7" "restore missing.set|5"; do
        IFS='|' read -r run status <<<"$run"
        # shellcheck disable=SC2086
        (cd "$W" && QZSIM_CONFIG="$W/qzsim.conf" "${CLI[@]}" $run >/dev/full 2>"$W/err.raw")
        STATUS=$? ERR=$(tr -d '\r' <"$W/err.raw")
        check "$run on a full disk: status $status, one error line" eval 'status_is $status && err_is_one_line'
    done

    # 5: a file that cannot be read, and one with no section for this device.
    cli restore missing.set
    check "restore of a missing file: status 5" status_is 5
    check "restore of a missing file: one error line" err_is_one_line
    printf '%s\r\r\n' DEVICE=OTHER HCLOCK=1 NADDR=1 ADDRS=09 NLIGHT=1 LIGHT0=0001,0002 >"$W/other.txt"
    cli restore other.txt
    check "restore without a matching section: status 5" status_is 5
    check "restore without a matching section: names the file's type and the reader's" err_is \
        "spelvane-cli: no section of other.txt could be applied: it holds DEVICE=OTHER; the reader's type is TYPE1"
    check "restore without a matching section: nothing written" same_bytes "$W/device1.img" "$W/before.img"

    # 1: a device request fails during the store (after the backup), and a
    # change the settings cannot take. 21 and 0x3ff lie in the range: they
    # reach the device.
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail = 12 0"
    cli store --hblank 21
    check "device write refused: status 1" status_is 1
    check "device write refused: the log shows it" out_has "Write register adresses...FAILED"
    check "device write refused: one error line" err_is_one_line
    check "device write refused: the backup was taken first" set_file_count_is 1

    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_ON" "light1 = 0010 f000 0100 0150 0001" "${LIGHTS[1]}"
    cli show
    cp "$W/device1.img" "$W/before.img"
    cli store --hblank 0x3ff --half-clock off
    check "change refused: status 1" status_is 1
    check "change refused: the log says why" out_has "above 65535: nothing written"
    check "change refused: nothing written" same_bytes "$W/device1.img" "$W/before.img"
    check "change refused: backed up first all the same" set_file_count_is 2

    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "fail = 15 1"
    cli show
    check "settings read fails: status 1" status_is 1
    check "settings read fails: the dialog's message" err_has "Load eeprom failed"

    # 3: no reader, and two that are no pair.
    config "enumerate = none"
    cli show --json
    check "no reader: status 3" status_is 3
    check "no reader: the dialog's message" err_is "spelvane-cli: Cannot find KV devices"
    check "no reader: nothing on stdout" out_is ""
    local program=("${CLI[@]}")
    mkdir -p "$W/alone" && cp "${CLI[-1]}" "$W/alone/"
    CLI=("${CLI[@]:0:${#CLI[@]}-1}" "$W/alone/$(basename "${CLI[-1]}")")
    cli show
    CLI=("${program[@]}")
    check "no library: status 3, one line with the reason" \
        text_matches "$STATUS $ERR" '^3 spelvane-cli: Cannot find KV devices \(Could not load: [^'$'\n'']*\)$'
    config "report_count = 70"
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF"
    device KVDEV-B1 TYPE1 "$HALF_CLOCK_OFF"
    cli store --hblank 300
    check "two readers: status 3" status_is 3
    check "two readers: the dialog's message alone" err_is "spelvane-cli: The program works only 1 KV device"
    check "two readers: the list cut at 64 is a warning of the log" out_has "only 64 were asked for"
    check "two readers: no device asked" no_device_request
    config
    device ZEB-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}"
    device KYT-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail_open = 1"
    cli show
    check "pair whose second reader cannot be opened: status 3" status_is 3
    check "pair whose second reader cannot be opened: one error line" err_is_one_line
}

# verify and the dry runs: what they print and return, and that the reader
# gets no write request and the folder no backup.
case_look_before_writing() {
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_ON" "${LIGHTS[@]}"
    lights_file 1 >"$W/same.txt"
    sed 's/LIGHT1=0020,0600,0100,0120/LIGHT1=0020,0600,0100,0121/' "$W/same.txt" >"$W/light1.txt"
    sed 's/DEVICE=TYPE1/DEVICE=TYPE2/' "$W/same.txt" >"$W/other.txt"
    sed 's/LIGHT0=0010,0400,0100,0150,0001/LIGHT0=0010,0400,0100,0150,0002/' "$W/same.txt" >"$W/last.txt"
    # Two registers where the reader's header announces four: the store
    # writes a header with the new count, so the header is no unchanged write.
    sed 's/NADDR=4/NADDR=2/' "$W/same.txt" >"$W/naddr2.txt"
    # As Notepad saves it: UTF-8 with its signature, and "Unicode".
    { printf '\xef\xbb\xbf'; cat "$W/light1.txt"; } >"$W/signed.txt"
    python3 -c 'import sys; sys.stdout.buffer.write(open(sys.argv[1], "rb").read().decode("latin-1").encode("utf-16"))' \
        "$W/light1.txt" >"$W/unicode.txt"
    local run status out
    for run in "verify same.txt|0|KVDEV-A1 (TYPE1): matches same.txt" \
               "verify light1.txt|6|KVDEV-A1 (TYPE1): light 1 word 3 (register 02): file 0121, device 0120" \
               "verify signed.txt|6|KVDEV-A1 (TYPE1): light 1 word 3 (register 02): file 0121, device 0120" \
               "verify last.txt|6|KVDEV-A1 (TYPE1): light 0 word 4 (register 03): file 0002, device 0001" \
               "verify other.txt|5|KVDEV-A1 (TYPE1): other.txt holds no section for it" \
               "verify unicode.txt|5|" \
               "store --half-clock off --dry-run|0|KVDEV-A1 (TYPE1): Half Clock: on -> off
KVDEV-A1 (TYPE1): light 0 word 1 (register 09): 0400 -> 0800
KVDEV-A1 (TYPE1): light 1 word 1 (register 09): 0600 -> 0c00
KVDEV-A1 (TYPE1): written again unchanged: register list" \
               "restore light1.txt --dry-run|0|KVDEV-A1 (TYPE1): light 1 word 3 (register 02): 0120 -> 0121
KVDEV-A1 (TYPE1): written again unchanged: register list, light 0, header" \
               "restore signed.txt --dry-run|0|KVDEV-A1 (TYPE1): light 1 word 3 (register 02): 0120 -> 0121
KVDEV-A1 (TYPE1): written again unchanged: register list, light 0, header" \
               "restore naddr2.txt --dry-run|0|KVDEV-A1 (TYPE1): address count: 4 -> 2
KVDEV-A1 (TYPE1): written again unchanged: light 0, light 1" \
               "store --hblank 0x100 --dry-run|0|KVDEV-A1 (TYPE1): No changes"; do
        IFS='|' read -r -d '' run status out <<<"$run" || true
        # shellcheck disable=SC2086
        cli $run
        check "$run: status $status" status_is "$status"
        check "$run: what it prints" out_is "${out%$'\n'}"
    done
    cli restore unicode.txt
    check "restore of a Unicode file: refused whole, one line saying so" \
        err_is "spelvane-cli: unicode.txt is saved as Unicode; save it as ANSI (nothing was written to the device)"
    cli verify unicode.txt
    check "verify of a Unicode file: says nothing of writing" \
        err_is "spelvane-cli: unicode.txt is saved as Unicode; save it as ANSI"
    cli verify light1.txt --json
    check "verify --json: status 6" status_is 6
    cp "$W/out.raw" "$W/verify.json"
    cli store --hblank 300 --dry-run --json
    check "verify and store --dry-run as JSON: the light 1 difference, the HBlank of both lights" \
        python3 - "$W/verify.json" "$W/out.raw" <<'PY'
import json, sys
verify, store = (json.load(open(name)) for name in sys.argv[1:])
word = lambda light, n, register, old, new: {"field": "lightWord", "light": light, "word": n, "index": None,
                                             "register": register, "from": old, "to": new}
ok = (verify["readers"][0]["outcome"] == "differs" and verify["readers"][0]["differences"] == [word(1, 3, 2, 0x120, 0x121)]
      and store["dryRun"] and store["readers"][0]["changes"] == [word(0, 2, 5, 0x100, 300), word(1, 2, 5, 0x100, 300)]
      and store["readers"][0]["unchangedWrites"] == ["addressList", "header"])
sys.exit(0 if ok else print("     got", verify, store) or 1)
PY
    check "no write request reached the reader" no_write_request
    check "no backup taken" set_file_count_is 0
    # A reader that lists register 05 but has no light: the store writes the
    # register list and the header all the same.
    config
    device KVDEV-A1 TYPE1 "57 49 51 00 04 00 00 00 00 00 00 00 00 00 00 00"
    cli store --hblank 300 --dry-run
    check "store --dry-run without lights: the writes of the store" \
        out_is "KVDEV-A1 (TYPE1): written again unchanged: register list, header"
    cli store --hblank 300 --dry-run --json
    check "store --dry-run --json without lights: the writes of the store" \
        out_has '"outcome": "changes", "changes": [], "unchangedWrites": ["addressList", "header"]}'
}

# The library comes from the program's folder, the system folders or PATH,
# never from the current folder: there stands the simulator variant without
# an entry point, which would end the run with status 3.
case_library_search() {
    local program=$W/program onpath=$W/on-path
    mkdir -p "$program" "$onpath"
    cp "$BIN/spelvane-cli.exe" "$program/"
    cp "$BIN/qzsd7.dll" "$onpath/"
    cp "$VARIANTS/no_entry/qzsd7.dll" "$W/"
    CLI=(wine "$program/spelvane-cli.exe")
    WINEPATH=$(winepath -w "$onpath")
    export WINEPATH
    reader_a1
    cli show
    echo "     the library on PATH: ${OUT%%$'\n'*}"
    check "library on PATH: status 0" status_is 0
    check "library on PATH: named with its version word" \
        out_has "Library: $WINEPATH\\qzsd7.dll, version 0x07000500"

    cp "$VARIANTS/version_07000000/qzsd7.dll" "$program/"
    cli show
    echo "     the library beside the program: ${OUT%%$'\n'*}"
    check "library beside the program: status 0" status_is 0
    check "library beside the program: taken first" \
        out_has "Library: $(winepath -w "$program")\\qzsd7.dll, version 0x07000000"
    unset WINEPATH
}

# One program at a time: a show started while a store runs on a five-light
# reader in another process asks the library nothing and says why.
case_one_at_a_time() {
    config "request_delay = 100"
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "light3 = 0030 0500 0100 0150 0001" \
        "light4 = 0040 0700 0100 0150 0001" "light5 = 0050 0800 0100 0150 0001"
    (cd "$W" && QZSIM_CONFIG="$W/qzsim.conf" "${CLI[@]}" store --hblank 0x155 >/dev/null 2>&1) &
    local store=$! i
    # From its first write the store holds the readers to its end.
    for ((i = 0; i < 300; i++)); do grep -q 'cmd=12 ' "$W/trace.log" 2>/dev/null && break; sleep 0.1; done
    cli show
    echo "     show while storing -> $STATUS: $ERR"
    check "the store still ran when the show ended" kill -0 "$store"
    check "second program: status 3" status_is 3
    check "second program: one line saying why" err_is "spelvane-cli: Another Spelvane is using the readers"
    cli history
    check "history while another stores: status 0, its start already there" status_is 0
    check "history while another stores: the store is running" \
        out_has "KVDEV-A1 (TYPE1): running: another Spelvane is using the readers now"
    # The show's requests would start with a second enumeration or announcement.
    check "second program: not one request" [ "$(grep -c -e fn=10ff0001 -e fn=1000000f "$W/trace.log")" -eq 2 ]
    check "the store went through" wait "$store"
}

# The change history: what store, backup and restore leave in
# spelvane-history.csv, read back by history (text and JSON) and named by
# show when a change was cut short; a history that cannot be written stops
# nothing.
case_history() {
    local history=$W/spelvane-history.csv
    reader_a1
    cli history
    check "no history yet: status 0, says so, and how to read the workstation's" \
        eval 'status_is 0 && out_has "No history yet: spelvane-history.csv is not in this folder (" &&
              out_has "; the workstation'"'"'s history is " && out_has ": spelvane-cli --workstation history"'
    check "history: the library never called" library_untouched
    cli history --json
    check "no history yet as JSON: an empty array" out_is "[]"
    cli show
    cli store --hblank 0x155 --dry-run
    lights_file 0 >"$W/same.txt"
    cli verify same.txt
    cli restore same.txt --dry-run
    check "show, verify and the dry runs write no history" test ! -e "$history"

    cli store --hblank 0x155
    check "store: status 0, a history written adds nothing to the output" eval 'status_is 0 && err_is ""'
    local backup
    backup=$(basename "$(set_files | head -n 1)")
    cli backup
    cli restore "$backup"
    check "restore of the backup: status 0" status_is 0
    printf '%s\r\r\n' DEVICE=TYPE1 HCLOCK=1 >"$W/refused.txt"
    cli restore refused.txt
    check "refused restore: status 5" status_is 5

    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail = 5 2"
    cli store --hblank 300
    check "store with a failing light: status 1" status_is 1

    cut_half_clock_store
    local cut sets
    cut=$(basename "$(set_files | grep /KVDEV-A1_ | tail -n 1)")
    sets=$(set_files | wc -l)
    check "the killed store left its backup" text_matches "$cut" '^KVDEV-A1_[0-9]{14}\.set$'
    check "the killed store wrote no header" [ "$(grep -c 'fn=10ff1002 cmd=19 ' "$W/trace.log")" -eq 0 ]
    # A store that finds nothing to change settles nothing on a reader that
    # holds half of the change.
    cli store
    check "a plain store after it: No changes" out_has "No changes"

    cli history
    check "history: status 0" status_is 0
    check "history: the store, in the dry run's words" \
        out_has "KVDEV-A1 (TYPE1): light 0 word 2 (register 05): 0100 -> 0155"
    check "history: the refused restore and why" out_has "its section in refused.txt was refused: there is no NADDR line"
    check "history: the failed store names the request" out_has "KVDEV-A1 (TYPE1): FAILED: store of light 1"
    check "history: the killed store has no outcome, naming its backup" \
        out_has "KVDEV-A1 (TYPE1): no outcome recorded: cut short, or only its outcome could not be written (spelvane-cli show tells which from the reader); if cut short, the backup $cut restores the settings it held before"
    cli show
    check "show names the interrupted change, after the No changes" \
        text_matches "$OUT" "KVDEV-A1: the store of [-0-9: +]+ was interrupted; the backup $cut restores"
    cli show --json
    cp "$W/out.raw" "$W/show.json"
    cli history --json
    cp "$W/out.raw" "$W/history.json"
    cli history --json --reader KVDEV-A1 --last 2
    cp "$W/out.raw" "$W/last.json"
    cli history --reader OTHER
    check "history of a reader never changed: says so" out_is "No changes of OTHER in spelvane-history.csv"
    check "history --json: every change, oldest first, as the dry run's objects" \
        python3 - "$W/history.json" "$W/last.json" "$W/show.json" "$backup" "$cut" <<'PY'
import json, sys
entries, last, show = (json.load(open(name)) for name in sys.argv[1:4])
backup, cut = sys.argv[4:6]
keys = {"time", "computer", "user", "program", "version", "library", "command", "reader", "type", "backup",
        "file", "outcome", "reason", "changes"}
problems = [e for e in entries if set(e) != keys or e["program"] != "spelvane-cli" or "qzsd7" not in e["library"]]
steps = [(e["command"], e["outcome"]) for e in entries]
want = [("store", "written"), ("backup", "backed up"), ("restore", "written"), ("restore", "refused"),
        ("store", "failed"), ("store", "no outcome recorded"), ("store", "no changes")]
hblank = lambda light, old, new: {"field": "lightWord", "light": light, "word": 2, "index": None, "register": 5,
                                  "from": old, "to": new}
store, _, restore, refused, failed, interrupted, _ = entries if len(entries) == 7 else [{}] * 7
ok = (not problems and steps == want and store["backup"] == backup and hblank(0, 0x100, 0x155) in store["changes"]
      and restore["file"] == backup and hblank(1, 0x155, 0x100) in restore["changes"]
      and refused["reason"] == "there is no NADDR line" and refused["changes"] == []
      and failed["reason"] == "store of light 1" and interrupted["backup"] == cut
      and interrupted["changes"][0]["field"] == "halfClock" and last == entries[-2:]
      and show[0]["interrupted"]["backup"] == cut and show[0]["interrupted"]["command"] == "store"
      and show[0]["interrupted"]["file"] is None and show[0]["noOutcome"]["state"] == "interrupted")
sys.exit(0 if ok else print("     problems", problems, "steps", steps, "\n     entries", entries, "\n     show", show) or 1)
PY

    # A row damaged by hand is left out and counted; the rest still reads.
    printf 'not,a,row\r\n' >>"$history"
    cli history --json
    check "damaged row: status 0, counted in one line" \
        eval 'status_is 0 && err_is "spelvane-cli: 1 row of spelvane-history.csv could not be read and was left out"'
    check "damaged row: the rest as before" same_bytes "$W/out.raw" "$W/history.json"
    # An answer that cannot be written is said, whatever else was counted.
    (cd "$W" && "${CLI[@]}" history >/dev/full 2>"$W/err.raw")
    STATUS=$?
    ERR=$(tr -d '\r' <"$W/err.raw")
    check "history to a full disk: status 7, says so" \
        eval 'status_is 7 && err_has "cannot write to standard output"'
    # Saved again by an editor that puts the UTF-8 signature first.
    { printf '\xEF\xBB\xBF'; head -n -1 "$history"; } >"$W/signed.csv"
    cp "$W/signed.csv" "$history"
    cli history --json
    check "history with a UTF-8 signature: read without a warning" \
        eval 'status_is 0 && err_is "" && same_bytes "$W/out.raw" "$W/history.json"'

    # Something in the way of the file: the store goes through, one line says so.
    mv "$history" "$W/kept.csv"
    mkdir "$history"
    cli history
    check "a folder in the history's place: status 5, says what it is" \
        eval 'status_is 5 && err_has "it is a folder, not a file"'
    cli store --hblank 0x160
    local missing="spelvane-cli: this change is missing from the history spelvane-history.csv: it could not be written"
    check "history that cannot be written: status 0, one line on stderr" eval 'status_is 0 && err_is "$missing"'
    check "history that cannot be written: stored all the same" out_has "Restart device to apply changes!"
    printf '%s\r\r\n' DEVICE=OTHER HCLOCK=1 NADDR=1 ADDRS=09 NLIGHT=0 >"$W/other.txt"
    cli restore other.txt
    check "a failed command without its history: status 5, its one error line says both" eval \
        'status_is 5 && err_is_one_line && err_has "no section of other.txt" && err_has "missing from the history"'
    rmdir "$history"
    # --reader picks the reader's entries before --last takes the newest.
    local row=',2026-12-08 11:43:55 +01:00,WS12,op,spelvane-cli,1.0.0,"C:\Spelvane\qzsd7.dll, version 0x07000500",backup,outcome,'
    { head -n 1 "$W/kept.csv"; printf 'R8%sSECOND,TYPE1,S.set,,backed up,,,,,,,,\r\nR9%sFIRST,TYPE1,F.set,,backed up,,,,,,,,\r\n' "$row" "$row"; } >"$history"
    cli history --reader SECOND --last 1
    check "history --reader SECOND --last 1 on a pair: SECOND's last" \
        eval 'status_is 0 && out_has "SECOND (TYPE1): backed up into S.set" && [[ $OUT != *FIRST* ]]'
    rm "$history"

    # A store that finished but whose outcome row could not be written: the
    # history is taken away once the store has begun writing, and given back
    # after it ended. show judges it by the reader: finished, no advice. The
    # reader is brought back from the cut store first: it still held part
    # of that one, whatever was stored since.
    mv "$W/kept.csv" "$history"
    cli restore "$cut"
    sed -i '1a request_delay = 100' "$W/qzsim.conf"
    : >"$W/trace.log"
    (cd "$W" && QZSIM_CONFIG="$W/qzsim.conf" exec "${CLI[@]}" store --hblank 0x170 >/dev/null 2>"$W/finished.err") &
    store=$!
    for ((i = 0; i < 300; i++)); do grep -q 'cmd=12 ' "$W/trace.log" 2>/dev/null && break; sleep 0.1; done
    mv "$history" "$W/kept.csv"
    mkdir "$history"
    check "outcome row lost: the store went through" wait "$store"
    check "outcome row lost: the note names only the outcome" [ "$(tr -d '\r' <"$W/finished.err")" = \
        "spelvane-cli: the outcome of this change for KVDEV-A1 is missing from the history spelvane-history.csv: it could not be written" ]
    rmdir "$history"
    mv "$W/kept.csv" "$history"
    sed -i '/^request_delay/d' "$W/qzsim.conf"
    cli show
    check "show: the store without outcome finished, and no restore is advised" out_has \
        "the reader holds every value it wrote; only its outcome is missing from the history."
    check "show: not called interrupted" eval '[[ $OUT != *interrupted* ]]'
    cli show --json
    check "show --json: interrupted null, noOutcome finished" python3 -c '
import json, sys
device = json.load(open(sys.argv[1]))[0]
sys.exit(0 if device["interrupted"] is None and device["noOutcome"]["state"] == "finished" else 1)' "$W/out.raw"

    if [[ -n $VARIANTS && -f $VARIANTS/../spelvane-driver.exe ]]; then
        # Held by another program that shares it for reading only.
        local holder=$W/holder.out
        (cd "$W" && printf 'hold "spelvane-history.csv"\nsleep 30000\n' |
            exec wine "$VARIANTS/../spelvane-driver.exe" - >"$holder" 2>&1) &
        local held=$!
        for ((i = 0; i < 200; i++)); do grep -q holding "$holder" 2>/dev/null && break; sleep 0.1; done
        cp "$history" "$W/before-held.csv"
        cli backup
        check "held history: backup status 0, one line on stderr" eval 'status_is 0 && err_is "$missing"'
        check "held history: nothing added to it" same_bytes "$history" "$W/before-held.csv"
        kill "$held"
        wait "$held" 2>/dev/null
    fi

    # Three workstations' histories read as one, by the moment across their
    # zones (12:30 +03:00 is before 12:00 +01:00),
    # each entry naming its computer; the one that cannot be read is named
    # with why, and the others are shown all the same.
    local header
    header=$(head -n 1 "$history")
    mkdir -p "$W/ws1" "$W/ws2" "$W/ws3/spelvane-history.csv"
    ws_row() {  # computer, time, backup
        printf 'R-%s,%s,%s,op,spelvane-cli,1.0.0,lib,backup,outcome,KVDEV-A1,TYPE1,%s,,backed up,,,,,,,,\r\n' \
            "$3" "$2" "$1" "$3"
    }
    { echo "$header"; ws_row WS1 '2026-12-08 10:00:00 +01:00' W1a.set; ws_row WS1 '2026-12-08 12:00:00 +01:00' W1b.set; } \
        >"$W/ws1/spelvane-history.csv"
    { echo "$header"; ws_row WS2 '2026-12-08 12:30:00 +03:00' W2.set; } >"$W/ws2/spelvane-history.csv"
    cli history ws1 ws2/spelvane-history.csv ws3
    check "three histories, one a folder: status 5, the two read, in time order, each naming its computer" \
        eval 'status_is 5 && [[ $(grep -o "W[12][ab]*\.set" <<<"$OUT" | tr "\n" " ") == "W1a.set W2.set W1b.set " ]] &&
              [[ $(grep -c " on WS1 with " <<<"$OUT") -eq 2 && $(grep -c " on WS2 with " <<<"$OUT") -eq 1 ]]'
    check "three histories, one a folder: one line names it and why" \
        eval 'err_is_one_line && err_has "1 of 3 histories could not be read, the others are shown: cannot read " &&
              err_has "ws3" && err_has "spelvane-history.csv: it is a folder, not a file"'
    cli history ws1 ws2 --last 2 --json
    check "history of two, --last 2 --json: the newest two of both, oldest first" python3 -c '
import json, sys
entries = json.load(open(sys.argv[1]))
sys.exit(0 if [(e["computer"], e["backup"]) for e in entries] == [("WS2", "W2.set"), ("WS1", "W1b.set")] else 1)' "$W/out.raw"
    cli history ws1 missing
    check "a history that is not there: status 5, its whole path and why" \
        eval 'status_is 5 && out_has "W1b.set" && err_has "missing: it does not exist"'
    # A folder that is not there, and a file where the folder would be.
    : >"$W/a-file"
    cli history ws1 nowhere/spelvane-history.csv a-file/spelvane-history.csv
    check "histories in folders that are not there: status 5, each whole path and why" \
        eval 'status_is 5 && out_has "W1b.set" && err_has "2 of 3 histories could not be read" &&
              [[ $(grep -o "spelvane-history.csv: it does not exist" <<<"$ERR" | wc -l) -eq 2 ]] &&
              err_has nowhere && err_has a-file'

    # Undo: a Half Clock store cut before its header (halved shutters, Half
    # Clock off), an HBlank store over it, then the newest backup restored,
    # the natural undo: the reader holds part of the cut store again, and a
    # Half Clock store is refused naming the backup taken before the cut one.
    rm -f "$history" "$W"/*.set
    cut_half_clock_store
    local first
    first=$(basename "$(set_files | tail -n 1)")
    check "undo: the cut store halved the shutters" shutters_are "0200 0300"
    cli store --hblank 300
    check "undo: an HBlank store over it is written" status_is 0
    cli restore "$(basename "$(set_files | tail -n 1)")"
    check "undo: the newest backup restored brings the halved shutters back" \
        eval 'status_is 0 && shutters_are "0200 0300"'
    cli store --half-clock on
    check "undo: Half Clock refused, naming the cut store's backup" \
        eval 'status_is 1 && err_has "restore the backup file $first first" && shutters_are "0200 0300"'
    # More than 16 MB of other readers' rows since: one answer still.
    python3 - "$history" <<'PY'
import sys
with open(sys.argv[1], "a", newline="") as history:
    for n in range(60000):
        common = f"R{n},2026-12-09 10:00:00 +01:00,WS12,op,spelvane-cli,1.0.0,\"C:\\lib\\qzsd7.dll, version 0x07000500\",store,"
        reader = f"KVDEV-R{n % 40},TYPE1,KVDEV-R{n % 40}_20261209100000.set"
        history.write(f"{common}start,{reader},,,,,,,,,,\r\n")
        history.write(f"{common}change,{reader},,,,lightWord,,0,2,5,256,341\r\n")
        history.write(f"{common}outcome,{reader},,written,,,,,,,,\r\n")
PY
    check "undo: the cut change lies more than 16 MB back" [ "$(stat -c %s "$history")" -gt 16777216 ]
    cli show
    check "undo, 16 MB later: show names the cut store's backup" out_has "the backup $first restores"
    cli store --half-clock on --dry-run
    check "undo, 16 MB later: the dry run is refused the same" \
        eval '[[ $STATUS -ne 0 ]] && err_has "restore the backup file $first first"'
}

# A fresh KVDEV-A1 and a store of Half Clock on that ended between its
# start and its outcome: the writes are slowed down and the process killed
# once both lights were stored, before the header: halved shutters with
# Half Clock off. The reader then answers at full speed again.
cut_half_clock_store() {
    reader_a1 "request_delay = 300"
    (cd "$W" && QZSIM_CONFIG="$W/qzsim.conf" exec "${CLI[@]}" store --half-clock on >/dev/null 2>&1) &
    local store=$! i
    for ((i = 0; i < 300; i++)); do [[ $(grep -c 'cmd=5 ' "$W/trace.log" 2>/dev/null) -ge 2 ]] && break; sleep 0.1; done
    kill -9 "$store"
    wait "$store" 2>/dev/null
    sed -i '/^request_delay/d' "$W/qzsim.conf"
}

# The shutter words (light 0, light 1) as show prints them.
shutters_are() {  # "light0 light1"
    cli show
    local held
    held=$(sed -n 's/^  Light [01]: [0-9a-f]* \([0-9a-f]*\) .*/\1/p' <<<"$OUT" | tr '\n' ' ')
    [[ ${held% } == "$1" ]] || { echo "     shutters: $held"; false; }
}

# Every user may add rows to the history: an outcome "written" for the
# change whose start is the first in it, as one could type it in.
append_written_for_first_start() {
    python3 - "$W/spelvane-history.csv" <<'PY'
import csv, sys
path = sys.argv[1]
rows = list(csv.reader(open(path, newline="")))
start = next(row for row in rows[1:] if row[8] == "start")
forged = start[:8] + ["outcome"] + start[9:13] + ["written"] + [""] * (len(start) - 14)
with open(path, "a", newline="") as history:
    csv.writer(history, lineterminator="\r\n").writerow(forged)
PY
}

# Starts a store of HBlank $1 in another process and returns once it has
# asked for its first write; STORE holds its process id.
store_in_background() {
    (cd "$W" && QZSIM_CONFIG="$W/qzsim.conf" exec "${CLI[@]}" store --hblank "$1" >/dev/null 2>&1) &
    STORE=$!
    local i
    for ((i = 0; i < 300; i++)); do grep -q 'cmd=12 ' "$W/trace.log" 2>/dev/null && break; sleep 0.1; done
}

# check and sync: a reader that holds it is left alone, one that differs is
# backed up and written; run twice, the second run does nothing.
case_check_sync() {
    reader_a1
    lights_file 0 >"$W/same.txt"
    sed 's/LIGHT1=0020,0600,0100,0120/LIGHT1=0020,0600,0100,0121/' "$W/same.txt" >"$W/light1.txt"
    sed 's/DEVICE=TYPE1/DEVICE=TYPE2/' "$W/same.txt" >"$W/other.txt"
    local run status out
    for run in "check --hblank 256|0|KVDEV-A1 (TYPE1): already holds it" \
               "check same.txt|0|KVDEV-A1 (TYPE1): already holds it" \
               "check --hblank 0x155|6|KVDEV-A1 (TYPE1): light 0 word 2 (register 05): 0100 -> 0155
KVDEV-A1 (TYPE1): light 1 word 2 (register 05): 0100 -> 0155" \
               "check light1.txt|6|KVDEV-A1 (TYPE1): light 1 word 3 (register 02): 0120 -> 0121" \
               "check other.txt|5|KVDEV-A1 (TYPE1): other.txt holds no section for it" \
               "sync other.txt|5|KVDEV-A1 (TYPE1): other.txt holds no section for it"; do
        IFS='|' read -r -d '' run status out <<<"$run" || true
        # shellcheck disable=SC2086
        cli $run
        out=${out%$'\n'}
        check "$run: status $status, what it prints" eval 'status_is "$status" && out_is "$out"'
    done
    check "check: no write, no backup, no history" \
        eval 'no_write_request && set_file_count_is 0 && test ! -e "$W/spelvane-history.csv"'

    # Lights that hold HBlank 0 and 0x3ff (show says 0x3ff): --hblank N
    # names every light; --half-clock alone keeps each light's HBlank.
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_ON" "light1 = 0010 0400 0000 0150 0001" "light2 = 0020 0600 03ff 0120 0002"
    for run in "check --hblank 0x3ff|6|KVDEV-A1 (TYPE1): light 0 word 2 (register 05): 0000 -> 03ff" \
               "store --hblank 0x3ff --dry-run|0|KVDEV-A1 (TYPE1): light 0 word 2 (register 05): 0000 -> 03ff
KVDEV-A1 (TYPE1): written again unchanged: register list, light 1, header" \
               "store --half-clock off --dry-run|0|KVDEV-A1 (TYPE1): Half Clock: on -> off
KVDEV-A1 (TYPE1): light 0 word 1 (register 09): 0400 -> 0800
KVDEV-A1 (TYPE1): light 1 word 1 (register 09): 0600 -> 0c00
KVDEV-A1 (TYPE1): written again unchanged: register list"; do
        IFS='|' read -r -d '' run status out <<<"$run" || true
        # shellcheck disable=SC2086
        cli $run
        out=${out%$'\n'}
        check "lights of two HBlanks: $run: status $status, what it prints" eval 'status_is "$status" && out_is "$out"'
    done
    reader_a1

    local i
    for i in 1 2; do
        cli sync --hblank 0x155 --json
        cp "$W/out.raw" "$W/sync$i.json"
        check "sync run $i: status 0" status_is 0
    done
    cli sync light1.txt
    check "sync from a reference file: backed up first, written" eval 'status_is 0 && set_file_count_is 2'
    cli sync light1.txt
    check "sync from a reference file again: holds it, nothing written" \
        eval 'status_is 0 && out_is "KVDEV-A1 (TYPE1): already holds it" && set_file_count_is 2'
    cli history --json
    check "sync twice, twice: one backup and one history entry each, changed only the first time" \
        python3 - "$W/sync1.json" "$W/sync2.json" "$W/out.raw" <<'PY'
import json, sys
first, second, history = (json.load(open(name)) for name in sys.argv[1:])
reader = lambda report: report["readers"][0]
ok = (reader(first)["changed"] and reader(first)["outcome"] == "written" and len(reader(first)["changes"]) == 2
      and first["backup"] and not reader(second)["changed"] and reader(second)["outcome"] == "holds"
      and second["backup"] is None
      and [(e["command"], e["outcome"], e["file"]) for e in history] == [("sync", "written", None),
                                                                        ("sync", "written", "light1.txt")]
      and history[0]["backup"] == first["backup"])
sys.exit(0 if ok else print("     got", first, second, history) or 1)
PY

    # A pair: only the reader that differs is written; the one that holds
    # it gets no history row.
    config
    device ZEB-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}"
    device KYT-A1 TYPE1 "$HALF_CLOCK_OFF" "light1 = 0010 0400 0155 0150 0001" "light2 = 0020 0600 0155 0120 0002"
    cli show
    cp "$W/device2.img" "$W/kyt.img"
    rm -f "$W/spelvane-history.csv"
    cli sync --hblank 0x155 --json
    check "pair: the differing reader changed, the other not" \
        eval 'status_is 0 && out_has "\"name\": \"ZEB-A1\", \"type\": \"TYPE1\", \"outcome\": \"written\", \"changed\": true" &&
              out_has "\"name\": \"KYT-A1\", \"type\": \"TYPE1\", \"outcome\": \"holds\", \"changed\": false"'
    check "pair: the holding reader untouched, no row of it" \
        eval 'same_bytes "$W/device2.img" "$W/kyt.img" && ! grep -q ,KYT-A1,TYPE1, "$W/spelvane-history.csv"'

    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail = 5 2"
    cli sync --hblank 300
    check "a write failing mid-sync: status 1, one line naming the backup" \
        eval 'status_is 1 && err_is_one_line && err_has "sync FAILED" && err_has "KVDEV-A1_"'
    # It left light 0 at HBlank 300 (0x12c), light 1 at 256: the reader
    # does not hold it, whatever its first light says.
    local cut sets
    cut=$(basename "$(set_files | grep /KVDEV-A1_ | tail -n 1)")
    sets=$(set_files | wc -l)
    sed -i '/^fail = 5 2/d' "$W/qzsim.conf"
    : >"$W/trace.log"
    cli check --hblank 300
    check "half-written reader: check names light 1, status 6" \
        eval 'status_is 6 && out_is "KVDEV-A1 (TYPE1): light 1 word 2 (register 05): 0100 -> 012c"'
    cli check --hblank 300 --json
    check "half-written reader: check --json names light 1" python3 -c '
import json, sys
reader = json.load(open(sys.argv[1]))["readers"][0]
sys.exit(0 if reader["outcome"] == "differs" and [(c["light"], c["word"], c["from"], c["to"]) for c in reader["changes"]]
         == [(1, 2, 256, 300)] else print("     got", reader) or 1)' "$W/out.raw"
    cli show --json
    check "half-written reader: show --json names the failed sync as interrupted, not as without outcome" python3 -c '
import json, sys
device = json.load(open(sys.argv[1]))[0]
sys.exit(0 if device["interrupted"]["command"] == "sync" and device["noOutcome"] is None else print("     got", device) or 1)' "$W/out.raw"
    cli doctor
    check "half-written reader: doctor's fix names the backup" \
        eval 'status_is 8 && out_has "FIX   history: KVDEV-A1: the sync of" && out_has "FAILED; the backup $cut restores"'
    # A change of Half Clock would rescale shutters the failed change may
    # have rescaled: refused, no backup, not one write.
    local refused="KVDEV-A1 holds only part of the sync of .*, which FAILED, and a change of Half Clock would rescale its shutters a second time; restore the backup file $cut first; nothing was written to the device"
    cli sync --hblank 300 --half-clock on --json
    check "half-written reader: a sync of Half Clock refused, naming the backup, status 1" \
        eval 'status_is 1 && err_is_one_line && text_matches "$ERR" "$refused and no backup taken\$"'
    check "half-written reader: the refused sync's JSON says refused, and why" python3 -c '
import json, sys
reader = json.load(open(sys.argv[1]))["readers"][0]
sys.exit(0 if reader["outcome"] == "refused" and sys.argv[2] in reader["reason"] else print("     got", reader) or 1)' \
        "$W/out.raw" "restore the backup file $cut first"
    cli store --half-clock on
    check "half-written reader: a store of Half Clock refused the same, status 1" \
        eval 'status_is 1 && err_is_one_line && text_matches "$ERR" "$refused\$"'
    cli store --half-clock on --dry-run
    check "half-written reader: the store's dry run tells the refusal, status 1" \
        eval 'status_is 1 && err_is_one_line && err_has "restore the backup file $cut first; store would write nothing"'
    check "half-written reader: the refusals wrote nothing, took no backup" \
        eval 'no_write_request && set_file_count_is $sets'
    cli sync --hblank 300 --json
    check "half-written reader: sync writes it whole" \
        eval 'status_is 0 && out_has "\"outcome\": \"written\", \"changed\": true" && set_file_count_is $((sets + 1))'
    cli check --hblank 300
    check "half-written reader synced: holds it" eval 'status_is 0 && out_is "KVDEV-A1 (TYPE1): already holds it"'
    # A value the reader would refuse is not held: twice 0x9000 is above 65535.
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_ON" "light1 = 0010 9000 0100 0150 0001" "${LIGHTS[1]}"
    cli check --half-clock off
    check "check of a value the reader would refuse: status 6, says why" \
        eval 'status_is 6 && out_has "the change would be refused: Shutter value of light 0 would become"'
    # Every name the backup could take is taken: nothing is written.
    reader_a1
    local now
    now=$(date +%s)
    (cd "$W" && seq "$now" $((now + 3700)) | sed 's/^/@/' | date -f - +KVDEV-A1_%Y%m%d%H%M%S.set | xargs touch)
    cli sync --hblank 300 --json
    check "sync whose backup fails: status 4, the reader still differing, unchanged" \
        eval 'status_is 4 && out_has "\"outcome\": \"differs\", \"changed\": false" && no_write_request'
    config "enumerate = none"
    cli check --hblank 300
    check "check without a reader: status 3" status_is 3
    cli sync --hblank 300
    check "sync without a reader: status 3" status_is 3

    # A reader whose driver comes up late: --wait looks again every two
    # seconds; "no reader" only once the time is up.
    rm -f "$W"/*.set
    reader_a1 "absent_enumerations = 2"
    SECONDS=0
    cli sync --hblank 0x155 --wait 10
    check "--wait: a reader up after two looks is written" eval 'status_is 0 && [[ $SECONDS -ge 4 ]]'
    reader_a1 "absent_enumerations = 5"
    SECONDS=0
    cli check --hblank 0x155 --wait 3
    check "--wait: none up in time: status 3 after the wait" eval 'status_is 3 && [[ $SECONDS -ge 3 ]] && err_has "Cannot find KV devices"'

    # The site's report: a header, then one row per reader per run (values
    # as the run left them), and one row when no reader is found.
    reader_a1
    rm -f "$W/report.csv"
    cli check --hblank 0x155 --report report.csv
    cli sync --hblank 0x155 --report report.csv
    local backup
    backup=$(basename "$(set_files | tail -n 1)")
    cli sync --hblank 0x155 --report report.csv
    config "enumerate = none"
    cli sync --hblank 0x155 --report report.csv
    cli_alone sync --hblank 0x155 --report report.csv
    # A sync that failed at light 1: the row holds what the reader holds
    # now, light by light; the refusal that follows says refused.
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail = 5 2"
    cli sync --hblank 300 --report report.csv
    local failed
    failed=$(basename "$(set_files | tail -n 1)")
    sed -i '/^fail = 5 2/d' "$W/qzsim.conf"
    cli sync --half-clock on --report report.csv
    # Failed, and the reader cannot be read again (its third light read
    # since the open): the cells claim nothing.
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail = 5 2" "fail = 14 3"
    cli sync --hblank 300 --report report.csv
    check "report: one row per reader per run, one without a reader, the status of each" \
        python3 - "$W/report.csv" "$backup" "$failed" <<'PY'
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], newline="", encoding="latin-1")))
keys = ["command", "reference", "reader", "type", "outcome", "halfClock", "hblank", "backup", "status"]
got = [[row[key] for key in keys] for row in rows]
want = [["check", "HBlank 341", "KVDEV-A1", "TYPE1", "differs", "off", "256 256", "", "6"],
        ["sync", "HBlank 341", "KVDEV-A1", "TYPE1", "written", "off", "341 341", sys.argv[2], "0"],
        ["sync", "HBlank 341", "KVDEV-A1", "TYPE1", "holds", "off", "341 341", "", "0"],
        ["sync", "HBlank 341", "", "", "no reader", "", "", "", "3"],
        ["sync", "HBlank 341", "", "", "no library", "", "", "", "3"],
        ["sync", "HBlank 300", "KVDEV-A1", "TYPE1", "failed", "off", "300 256", sys.argv[3], "1"],
        ["sync", "Half Clock on", "KVDEV-A1", "TYPE1", "refused", "off", "300 256", "", "1"],
        ["sync", "HBlank 300", "KVDEV-A1", "TYPE1", "failed", "", "", rows[-1]["backup"], "1"]]
header = open(sys.argv[1], "rb").read().split(b"\r\n")[0]
ok = (got == want and header.startswith(b"time,computer,user,command,reference,reader,")
      and all(row["run"] and row["version"] and row["time"] for row in rows)
      and "qzsd7" in rows[0]["library"] and rows[3]["library"].find("qzsd7") >= 0)
sys.exit(0 if ok else print("     got", got, header) or 1)
PY
    check "report: its header is the guide's column table, in order" python3 - "$W/report.csv" "$GUIDE" <<'PY'
import sys
header = open(sys.argv[1], "rb").read().split(b"\r\n")[0].decode().split(",")
lines = open(sys.argv[2], encoding="utf-8").read().splitlines()
at = lines.index("| Column | Holds |") + 2
columns = []
while lines[at].startswith("|"):
    columns.append(lines[at].split("|")[1].strip().strip("`"))
    at += 1
sys.exit(0 if header == columns else print("     header", header, "guide", columns) or 1)
PY
}

# The events of the last run, one line each: source, id, type, then the
# inserts; natively from the file the posix build writes them to, under
# Wine from what its eventlog channel prints of ReportEventW.
last_events() {
    if [[ ${CLI[0]} != wine ]]; then
        cat "$W/events.log" 2>/dev/null
        rm -f "$W/events.log"
        return
    fi
    python3 - "$W/err.raw" <<'PY'
import re, sys
types = {"0004": "information", "0002": "warning", "0001": "error"}
unescape = lambda text: re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m[1], m[1]), text)
source, events = "?", []
for line in open(sys.argv[1], encoding="latin-1").read().splitlines():
    if m := re.search(r'RegisterEventSourceW \(.*,L"(.*)"\)', line):
        source = unescape(m[1])
    elif m := re.search(r"ReportEventW \(\w+,0x(\w{4}),0x\w{4},0x(\w{8}),", line):
        events.append(["%s %d %s" % (source, int(m[2], 16), types.get(m[1], m[1]))])
    elif (m := re.search(r'(?:trace|warn|err):eventlog:ReportEventW L"(.*)"$', line)) and events:
        events[-1].append(unescape(m[1]))
print("\n".join(" | ".join(event) for event in events))
PY
}
events_are() {  # one pattern per event, in order
    local n=0 want
    for want in "$@"; do
        n=$((n + 1))
        [[ $(sed -n "${n}p" <<<"$EVENTS") =~ $want ]] || { echo "     event $n: $(sed -n "${n}p" <<<"$EVENTS")"; return 1; }
    done
    [[ $(grep -c . <<<"$EVENTS") -eq $# ]] || { echo "     events: $EVENTS"; false; }
}

# A store, a refusal and an interrupted change found by the next run reach
# the event log with their id, type and the facts of their history rows.
case_event_log() {
    export SPELVANE_EVENT_LOG=$W/events.log WINEDEBUG=+eventlog
    local tail=' \| [-0-9: +]+ \| spelvane-cli [0-9.]+ \| [^|]* \| [^|]* \| [^|]*qzsd7[^|]* \| [0-9T]+-.*-[0-9]+-1 \| none$'
    reader_a1
    cli store --hblank 0x155
    EVENTS=$(last_events)
    check "store: 1000, information, the reader, backup and changes" events_are \
        "^Spelvane 1000 information \| KVDEV-A1 \| TYPE1 \| store \| written \| KVDEV-A1_[0-9]{14}\.set \| none \| none \| light 0 word 2 \(register 05\): 0100 -> 0155; light 1 word 2 \(register 05\): 0100 -> 0155$tail"
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_ON" "light1 = 0010 f000 0100 0150 0001" "${LIGHTS[1]}"
    cli store --hblank 0x3ff --half-clock off
    EVENTS=$(last_events)
    check "refused store: 1002, warning, why" events_are \
        "^Spelvane 1002 warning \| KVDEV-A1 \| TYPE1 \| store \| refused \| KVDEV-A1_[0-9]{14}\.set \| none \| [^|]*above 65535[^|]* \| none"
    reader_a1 "request_delay = 300"
    store_in_background 0x200
    # Light 0 stored, light 1 not: the reader holds part of the change.
    local i
    for ((i = 0; i < 300; i++)); do grep -q 'cmd=5 ' "$W/trace.log" 2>/dev/null && break; sleep 0.1; done
    kill -9 "$STORE"
    wait "$STORE" 2>/dev/null
    rm -f "$W/events.log"
    sed -i '/^request_delay/d' "$W/qzsim.conf"
    # Only what writes reports it: a script that looks hourly fills no log.
    local look
    for look in "show" "check --hblank 0x200" "doctor"; do
        # shellcheck disable=SC2086
        cli $look
        EVENTS=$(last_events)
        check "$look while a change stands interrupted: reports nothing" test -z "$EVENTS"
    done
    cli backup
    EVENTS=$(last_events)
    check "interrupted store found by the next backup: 1007, warning, its backup, then the backup's 1006" events_are \
        "^Spelvane 1007 warning \| KVDEV-A1 \| TYPE1 \| store \| interrupted \| (KVDEV-A1_[0-9]{14}\.set) \| none \| the backup KVDEV-A1_[0-9]{14}\.set restores the settings it held before \| light 0 word 2" \
        "^Spelvane 1006 information \| KVDEV-A1 \| TYPE1 \| backup \| backed up \| KVDEV-A1_[0-9]{14}\.set \|"

    # A store that finished, whose outcome row is lost: settled on the
    # reader, no 1007.
    reader_a1
    rm -f "$W/spelvane-history.csv"
    cli store --hblank 0x155
    sed -i '/,outcome,/d' "$W/spelvane-history.csv"
    rm -f "$W/events.log"
    cli backup
    EVENTS=$(last_events)
    check "finished store without its outcome row: the backup's 1006 alone" events_are "^Spelvane 1006 information "

    # A failed restore: what brings the reader back is its file, again.
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail = 5 2"
    lights_file 0 | sed 's/LIGHT1=0020,0600,0100,0120/LIGHT1=0020,0600,0100,0121/' >"$W/light1.txt"
    cli restore light1.txt
    EVENTS=$(last_events)
    check "failed restore: 1003, error, the file to restore again" events_are \
        "^Spelvane 1003 error \| KVDEV-A1 \| TYPE1 \| restore \| failed \| none \| light1\.txt \| [^|]*light 1[^|]* \|.* \| restore light1\.txt again to finish it$"
    cp "$W/err.raw" "$W/failed-restore.err"

    # A sync of Half Clock that failed at light 1 has its 1003; the sync
    # refused over the part it left has its 1002 alone.
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail = 5 2"
    cli sync --half-clock on
    EVENTS=$(last_events)
    check "failed sync: 1003 alone" events_are "^Spelvane 1003 error \| KVDEV-A1 \| TYPE1 \| sync \| failed \|"
    sed -i '/^fail = 5 2/d' "$W/qzsim.conf"
    cli sync --half-clock on
    EVENTS=$(last_events)
    check "sync refused over the failed one's part: 1002 alone" events_are \
        "^Spelvane 1002 warning \| KVDEV-A1 \| TYPE1 \| sync \| refused \| none \| none \| KVDEV-A1 holds only part of the sync of "

    # A pair whose readers differ, the first failing at light 1: each event
    # carries its own reader's changes, and so does the interrupted one the
    # next backup finds once the outcome rows are lost.
    config
    device ZEB-A1 TYPE1 "$HALF_CLOCK_OFF" "${LIGHTS[@]}" "fail = 5 2"
    device KYT-A1 TYPE1 "$HALF_CLOCK_OFF" "light1 = 0010 0400 0155 0150 0001" "${LIGHTS[1]}"
    rm -f "$W/spelvane-history.csv"
    cli store --hblank 0x155
    EVENTS=$(last_events)
    local both='light 0 word 2 \(register 05\): 0100 -> 0155; light 1 word 2 \(register 05\): 0100 -> 0155'
    local own='light 1 word 2 \(register 05\): 0100 -> 0155'
    check "pair: each reader's event with its own changes" events_are \
        "^Spelvane 1003 error \| ZEB-A1 \| TYPE1 \| store \| failed \| [^|]+\.set \| none \| [^|]+ \| $both \|" \
        "^Spelvane 1000 information \| KYT-A1 \| TYPE1 \| store \| written \| [^|]+\.set \| none \| none \| $own$tail"
    sed -i '/,outcome,/d' "$W/spelvane-history.csv"
    sed -i '/^fail = 5 2/d' "$W/qzsim.conf"
    cli backup
    EVENTS=$(last_events)
    check "pair: the interrupted reader's 1007 with its own changes, then the backup's" events_are \
        "^Spelvane 1007 warning \| ZEB-A1 \| TYPE1 \| store \| interrupted \| [^|]+\.set \| none \| [^|]+ \| $both \|" \
        "^Spelvane 1006 information \| ZEB-A1 " "^Spelvane 1006 information \| KYT-A1 "

    # A failed backup: every name it could take is taken.
    reader_a1
    local now
    now=$(date +%s)
    (cd "$W" && seq "$now" $((now + 3700)) | sed 's/^/@/' | date -f - +KVDEV-A1_%Y%m%d%H%M%S.set | xargs touch)
    cli store --hblank 300
    EVENTS=$(last_events)
    check "failed backup: 1005, error, nothing written" events_are \
        "^Spelvane 1005 error \| KVDEV-A1 \| TYPE1 \| store \| backup failed \| none \| none \| the settings it holds could not be saved into a new backup file \| none"
    if [[ ${CLI[0]} == wine ]]; then
        # ReportEventW's fifth argument is the user's SID: never null.
        check "every event names the user" eval \
            '! grep -E "ReportEventW \(\w+,0x\w{4},0x\w{4},0x\w{8},(0+|\(nil\))," "$W/failed-restore.err" "$W/err.raw" &&
             grep -q "ReportEventW (" "$W/err.raw"'
    fi

    # Every sync leaves one event per reader, written or not; without a
    # reader or a library, one that says which and what to check.
    reader_a1
    cli sync --hblank 256
    EVENTS=$(last_events)
    check "sync that holds: 1001, information, nothing written" events_are \
        "^Spelvane 1001 information \| KVDEV-A1 \| TYPE1 \| sync \| no changes \| none \| none \| none \| none$tail"
    config "enumerate = none"
    cli sync --hblank 256 --wait 2
    EVENTS=$(last_events)
    check "sync without a reader, after its wait: 1009, warning, what to check" events_are \
        "^Spelvane 1009 warning \| none \| none \| sync \| no reader \| none \| HBlank 256 \| Cannot find KV devices \| none${tail% none\$} connect the reader and switch it on$"
    cli_alone sync --hblank 256
    EVENTS=$(last_events)
    check "sync without a library: 1009, warning, the library to put there" events_are \
        "^Spelvane 1009 warning \| none \| none \| sync \| no library \| [^|]* \| [^|]* \| Cannot find KV devices \([^|]*\) \| none \|.* \| none \| [0-9T]+-.*-1 \| put the reader's own qzsd7\.dll beside spelvane-cli\.exe"
    # A report file that cannot be written changes nothing but says so.
    reader_a1
    mkdir -p "$W/report-folder"
    local base_start
    base_start=$(date +%s%N)
    cli sync --hblank 256 --report report-folder
    BASE_MS=$((($(date +%s%N) - base_start) / 1000000))
    EVENTS=$(last_events)
    check "unwritable report: status 0, a line on stderr, the reader's 1001 and a 1010 naming the file" eval \
        'status_is 0 && err_has "the report file report-folder did not take this run" && events_are \
            "^Spelvane 1001 information \| KVDEV-A1 " "^Spelvane 1010 warning \| none \| none \| sync \| report unwritten \| none \| report-folder \| cannot open "'
    # A report another program holds past the append's bound: the sync ends
    # within the bound and a second, its row waits in the workstation
    # folder, and the next sync after the holder lets go adds it first, once.
    rm -f "$W"/KVDEV-A1_*.set
    if hold_file held.csv 9; then
        local started took
        started=$(date +%s%N)
        cli sync --hblank 256 --report held.csv
        took=$((($(date +%s%N) - started) / 1000000))
        EVENTS=$(last_events)
        check "held report: status 0 within the bound and a second (${took} ms), the row kept, the 1010 says where" eval \
            'status_is 0 && [[ $took -le $((BASE_MS + 6000)) ]] && err_has "waited 5 s for " &&
             err_has "they wait in spelvane-report-unsent.csv" && grep -q "held\.csv,.*,sync,HBlank 256," "$W/spelvane-report-unsent.csv" &&
             events_are "^Spelvane 1001 information \| KVDEV-A1 " "^Spelvane 1010 warning .* \| held\.csv \| cannot (open|lock) .* \| they wait in spelvane-report-unsent\.csv"'
        let_go
        cli sync --hblank 0x155 --report held.csv
        check "held report let go: the kept row, then this run's, each once; none kept for it, the folder's kept still" eval \
            'status_is 0 && ! grep -q "held\.csv," "$W/spelvane-report-unsent.csv" && grep -q "report-folder," "$W/spelvane-report-unsent.csv" && python3 - "$W/held.csv" <<"PY"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], newline="", encoding="latin-1")))
got = [(row["hblank"], row["status"]) for row in rows]
sys.exit(0 if got == [("256 256", "0"), ("341 341", "0")] and len({row["run"] for row in rows}) == 2 else print("     got", got) or 1)
PY'
    fi
    # A history held past the bound: the command waits for it once, no
    # longer than the bound, goes on as with any history it cannot write,
    # and says what the history lacks and why.
    if hold_file spelvane-history.csv 14; then
        cp "$W/spelvane-history.csv" "$W/before-held.csv"
        started=$(date +%s%N)
        cli store --hblank 0x200
        took=$((($(date +%s%N) - started) / 1000000))
        check "held history: one wait (${took} ms), the store done, the history's lack and its holder said, nothing added" eval \
            '[[ $STATUS -eq 0 && $took -le $((BASE_MS + 5000 + 3000)) ]] && err_has "missing from the history" &&
             out_has "waited 5 s for " && same_bytes "$W/spelvane-history.csv" "$W/before-held.csv"'
        let_go
    fi
    unset SPELVANE_EVENT_LOG WINEDEBUG
}

# Another program holds a file of the case's folder for SECONDS: under
# Wine opened sharing it for reading only, as a spreadsheet does; natively
# its lock taken (the POSIX build has no sharing modes). False, with a
# line, when no such program is at hand.
hold_file() {  # file, seconds
    local i
    rm -f "$W/holder.out"
    if [[ ${CLI[0]} == wine ]]; then
        [[ -n $VARIANTS && -f $VARIANTS/../spelvane-driver.exe ]] || { echo "skip holding $1: no driver"; return 1; }
        (cd "$W" && printf 'hold "%s"\nsleep %d\n' "$1" "$(($2 * 1000))" |
            exec wine "$VARIANTS/../spelvane-driver.exe" - >"$W/holder.out" 2>&1) &
        HOLDER=$!
        for ((i = 0; i < 300; i++)); do grep -q holding "$W/holder.out" 2>/dev/null && return 0; sleep 0.1; done
    else
        command -v flock >/dev/null || { echo "skip holding $1: no flock"; return 1; }
        touch "$W/$1"
        flock -x "$W/$1" sleep "$2" & HOLDER=$!
        for ((i = 0; i < 300; i++)); do flock -n "$W/$1" true || return 0; sleep 0.1; done
    fi
    echo "     $1 was never held"
    false
}
let_go() { wait "$HOLDER" 2>/dev/null; }

# Runs a copy of the program alone in a folder: no library beside it.
cli_alone() {
    local program=("${CLI[@]}")
    mkdir -p "$W/alone" && cp "${CLI[-1]}" "$W/alone/"
    CLI=("${CLI[@]:0:${#CLI[@]}-1}" "$W/alone/$(basename "${CLI[-1]}")")
    cli "$@"
    CLI=("${program[@]}")
}

# doctor: every check on one line; each failing on its own names what to do.
case_doctor() {
    local key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Spelvane'
    reader_a1
    cli doctor
    check "all well: status 0, one line per check, nothing to fix" \
        eval 'status_is 0 && [[ $(grep -Ec "^ok    (program|lock|readers|folder|history): " <<<"$OUT") -eq 5 ]] &&
              out_has "ok    readers: one reader: KVDEV-A1 (TYPE1)" && [[ $OUT != *FIX* && $OUT != *settings* ]]'
    check "unregistered event source: told, no failure" out_has "note  event source: Spelvane is not registered"
    check "the simulated library: named as such" \
        out_has "note  library: the simulated reader's library, which reaches no device: "
    cli doctor --hblank 0x100 --half-clock off
    check "a reference the reader holds: status 0, said as check says it" \
        eval 'status_is 0 && out_has "ok    reference: KVDEV-A1 (TYPE1): already holds it"'
    cli doctor --hblank 0x155
    check "a reference the reader does not hold: status 8, what differs" \
        eval 'status_is 8 && out_has "FIX   reference: KVDEV-A1 (TYPE1): does not hold it: light 0 word 2 (register 05): 0100 -> 0155, light 1 "'
    lights_file 0 >"$W/golden.set"
    cli doctor golden.set
    check "a reference file the reader holds: status 0" \
        eval 'status_is 0 && out_has "ok    reference: KVDEV-A1 (TYPE1): already holds it"'
    cli doctor absent.set
    check "a reference file that is not there: status 8, its whole path and why" \
        eval 'status_is 8 && out_has "FIX   reference: cannot open " && out_has "absent.set: it does not exist" &&
              err_has "absent.set: it does not exist"'
    config
    device KVDEV-A1 TYPE1 "$HALF_CLOCK_OFF" "light1 = 0010 0400 0100 0150 0001" "light2 = 0020 0600 0003 0120 0002"
    cli doctor --hblank 0x100
    check "lights that disagree, one outside the range: noted; the reference not held" eval 'status_is 8 &&
        out_has "note  settings: KVDEV-A1 (TYPE1): its lights hold different HBlank values (0x0100, 0x0003); light 1 runs with HBlank 0x0003, outside the 21 to 1023" &&
        out_has "FIX   reference: KVDEV-A1 (TYPE1): does not hold it: "'
    rm -f "$W/golden.set"
    check "doctor writes nothing" eval 'no_write_request && set_file_count_is 0 && test ! -e "$W/spelvane-history.csv"'
    if [[ ${CLI[0]} == wine ]]; then
        # The installer registers the file as an expandable string.
        local type
        for type in REG_SZ REG_EXPAND_SZ; do
            wine reg add "$key" /v EventMessageFile /t $type /d 'C:\Spelvane\spelvane-cli.exe' /f >/dev/null 2>&1
            cli doctor --json
            wine reg delete "$key" /f >/dev/null 2>&1
            check "registered event source ($type): ok" out_has '{"check": "event source", "verdict": "ok"'
        done
    fi
    cli_alone doctor
    check "no library: status 8, what to do" \
        eval 'status_is 8 && out_has "FIX   library: none loaded (" && out_has "own qzsd7.dll beside spelvane-cli.exe"'
    config "enumerate = none"
    cli doctor
    check "no reader: status 8, only the readers to fix" \
        eval 'status_is 8 && [[ $(grep -c ^FIX <<<"$OUT") -eq 1 ]] && out_has "FIX   readers: none found"'
    reader_a1 "request_delay = 100"
    store_in_background 0x155
    cli doctor
    check "readers held by another: status 8, the lock to wait for" \
        eval 'status_is 8 && out_has "FIX   lock: another Spelvane is using the readers"'
    check "readers held by another: its change is running, not interrupted" eval \
        'out_has "note  history: KVDEV-A1: the store of " && out_has " is running: another Spelvane is using the readers now" &&
         [[ $OUT != *"FIX   history"* ]]'
    wait "$STORE"
    reader_a1
    sed -i '/,written,/d' "$W/spelvane-history.csv"
    cli doctor
    check "change without outcome of which the reader holds nothing: noted, status 0" \
        eval 'status_is 0 && out_has "note  history: KVDEV-A1: the store of" && out_has "none of it reached the reader"'
    cli_alone doctor
    check "interrupted change without a library to open the reader: named all the same" \
        out_has "FIX   history: KVDEV-A1: the store of"
    printf 'not,a,row\r\n' >"$W/spelvane-history.csv"
    cli doctor
    check "damaged history: status 8, rows left out" \
        eval 'status_is 8 && out_has "FIX   history: 1 row of spelvane-history.csv cannot be read"'
    rm -f "$W/spelvane-history.csv" "$W"/*.set

    # A store cut short, then a check that holds the readers (as a dialog
    # left open and idle does): the cut store is not running.
    cut_half_clock_store
    local cut holder i
    cut=$(basename "$(set_files | tail -n 1)")
    printf '%s\n' "request_delay = 1000" >>"$W/qzsim.conf"
    (cd "$W" && QZSIM_CONFIG="$W/qzsim.conf" exec "${CLI[@]}" check --hblank 256 >/dev/null 2>&1) &
    holder=$!
    for ((i = 0; i < 300; i++)); do grep -q 'cmd=15 ' "$W/trace.log" 2>/dev/null && break; sleep 0.1; done
    cli doctor
    check "cut store while another program holds the readers: a FIX naming its backup, not running" \
        eval 'status_is 8 && out_has "FIX   history: KVDEV-A1: the store of " &&
              out_has "was interrupted; the backup $cut restores" && [[ $OUT != *running* ]]'
    wait "$holder"
    sed -i '/^request_delay/d' "$W/qzsim.conf"

    # The cut store halved the shutters under Half Clock off. A store of
    # HBlank alone writes no shutter and settles nothing; nor does a
    # "written" row added by hand: Half Clock is refused until the backup
    # is restored, and then halves them once.
    check "cut store: the shutters halved, Half Clock off" shutters_are "0200 0300"
    cli store --hblank 456
    check "store of HBlank alone after it: status 0" status_is 0
    local refused="KVDEV-A1 holds only part of the store of .*, which was cut short, and a change of Half Clock would rescale its shutters a second time; restore the backup file $cut first; "
    cli store --half-clock on
    check "Half Clock after the HBlank store: refused, status 1" eval 'status_is 1 && text_matches "$ERR" "$refused"'
    cli store --half-clock on --dry-run
    check "its dry run: refused the same" eval 'status_is 1 && text_matches "$ERR" "$refused"'
    check "the shutters halved once" shutters_are "0200 0300"
    append_written_for_first_start
    cli store --half-clock on
    check "Half Clock after a written row added by hand: refused" eval 'status_is 1 && text_matches "$ERR" "$refused"'
    cli doctor
    check "doctor after the added row: the FIX stays" out_has "FIX   history: KVDEV-A1: the store of "
    cli restore "$cut"
    cli store --half-clock on
    check "restored from the backup, Half Clock on: status 0, halved once" \
        eval 'status_is 0 && shutters_are "0200 0300"'
    rm -f "$W/spelvane-history.csv" "$W"/*.set

    # Started in a folder whose name lies outside the ANSI code page
    # (Cyrillic on a Western Windows), where the backups and history go.
    mkdir -p "$W/Папка"
    (cd "$W/Папка" && QZSIM_CONFIG="$W/qzsim.conf" "${CLI[@]}" doctor >"$W/out.raw" 2>&1)
    STATUS=$? OUT=$(tr -d '\r' <"$W/out.raw")
    check "folder of any name: it takes the backups, status 0" \
        eval 'status_is 0 && [[ $OUT == *"ok    folder: "*" takes the backups ("* && $OUT != *FIX* ]]'

    # A history the programs cannot open to add their rows: said, and why.
    cli backup
    cp "$W/spelvane-history.csv" "$W/history.before"
    chmod 444 "$W/spelvane-history.csv"
    local as_user=() why="it is read-only"
    if [[ ${CLI[0]} != wine ]]; then
        why="access is denied"
        # Root writes any file: the doctor runs as nobody.
        if [[ $(id -u) -eq 0 ]]; then
            as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
            chmod 777 "$W" && chmod 666 "$W"/*.lock
        fi
    fi
    if [[ ${CLI[0]} == wine && $(id -u) -eq 0 ]]; then
        echo "skip read-only history: Wine run by root writes a read-only file"
    else
        (cd "$W" && QZSIM_CONFIG="$W/qzsim.conf" "${as_user[@]}" "${CLI[@]}" doctor >"$W/out.raw" 2>&1)
        STATUS=$? OUT=$(tr -d '\r' <"$W/out.raw")
        check "read-only history: status 8, the history to fix and why, not a byte written" \
            eval 'status_is 8 && out_has "FIX   history: spelvane-history.csv cannot be written ($why): changes would go unrecorded" &&
                  same_bytes "$W/spelvane-history.csv" "$W/history.before"'
    fi
    chmod 644 "$W/spelvane-history.csv"
    if [[ -n $VARIANTS && -f $VARIANTS/../spelvane-driver.exe ]]; then
        # Held by another program that shares it for reading only.
        local holder=$W/holder.out held i
        (cd "$W" && printf 'hold "spelvane-history.csv"\nsleep 30000\n' |
            exec wine "$VARIANTS/../spelvane-driver.exe" - >"$holder" 2>&1) &
        held=$!
        for ((i = 0; i < 200; i++)); do grep -q holding "$holder" 2>/dev/null && break; sleep 0.1; done
        cli doctor
        kill "$held"
        wait "$held" 2>/dev/null
        check "history a spreadsheet holds: status 8, the program to close" eval 'status_is 8 &&
            out_has "FIX   history: spelvane-history.csv cannot be written (it is in use by another program)"'
    fi
    rm -f "$W/spelvane-history.csv"

    if [[ ${CLI[0]} != wine ]] && command -v setpriv >/dev/null && [[ $(id -u) -eq 0 ]]; then
        # A folder the user may not write to (root may write anywhere).
        mkdir -p "$W/locked" && chmod 555 "$W/locked" && chmod 777 "$W" && chmod 666 "$W"/*.lock
        (cd "$W/locked" && QZSIM_CONFIG="$W/qzsim.conf" setpriv --reuid=65534 --regid=65534 --clear-groups \
            "${CLI[@]}" doctor >"$W/out.raw" 2>&1)
        STATUS=$? OUT=$(cat "$W/out.raw")
        check "folder that cannot be written: status 8, only the folder to fix" \
            eval 'status_is 8 && [[ $(grep -c ^FIX <<<"$OUT") -eq 1 ]] && out_has "/locked cannot be written"'
    fi
}

# spelvane-sync.cmd under cmd, as a start-up script runs it: the first run
# writes, the second writes nothing, no reader passes its status on.
case_sync_batch() {
    local program=$W/program
    mkdir -p "$program"
    cp "$BIN/spelvane-cli.exe" "$BIN/qzsd7.dll" "$BIN/spelvane-sync.cmd" "$program/"
    BATCH=$(winepath -w "$program/spelvane-sync.cmd")
    CLI=(wine cmd /c "$BATCH")
    reader_a1
    cli --hblank 0x155
    check "first run: status 0, one backup beside the program" eval 'status_is 0 && [[ $(find "$program" -name "*.set" | wc -l) -eq 1 ]]'
    cp "$W/device1.img" "$W/after.img"
    rm -f "$W/trace.log"
    cli --hblank 0x155
    check "second run: status 0, nothing written, no file" eval 'status_is 0 && no_write_request &&
        same_bytes "$W/device1.img" "$W/after.img" && [[ $(find "$W" -name "*.set" | wc -l) -eq 1 ]]'
    config "enumerate = none"
    cli --hblank 0x155 --wait 2
    check "no reader: its own status, the wait given in place of the batch file's" status_is 3
}

# -C and --workstation: backups, the history and the .set files are those
# of the folder the command runs in, wherever it was started.
case_run_folder() {
    reader_a1
    cli -C missing show
    check "-C to a missing folder: status 2, one line naming it" \
        eval 'status_is 2 && err_is "spelvane-cli: cannot run in missing: no such folder"'
    check "-C to a missing folder: the library never called" library_untouched
    mkdir -p "$W/there"
    cli backup -C there
    check "-C after the command: the backup lands there" \
        eval 'status_is 0 && find "$W/there" -name "KVDEV-A1_*.set" | grep -q .'
    check "-C: no backup where it was started" set_file_count_is 0
    cli -C "$W/there" history
    check "-C before the command: the history of that folder" out_has "KVDEV-A1 (TYPE1): backed up"
    cp "$(find "$W/there" -name 'KVDEV-A1_*.set' | head -n 1)" "$W/there/golden.set"
    cli -C there check golden.set
    check "-C: a FILE named without a folder is read there" \
        eval 'status_is 0 && out_is "KVDEV-A1 (TYPE1): already holds it"'
    cli -C there check golden-missing.set
    check "-C: a FILE that is not there: status 5, its whole path and why" eval 'status_is 5 && err_is_one_line &&
        err_has "cannot open " && err_has "there" && err_has "golden-missing.set: it does not exist"'

    # Without a workstation folder, the one the program stands in.
    mkdir -p "$W/alone" && cp "${CLI[-1]}" "$W/there/spelvane-history.csv" "$W/alone/"
    local program=("${CLI[@]}")
    CLI=("${CLI[@]:0:${#CLI[@]}-1}" "$W/alone/$(basename "${CLI[-1]}")")
    # Under Wine the workstation folder is the prefix's: a prefix the
    # package was installed in has one.
    if [[ ${CLI[0]} == wine && -d $(winepath -u 'C:\ProgramData\Spelvane' 2>/dev/null) ]]; then
        echo "skip --workstation without the folder: this Wine prefix has one"
    else
        SPELVANE_WORKSTATION_DIR=$W/none cli --workstation history
        check "--workstation without the folder: the program's folder" out_has "KVDEV-A1 (TYPE1): backed up"
    fi
    if [[ ${CLI[0]} != wine ]]; then
        mkdir -p "$W/workstation"
        SPELVANE_WORKSTATION_DIR=$W/workstation cli history --workstation
        check "--workstation: the workstation folder when it is there" \
            out_is "No history yet: spelvane-history.csv is not in this folder ($W/workstation)"
        SPELVANE_WORKSTATION_DIR=$W/made cli --open-workstation-folder
        check "--open-workstation-folder: the folder made, every user's, each file its owner's to remove" \
            eval 'status_is 0 && [[ $(stat -c %a "$W/made") == 1777 ]]'
        # The folder's event: the folder in %6, what happened in %7.
        export SPELVANE_EVENT_LOG=$W/events.log
        echo kept >"$W/elsewhere.csv" && ln -sf "$W/elsewhere.csv" "$W/made/spelvane-history.csv"
        SPELVANE_WORKSTATION_DIR=$W/made cli --open-workstation-folder
        EVENTS=$(last_events)
        check "--open-workstation-folder: a history that is a link goes aside, a new one is made, the event says so" \
            eval 'status_is 0 && err_has "renamed spelvane-history.csv.aside-1 and made anew" &&
                  [[ -f $W/made/spelvane-history.csv && ! -L $W/made/spelvane-history.csv ]] &&
                  [[ $(cat "$W/elsewhere.csv") == kept ]] &&
                  events_are "^Spelvane 1008 warning( \| [^|]*){5} \| $W/made \| prepared.*the history .*a symbolic link"'
        ln -s "$W/made" "$W/linked"
        SPELVANE_WORKSTATION_DIR=$W/linked cli --open-workstation-folder
        EVENTS=$(last_events)
        check "--open-workstation-folder: a folder that is a link is refused, the reason in the event's %7" \
            eval 'status_is 4 && events_are "^Spelvane 1008 error( \| [^|]*){5} \| $W/linked \| not prepared, so the installation failed.*refusing $W/linked: it is a symbolic link"'
        unset SPELVANE_EVENT_LOG
    fi
    CLI=("${program[@]}")
}

# ------------------------------------------------------------------ run

if ! declare -F "case_$CASE" >/dev/null; then
    echo "unknown case $CASE" >&2
    exit 2
fi
"case_$CASE"
echo "$CASE: $failures check(s) failed (runs in $W/runs.log)"
[[ $failures -eq 0 ]]
