# Scenarios of the real program; sourced by run_e2e.sh, which provides the
# helpers (scenario_dir, add_device, session, drive, check ...) and the
# device shape: Half Clock on, HBlank $HB, shutters $S1 and $S2.
SCENARIOS=(startup_one pair_zeb_first pair_kyt_first refused_pair three_devices
           no_device missing_library unreadable_device load_refused store_no
           store_hblank store_half_clock store_half_clock_lights_of_other_hblanks store_backup_fails restore_backup
           reset_after_move close_during_store close_pair_during_store early_press
           backups_stay_after_restore history_held history_in_any_folder half_clock_after_cut_store
           stores_after_failed_store)

STORED_800=$(image_hex 0x40 0x01 0x320 $S1 $S2)

# Waits for the start-up values, moves HBlank to 800 and confirms a Store.
STORE_800='text 1005 "03c0"
set-pos 800
text 1005 "0320"
click 1004
box "Are you sure to change settings?" Yes'

unchanged() { same_bytes "$S_DIR/$1.img" "$S_DIR/$1.orig"; }

scenario_startup_one() {
    scenario_dir startup_one
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    start_program
    check "controls after start-up" drive startup <<'STEPS'
timeout 20000
window
text 1008 "KVDEV-A1"
text 1005 "03c0"
pos 960
check 1
text 1000 ""
style 1000 0x00300084
rect
STEPS
    local rect
    rect=$(tr -d '\r' <"$S_DIR/startup.log" | awk '/^rect /{print $4 "x" $5 "+" $2 "+" $3}')
    if [[ -n $rect ]]; then
        # Kept with the run; copy it to docs/dialog.png to refresh the README's picture.
        check "screenshot dialog.png" import -window root -crop "$rect" +repage "$WORK/dialog.png"
    fi
    check "driver: close" drive close <<'STEPS'
timeout 20000
window
close
exit 1
STEPS
    finish_program
    check "exit status 1" status_is 1
    check "device image untouched" unchanged KVDEV-A1
    check "no backup written" no_backup
}

# pair_scenario NAME FIRST SECOND: a matched pair in the given order; a
# Store then writes both devices and one backup named after the KYT device.
pair_scenario() {
    scenario_dir "$1"
    add_device "$2" "TYPE-$2" "$ORIGINAL"
    add_device "$3" "TYPE-$3" "$ORIGINAL"
    start_program
    check "pair shown under the KYT name, stored" drive pair <<'STEPS'
timeout 20000
window
text 1008 "KYT-A1"
text 1005 "03c0"
pos 960
check 1
set-pos 800
text 1005 "0320"
click 1004
box "Are you sure to change settings?" Yes
box "Restart device to apply changes!" OK
contains 1000 "Store -> device: TYPE-ZEB-A1\r\n"
contains 1000 "Store -> device: TYPE-KYT-A1\r\n"
close
exit 1
STEPS
    finish_program
    check "exit status 1" status_is 1
    check "$2 stored" image_is "$2" "$STORED_800"
    check "$3 stored" image_is "$3" "$STORED_800"
    local backup
    backup=$(backup_file KYT-A1)
    check "one backup named after KYT-A1" backup_name_ok "$backup" KYT-A1
    { set_section "TYPE-$2" 1 $HB $S1 $S2; set_section "TYPE-$3" 1 $HB $S1 $S2; } >"$S_DIR/expected.set"
    check "backup holds both sections in device order" same_bytes "$backup" "$S_DIR/expected.set"
}
scenario_pair_zeb_first() { pair_scenario pair_zeb_first ZEB-A1 KYT-A1; }
scenario_pair_kyt_first() { pair_scenario pair_kyt_first KYT-A1 ZEB-A1; }

