#!/usr/bin/env bash
# Where the device library's own DLLs come from, with the shipped
# spelvane-cli under Wine in a prefix of its own: a stand-in qzsd7.dll in
# the system folder needs qzneed.dll by name; the vendor's copy is on PATH,
# planted copies are in the folder the program is started in and in the
# workstation folder. The copy on PATH must be the one loaded, whichever
# folder the command runs in.
#
#   check_library_search.sh CLI NEEDING_DLL NEEDED_DLL WORK_DIR
set -u
cli=$1 needing=$2 needed=$3 work=$4
rm -rf "$work" && mkdir -p "$work/home" "$work/program" "$work/vendor" "$work/start" "$work/other"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    XDG_CACHE_HOME=$work/home/.cache WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
# The program alone in its folder, so that the library is the system folder's.
cp "$cli" "$work/program/spelvane-cli.exe"
cp "$needing" "$(winepath -u 'C:\windows\system32')/qzsd7.dll"
workstation=$(winepath -u 'C:\ProgramData\Spelvane')
mkdir -p "$workstation"
for folder in "$work/vendor" "$work/start" "$workstation"; do cp "$needed" "$folder/qzneed.dll"; done
export WINEPATH=$(winepath -w "$work/vendor") QZNEED_REPORT=$(winepath -w "$work/loaded.txt")
vendor=$(winepath -w "$work/vendor/qzneed.dll")

failures=0
loaded_from_path() {  # what, arguments...
    local what=$1
    shift
    rm -f "$work/loaded.txt"
    (cd "$work/start" && wine "$(winepath -w "$work/program/spelvane-cli.exe")" "$@" >"$work/out.txt" 2>&1)
    local status=$? loaded
    loaded=$(tr -d '\r' <"$work/loaded.txt" 2>/dev/null | sort -u | tr '\n' ' ')
    echo "\$ (in start) spelvane-cli $* -> exit status $status; qzneed.dll loaded from: ${loaded:-nothing}"
    tr -d '\r' <"$work/out.txt" | sed 's/^/     /'
    if [[ $loaded == "$vendor " ]]; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
loaded_from_path "started in a folder holding a planted copy: the copy on PATH" show
loaded_from_path "--workstation, a planted copy in the workstation folder: the copy on PATH" --workstation show
loaded_from_path "-C to the workstation folder: the copy on PATH" -C "$(winepath -w "$workstation")" show
# After the load the command is back in the folder it was given: doctor
# names the folder it runs in once the library is loaded.
loaded_from_path "--workstation doctor: the copy on PATH, and still the workstation folder after the load" \
    --workstation doctor
grep -q 'folder: C:\\ProgramData\\Spelvane takes the backups' "$work/out.txt" ||
    { echo "FAIL doctor does not run in the workstation folder"; failures=$((failures + 1)); }
wineserver -k
echo "library search: $failures check(s) failed"
[[ $failures -eq 0 ]]
