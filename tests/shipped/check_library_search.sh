#!/usr/bin/env bash
# Where the device library's own DLLs come from, with the shipped
# spelvane-cli under Wine in a prefix of its own: a stand-in qzsd7.dll in
# the system folder needs qzneed.dll by name and loads qzlate.dll by name
# each time it is called; the vendor's copies are on PATH, planted copies
# are in the folder the program is started in and in the workstation
# folder. The copies on PATH must be the ones loaded, whichever folder the
# command runs in. Wine takes no notice of SetDllDirectoryW(""), so what
# keeps the planted copies out here is the folder the calls are made in,
# as on Windows 2000.
#
#   check_library_search.sh CLI NEEDING_DLL NEEDED_DLL LATER_DLL WORK_DIR
set -u
cli=$1 needing=$2 needed=$3 later=$4 work=$5
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
for folder in "$work/vendor" "$work/start" "$workstation"; do
    cp "$needed" "$folder/qzneed.dll" && cp "$later" "$folder/qzlate.dll"
done
export WINEPATH=$(winepath -w "$work/vendor") QZNEED_REPORT=$(winepath -w "$work/loaded.txt")
vendor=$(winepath -w "$work/vendor")

failures=0
loaded_from_path() {  # what, arguments...
    local what=$1
    shift
    rm -f "$work/loaded.txt"
    (cd "$work/start" && wine "$(winepath -w "$work/program/spelvane-cli.exe")" "$@" >"$work/out.txt" 2>&1)
    local status=$? loaded
    loaded=$(tr -d '\r' <"$work/loaded.txt" 2>/dev/null | sort -u | tr '\n' ' ')
    echo "\$ (in start) spelvane-cli $* -> exit status $status; loaded: ${loaded:-nothing}"
    tr -d '\r' <"$work/out.txt" | sed 's/^/     /'
    if [[ $loaded == "$vendor\\qzlate.dll $vendor\\qzneed.dll " ]]; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}
loaded_from_path "started in a folder holding a planted copy: the copies on PATH" show
loaded_from_path "--workstation, a planted copy in the workstation folder: the copies on PATH" --workstation show
loaded_from_path "-C to the workstation folder: the copies on PATH" -C "$(winepath -w "$workstation")" show
# After the load the command is back in the folder it was given: doctor
# names the folder it runs in once the library is loaded.
loaded_from_path "--workstation doctor: the copies on PATH, and still the workstation folder after the load" \
    --workstation doctor
grep -q 'folder: C:\\ProgramData\\Spelvane takes the backups' "$work/out.txt" ||
    { echo "FAIL doctor does not run in the workstation folder"; failures=$((failures + 1)); }
wineserver -k
echo "library search: $failures check(s) failed"
[[ $failures -eq 0 ]]