# refused_scenario NAME DEVICE...: discovery refuses, the dialog stays open
# and shows nothing; no device is touched.
refused_scenario() {
    scenario_dir "$1"
    shift
    local name
    for name in "$@"; do add_device "$name" TYPE1 "$ORIGINAL"; done
    start_program
    check "refusal box, empty dialog" drive refused <<'STEPS'
timeout 20000
window
box "The program works only 1 KV device" OK
text 1008 ""
text 1005 "0000"
close
exit 1
STEPS
    finish_program
    check "exit status 1" status_is 1
    for name in "$@"; do check "$name untouched" unchanged "$name"; done
}
scenario_refused_pair() { refused_scenario refused_pair ZEB-A1 KYT-A12; }
scenario_three_devices() { refused_scenario three_devices ZEB-A1 KYT-A1 KVDEV-A3; }

# ends_with_box NAME TEXT [EXE]: start-up fails with a box and status 1.
ends_with_box() {
    start_program "${3:-}"
    check "box \"$2\" ends the program" drive ends <<STEPS
timeout 20000
window
box "$2" OK
exit 1
STEPS
    finish_program
    check "exit status 1" status_is 1
}

scenario_no_device() {
    scenario_dir no_device
    ends_with_box no_device "Cannot find KV devices"
}

# The program alone in a folder of its own: the library is nowhere.
scenario_missing_library() {
    scenario_dir missing_library
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    mkdir -p "$S_DIR/alone"
    cp "$PROGRAM/spelvane.exe" "$S_DIR/alone/"
    ends_with_box missing_library "Cannot find KV devices" "$S_DIR/alone/spelvane.exe"
    check "device image untouched" unchanged KVDEV-A1
}

scenario_unreadable_device() {
    scenario_dir unreadable_device
    add_device KVDEV-A1 TYPE1 "$(zeros 256)"
    ends_with_box unreadable_device "Device is not initialized"
    check "device image untouched" unchanged KVDEV-A1
}

scenario_load_refused() {
    scenario_dir load_refused
    add_device KVDEV-A1 TYPE1 "$ORIGINAL" "fail = 15 1"
    ends_with_box load_refused "Load eeprom failed"
    check "device image untouched" unchanged KVDEV-A1
}

scenario_store_no() {
    scenario_dir store_no
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    session store_no <<'STEPS'
timeout 20000
window
text 1005 "03c0"
set-pos 800
click 1004
box "Are you sure to change settings?" No
no-box 1500
lacks 1000 "SAVE ORIGINAL SETTINGS"
lacks 1000 "Store -> device"
close
exit 1
STEPS
    check "exit status 1" status_is 1
    check "device image untouched" unchanged KVDEV-A1
    check "no backup written" no_backup
}

# After a store, a new run of the program must show what the device holds.
restart_shows() {
    start_program
    check "restart shows the stored values" drive restart <<STEPS
timeout 20000
window
text 1008 "KVDEV-A1"
text 1005 "$1"
pos $2
check $3
close
exit 1
STEPS
    finish_program
}

# One Store from the dialog as it stands after STEPS (read from stdin).
store_session() {
    local name=$1
    {
        printf 'timeout 20000\nwindow\ntext 1005 "03c0"\n'
        cat
        printf 'click 1004\nbox "Are you sure to change settings?" Yes\n'
        printf 'box "Restart device to apply changes!" OK\n'
        printf 'contains 1000 "SAVE ORIGINAL SETTINGS\\r\\n"\n'
        printf 'contains 1000 "Filename: KVDEV-A1_"\ncontains 1000 "Saving is SUCCESS\\r\\n"\n'
        printf 'contains 1000 "Store -> device: TYPE1\\r\\nWrite register adresses...OK\\r\\n"\n'
        printf 'contains 1000 "Refresh header info ...OK\\r\\nChecks writing...OK\\r\\n"\n'
        printf 'lacks 1000 "FAILED"\nclose\nexit 1\n'
    } >"$S_DIR/$name.in"
    session "$name" <"$S_DIR/$name.in"
    check "exit status 1" status_is 1
    local backup
    backup=$(backup_file KVDEV-A1)
    check "one backup, named by device and time" backup_name_ok "$backup" KVDEV-A1
    set_section TYPE1 1 $HB $S1 $S2 >"$S_DIR/expected.set"
    check "backup holds the original settings" same_bytes "$backup" "$S_DIR/expected.set"
}

