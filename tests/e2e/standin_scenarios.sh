# Scenarios that prove the driver against the stand-in dialog; sourced by
# run_e2e.sh. The stand-in logs what it read from its controls, so these
# check that the driver's moves reach the dialog as a user's would.
SCENARIOS=(controls store_no file_dialog no_device failing_expectation)
STANDIN=$BIN/e2e_standin.exe

scenario_controls() {
    scenario_dir controls
    start_program "$STANDIN"
    check "driver reads, moves and stores" drive controls <<'STEPS'
timeout 20000
window
text 1008 "KVDEV-A1"
text 1005 "03c0"
pos 960
check 1
set-pos 800
text 1005 "0320"
click 1001
check 0
click 1004
box "Are you sure to change settings?" Yes
box "Restart device to apply changes!" OK
contains 1000 "Store -> HBlank 0320, Half Clock 0\r\n"
click 1009
text 1000 ""
pos 960
check 1
close
exit 1
STEPS
    finish_program
    check "exit status 1 (wine)" status_is 1
}

scenario_store_no() {
    scenario_dir store_no
    start_program "$STANDIN"
    check "a No leaves no box and no store" drive store_no <<'STEPS'
timeout 20000
window
click 1004
box "Are you sure to change settings?" No
no-box 1500
lacks 1000 "Store ->"
close
exit 1
STEPS
    finish_program
}

scenario_file_dialog() {
    scenario_dir file_dialog
    printf 'DEVICE=TYPE1\r\r\n' >"$S_DIR/KVDEV-A1_20240102030405.set"
    local chosen
    chosen=$(winpath "$S_DIR/KVDEV-A1_20240102030405.set")
    start_program "$STANDIN"
    check "file dialog filled, then cancelled" drive file_dialog <<STEPS
timeout 30000
window
click 1006
open-file "${chosen//\\/\\\\}"
box "Restart device to apply changes!" OK
contains 1000 "Restore from: ${chosen//\\/\\\\}"
click 1006
cancel-file
contains 1000 "Restore cancelled"
close
exit 1
STEPS
    finish_program
    check "the name box showed the pattern" log_has 'name box shows "KVDEV-A1_*.set"' file_dialog.log
}

scenario_no_device() {
    scenario_dir no_device
    start_program "$STANDIN" nodevice
    check "discovery failure box and status" drive no_device <<'STEPS'
timeout 20000
window
box "Cannot find KV devices" OK
exit 1
STEPS
    finish_program
    check "exit status 1 (wine)" status_is 1
}

# The driver must report a failed expectation, not pass over it.
scenario_failing_expectation() {
    scenario_dir failing_expectation
    start_program "$STANDIN"
    drive failing <<'STEPS'
timeout 3000
window
text 1008 "KVDEV-A2"
STEPS
    local status=$?
    check "a wrong name fails the driver with status 1" test "$status" -eq 1
    check "the report says what it saw" log_has 'FAIL line 3: control 1008 shows "KVDEV-A1"' failing.log
    drive close_failing <<'STEPS'
timeout 3000
window
box "Some other text" OK
STEPS
    status=$?
    check "an unexpected box is no pass" test "$status" -eq 1
    drive close <<'STEPS'
timeout 20000
window
close
exit 1
STEPS
    finish_program
}
