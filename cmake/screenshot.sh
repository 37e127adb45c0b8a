#!/usr/bin/env bash
# Inside an X session: start the program, wait for its dialog, photograph it,
# then close it the way a user would.
#   screenshot.sh <program.exe> <picture.png> [spelvane-driver.exe]
set -u
exe=$1
out=$2
wine "$exe" &
pid=$!
window=""
for _ in $(seq 1 120); do
    window=$(xdotool search --name '^Spelvane 1\.0$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.5
done
if [ -z "$window" ]; then
    echo "the dialog did not appear" >&2
    kill $pid 2>/dev/null
    exit 1
fi
sleep 2  # discovery runs on the first timer tick; let it finish and refresh
import -window "$window" "$out" 2>/dev/null || import -window root "$out"
# Close it as the title bar's close button would (WM_CLOSE), through the
# test driver (third argument, or built beside the program).
driver=${3:-"$(dirname "$exe")/spelvane-driver.exe"}
if [ -f "$driver" ]; then
    printf 'window\nclose\n' | wine "$driver" >/dev/null
else
    xdotool key --window "$window" alt+F4
fi
wait $pid
echo "Spelvane ended with exit status $?"
wineserver -k >/dev/null 2>&1 || true  # before Xvfb goes away