scenario_store_hblank() {
    scenario_dir store_hblank
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    store_session store_hblank <<'STEPS'
set-pos 800
text 1005 "0320"
STEPS
    check "every light holds HBlank 0x320, shutters kept" image_is KVDEV-A1 "$STORED_800"
    restart_shows 0320 800 1
}

# Half Clock off at equal HBlank doubles the shutters; byte 13 loses its
# flag while byte 3 keeps its own.
scenario_store_half_clock() {
    scenario_dir store_half_clock
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    store_session store_half_clock <<'STEPS'
click 1001
check 0
STEPS
    local s1 s2
    s1=$(rescaled $S1 $HB $HB 1 0)
    s2=$(rescaled $S2 $HB $HB 1 0)
    check "shutters rescaled to $s1 and $s2, Half Clock flag cleared" \
        image_is KVDEV-A1 "$(image_hex 0x40 0x00 $HB "$s1" "$s2")"
    restart_shows 03c0 960 0
}

# Three lights whose HBlank words differ (0, 0x3ff, 0x100; the dialog shows
# 0x3ff): Half Clock unticked alone writes no HBlank word and doubles each
# shutter at its light's own HBlank. The simulator's trace keeps every
# request the Store sent.
mixed_image() {  # byte 13, then the three shutters
    printf '57495140040300000000000000%02x0000' "$1"
    printf '09050203%s' "$(zeros 12)"
    printf '%s%s%s%s' "$(le16 0x0010)" "$(le16 "$2")" "$(le16 0)" "$(zeros 10)"
    printf '%s%s%s%s' "$(le16 0x0020)" "$(le16 "$3")" "$(le16 0x3ff)" "$(zeros 10)"
    printf '%s%s%s%s' "$(le16 0x0030)" "$(le16 "$4")" "$(le16 0x100)" "$(zeros 10)"
    zeros $((256 - 80))
}
scenario_store_half_clock_lights_of_other_hblanks() {
    scenario_dir store_half_clock_lights_of_other_hblanks
    echo "trace = trace.log" >"$S_DIR/sim.cfg"
    add_device KVDEV-A1 TYPE1 "$(mixed_image 0x01 0x12 0x12 0x12)"
    session store <<'STEPS'
timeout 20000
window
text 1005 "03ff"
pos 1023
check 1
click 1001
check 0
click 1004
box "Are you sure to change settings?" Yes
box "Restart device to apply changes!" OK
lacks 1000 "FAILED"
close
exit 1
STEPS
    check "exit status 1" status_is 1
    check "each shutter doubled at its own HBlank, no HBlank word written" \
        image_is KVDEV-A1 "$(mixed_image 0x00 0x24 0x24 0x24)"
}

# Every name the backup could take is an earlier backup: the backup moves
# its stamp on past taken names for an hour (3600 names) and then gives up,
# so it writes into none of them and the store must not touch the device.
scenario_store_backup_fails() {
    scenario_dir store_backup_fails
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    local now
    now=$(date +%s)
    (cd "$S_DIR" && seq $((now - 5)) $((now + 3700)) | sed 's/^/@/' |
        date -f - +KVDEV-A1_%Y%m%d%H%M%S.set | xargs touch)
    session store_backup_fails <<STEPS
timeout 20000
window
$STORE_800
contains 1000 "Saving is FAILED (File creating error)\r\n"
box "Nothing was written to the device: the settings it holds now could not be saved (see the log)." OK
lacks 1000 "Store -> device"
lacks 1000 "Write register adresses"
close
exit 1
STEPS
    check "exit status 1" status_is 1
    check "device image untouched" unchanged KVDEV-A1
    check "no earlier backup added to" no_backup_written
}
no_backup_written() { [[ -z $(find "$S_DIR" -maxdepth 1 -name '*.set' -size +0) ]]; }

# One reader, the program started and left running after a Store of HBlank
# 800 that it confirmed.
started_and_stored_800() {
    scenario_dir "$1"
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    start_program
    check "driver: store" drive store <<STEPS
timeout 20000
window
$STORE_800
box "Restart device to apply changes!" OK
STEPS
}

