# Sourced by the Wine checks of what ships: check counts failures, run
# keeps a command's exit status in STATUS and its output in OUT (in $work)
# and prints both for the record.
failures=0
check() {  # description, command...
    local what=$1
    shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
run() {
    "$@" >"$work/run.out" 2>&1
    STATUS=$?
    OUT=$(tr -d '\r' <"$work/run.out")
    printf '$ %s -> exit status %s\n%s\n' "$*" "$STATUS" "$OUT" | sed '/^$/d'
}