# Store, then restore the backup that Store took: the device is as before.
scenario_restore_backup() {
    started_and_stored_800 restore_backup
    check "stored before the restore" image_is KVDEV-A1 "$STORED_800"
    local backup chosen
    backup=$(backup_file KVDEV-A1)
    chosen=$(winpath "${backup:-$S_DIR/missing.set}")
    check "driver: restore" drive restore <<STEPS
timeout 30000
window
click 1009
text 1000 ""
click 1006
open-file "${chosen//\\/\\\\}"
box "Restart device to apply changes!" OK
contains 1000 "Restore -> device: TYPE1\r\nWrite register adresses...OK\r\n"
contains 1000 "Refresh header info ...OK\r\nChecks writing...OK\r\n"
lacks 1000 "FAILED"
close
exit 1
STEPS
    finish_program
    check "exit status 1" status_is 1
    check "file dialog started from KVDEV-A1_*.set" log_has 'name box shows "KVDEV-A1_*.set"' restore.log
    check "device image back to the original" unchanged KVDEV-A1
    restart_shows 03c0 960 1
}

scenario_reset_after_move() {
    scenario_dir reset_after_move
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    session reset <<'STEPS'
timeout 20000
window
text 1005 "03c0"
set-pos 500
text 1005 "01f4"
pos 500
click 1001
check 0
click 1009
pos 960
text 1005 "03c0"
check 1
text 1000 ""
close
exit 1
STEPS
    check "exit status 1" status_is 1
    check "device image untouched" unchanged KVDEV-A1
}

# Closing while the store writes: the program must let the store end (or
# not start it) before it lets the devices go, end with status 1 and not
# hang. The image must be whole: all new, as the backup was taken first.
scenario_close_during_store() {
    scenario_dir close_during_store
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    session close_during_store <<STEPS
timeout 20000
window
$STORE_800
contains 1000 "Store light 0 ..."
close
maybe-box "Restart device to apply changes!" OK 15000
timeout 30000
exit 1
STEPS
    check "exit status 1" status_is 1
    check "the store finished: the image is whole and new" image_is KVDEV-A1 "$STORED_800"
    local backup
    backup=$(backup_file KVDEV-A1)
    set_section TYPE1 1 $HB $S1 $S2 >"$S_DIR/expected.set"
    check "backup holds the original settings" same_bytes "${backup:-/nonexistent}" "$S_DIR/expected.set"
}

# A pair closed while its first reader is written, the trackbar moved after
# the Yes: the second reader must get the value confirmed, as the first did.
scenario_close_pair_during_store() {
    scenario_dir close_pair_during_store
    add_device ZEB-A1 TYPE-ZEB-A1 "$ORIGINAL"
    add_device KYT-A1 TYPE-KYT-A1 "$ORIGINAL"
    session close_pair_during_store <<STEPS
timeout 20000
window
$STORE_800
contains 1000 "Store light 0 ..."
set-pos 100
close
maybe-box "Restart device to apply changes!" OK 30000
timeout 30000
exit 1
STEPS
    check "exit status 1" status_is 1
    check "ZEB-A1 holds the confirmed value" image_is ZEB-A1 "$STORED_800"
    check "KYT-A1 holds the confirmed value" image_is KYT-A1 "$STORED_800"
}

# Presses of Store before start-up has shown a device (here while discovery's
# refusal is on the screen, and after it, with no device open) start nothing.
scenario_early_press() {
    scenario_dir early_press
    add_device ZEB-A1 TYPE1 "$ORIGINAL"
    add_device KYT-A12 TYPE1 "$ORIGINAL"
    session early_press <<'STEPS'
timeout 20000
window
click 1004
click 1006
box "The program works only 1 KV device" OK
click 1004
no-box 1500
lacks 1000 "SAVE ORIGINAL SETTINGS"
close
exit 1
STEPS
    check "exit status 1" status_is 1
    check "ZEB-A1 untouched" unchanged ZEB-A1
    check "KYT-A12 untouched" unchanged KYT-A12
    check "no backup written" no_backup
}

# A Restore from a file in another folder moves the current folder (the file
# dialog does); the next Store's backup must still land where the program was
# started.
scenario_backups_stay_after_restore() {
    started_and_stored_800 backups_stay_after_restore
    local backup chosen
    backup=$(backup_file KVDEV-A1)
    mkdir -p "$S_DIR/other"
    cp "${backup:-/nonexistent}" "$S_DIR/other/restore-me.set"
    chosen=$(winpath "$S_DIR/other/restore-me.set")
    check "driver: restore, then store again" drive restore_store <<STEPS
timeout 30000
window
click 1006
open-file "${chosen//\\/\\\\}"
box "Restart device to apply changes!" OK
set-pos 500
text 1005 "01f4"
click 1004
box "Are you sure to change settings?" Yes
box "Restart device to apply changes!" OK
close
exit 1
STEPS
    finish_program
    check "exit status 1" status_is 1
    check "both backups in the start folder" \
        test "$(find "$S_DIR" -maxdepth 1 -name 'KVDEV-A1_*.set' -type f | wc -l)" -eq 2
    check "nothing written into the restore's folder" \
        test "$(find "$S_DIR/other" -type f | wc -l)" -eq 1
}

# The history's rows are judged for the computer that wrote them: rows
# written by hand name this one, as Wine names it (the host's name, cut
# at its first dot and to 15 letters; compared without case).
THIS_COMPUTER=$(uname -n | cut -d. -f1 | cut -c1-15 | tr '[:lower:]' '[:upper:]')

# A store cut short the last time is named in the log at start-up, read
# from a history that a spreadsheet holds open without write sharing; that
# stops no Store: the closing box adds one line that the change is missing.
scenario_history_held() {
    scenario_dir history_held
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    printf '%s\r\n' "run,time,computer,user,program,version,library,command,event,reader,type,backup,file,outcome,reason,field,index,light,word,register,from,to" \
        "r1,2026-12-08 10:43:55 +01:00,$THIS_COMPUTER,op,spelvane,1.0.0,,store,start,KVDEV-A1,TYPE1,KVDEV-A1_20261208104355.set,,,,,,,,,," \
        >"$S_DIR/spelvane-history.csv"
    cp "$S_DIR/spelvane-history.csv" "$S_DIR/history.orig"
    local held
    held=$(winpath "$S_DIR/spelvane-history.csv")
    session history_held <<STEPS
timeout 20000
hold "${held//\\/\\\\}"
window
contains 1000 "KVDEV-A1: the store of 2026-12-08 10:43:55 +01:00 was interrupted; the backup KVDEV-A1_20261208104355.set restores the settings it held before.\r\n"
$STORE_800
box "Restart device to apply changes!\n\nThis change is missing from the history spelvane-history.csv: it could not be written (see the log)." OK
contains 1000 "it could not be written (cannot open "
close
exit 1
STEPS
    check "exit status 1" status_is 1
    check "stored all the same" image_is KVDEV-A1 "$STORED_800"
    check "the held history got nothing" same_bytes "$S_DIR/spelvane-history.csv" "$S_DIR/history.orig"
}

# Started in a folder whose name lies outside the ANSI code page (Cyrillic
# on a Western Windows): the backup and the history rows land in it. The
# simulated reader keeps its configuration beside it.
scenario_history_in_any_folder() {
    scenario_dir history_in_any_folder
    add_device KVDEV-A1 TYPE1 "$ORIGINAL"
    local folder=$S_DIR/Папка
    mkdir -p "$folder"
    (
        cd "$folder" || exit 99
        QZSIM_CONFIG=$(winpath "$S_DIR/sim.cfg") exec wine "$PROGRAM/spelvane.exe" >"$S_DIR/program.out" 2>&1
    ) &
    PROGRAM_PID=$!
    check "driver: store in the Cyrillic folder" drive any_folder <<STEPS
timeout 20000
window
$STORE_800
box "Restart device to apply changes!" OK
close
exit 1
STEPS
    finish_program
    check "exit status 1" status_is 1
    check "stored" image_is KVDEV-A1 "$STORED_800"
    local backup=("$folder"/KVDEV-A1_*.set)
    check "the backup in the folder" test -f "${backup[0]}"
    check "the history's start and outcome in the folder" grep -q \
        ",store,outcome,KVDEV-A1,TYPE1,$(basename "${backup[0]}"),,written," "$folder/spelvane-history.csv"
}

# A Store of Half Clock off cut short once both lights were written (the
# shutters doubled, Half Clock still on), then a Store of HBlank alone: the
# reader still holds part of the first, and the dialog's Store of Half
# Clock off is refused after the Yes, naming its backup; nothing written.
scenario_half_clock_after_cut_store() {
    scenario_dir half_clock_after_cut_store
    add_device KVDEV-A1 TYPE1 "$(image_hex 0x40 0x01 0x320 $((S1 * 2)) $((S2 * 2)))"
    local run=",2026-12-08 10:43:55 +01:00,$THIS_COMPUTER,op,spelvane,1.0.0,,store," row=",KVDEV-A1,TYPE1,KVDEV-A1_20261208104355.set,,,,"
    local hb=",2026-12-08 10:50:00 +01:00,$THIS_COMPUTER,op,spelvane,1.0.0,,store," hbrow=",KVDEV-A1,TYPE1,KVDEV-A1_20261208105000.set,,"
    printf '%s\r\n' "run,time,computer,user,program,version,library,command,event,reader,type,backup,file,outcome,reason,field,index,light,word,register,from,to" \
        "r1${run}start${row},,,,,," "r1${run}change${row}halfClock,,,,,1,0" \
        "r1${run}change${row}lightWord,,0,1,9,$((S1)),$((S1 * 2))" "r1${run}change${row}lightWord,,1,1,9,$((S2)),$((S2 * 2))" \
        "r2${hb}start${hbrow},,,,,,,,," "r2${hb}change${hbrow},,lightWord,,0,2,5,$((HB)),800" \
        "r2${hb}change${hbrow},,lightWord,,1,2,5,$((HB)),800" "r2${hb}outcome${hbrow}written,,,,,,,," \
        >"$S_DIR/spelvane-history.csv"
    session half_clock_after_cut_store <<'STEPS'
timeout 20000
window
text 1005 "0320"
click 1001
check 0
click 1004
box "Are you sure to change settings?" Yes
box "Nothing was written to the device: KVDEV-A1 holds only part of the store of 2026-12-08 10:43:55 +01:00, which was cut short, and a change of Half Clock would rescale its shutters a second time.\n\nRestore the backup file KVDEV-A1_20261208104355.set first." OK
close
exit 1
STEPS
    check "exit status 1" status_is 1
    check "nothing written" unchanged KVDEV-A1
    check "no backup taken" test "$(find "$S_DIR" -name '*.set' | wc -l)" -eq 0
}

# Half Clock unticked, the Store fails at light 1: light 0 doubled, the
# header kept. The dialog reads the reader again: ticked back, the Store
# writes nothing and its box names the backup; unticked again, refused.
scenario_stores_after_failed_store() {
    scenario_dir stores_after_failed_store
    add_device KVDEV-A1 TYPE1 "$ORIGINAL" "fail = 5 2"
    session stores_after_failed_store <<'STEPS'
timeout 20000
window
text 1005 "03c0"
click 1001
check 0
click 1004
box "Are you sure to change settings?" Yes
box-prefix "The store FAILED: the device may now hold only part of the change." OK
contains 1000 "Store light 1 ...FAILED\r\nRead the device's settings again ...OK\r\n"
click 1001
check 1
click 1004
box "Are you sure to change settings?" Yes
box-prefix "Nothing was written to the device: it already holds what you chose, but only part of an earlier change.\n\nKVDEV-A1: the store of " OK
contains 1000 "No changes\r\nNothing was written, yet KVDEV-A1: the store of "
click 1001
check 0
click 1004
box "Are you sure to change settings?" Yes
box-prefix "Nothing was written to the device: KVDEV-A1 holds only part of the store of " OK
close
exit 1
STEPS
    check "exit status 1" status_is 1
    check "light 0 doubled once, light 1 and the header as they were" \
        image_is KVDEV-A1 "$(image_hex 0x40 0x01 $HB "$(rescaled $S1 $HB $HB 1 0)" $S2)"
}
