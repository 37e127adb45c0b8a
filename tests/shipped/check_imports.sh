#!/usr/bin/env bash
# Fails when a 32-bit Windows binary would not load on Windows 2000 SP4:
# a function imported by name that its system DLL does not export there, an
# import from a DLL that is not a Windows system DLL, or a subsystem or OS
# version above 5.0 in the PE header. Imports by ordinal are accepted.
#
#   check_imports.sh <binary>...
#
# winapi/<dll>.exports lists what each system DLL exports up to Server 2003
# (a DLL without a list is not one a shipped binary may need);
# winapi/not-in-2000.txt takes out what Windows 2000 still lacked. Wine
# exports all of it, so only this check sees the difference.
set -u

if [[ $# -eq 0 ]]; then
    echo "usage: $0 <binary>..." >&2
    exit 2
fi
LISTS=$(cd "$(dirname "$0")/winapi" && pwd) || exit 2
OBJDUMP=${OBJDUMP:-i686-w64-mingw32-objdump}

status=0
for binary in "$@"; do
    if ! headers=$("$OBJDUMP" -p "$binary" 2>&1); then
        printf '%s: cannot be read: %s\n' "$binary" "$headers"
        status=1
        continue
    fi
    awk -v binary="$(basename "$binary")" '
        function refuse(text) { print binary ": " text; refused++ }
        function version(what, major, minor) {
            if (major == "" || major * 100 + minor > 500) {
                refuse(what " version " major "." minor " is above 5.0 (Windows 2000)")
            }
        }
        FILENAME ~ /\.exports$/ {
            list = FILENAME
            sub(/.*\//, "", list)
            sub(/\.exports$/, ".dll", list)
            system_dll[list] = 1
            if ($0 !~ /^#/ && NF) exported[list, $1] = 1
            next
        }
        FILENAME ~ /not-in-2000\.txt$/ {
            if ($0 !~ /^#/ && NF >= 3) first[tolower($1), $2] = $3
            next
        }
        $1 == "MajorSubsystemVersion" { subsystem_major = $2 }
        $1 == "MinorSubsystemVersion" { subsystem_minor = $2 }
        $1 == "MajorOSystemVersion" { os_major = $2 }
        $1 == "MinorOSystemVersion" { os_minor = $2 }
        /^The Import Tables/ { in_imports = 1; next }
        in_imports && /^[A-Z]/ { in_imports = 0 }
        in_imports && /^\tDLL Name: / {
            dll_shown = $3
            dll = tolower(dll_shown)
            dlls++
            if (!(dll in system_dll)) refuse(dll_shown ": not a Windows system DLL")
            next
        }
        # "<tab><thunk><tab> <hint or ordinal>  <name, or <none> for an ordinal>"
        in_imports && dll != "" && /^\t[0-9a-f]+\t/ {
            functions++
            name = $3
            if (name == "<none>" || !(dll in system_dll)) next
            if ((dll, name) in first) {
                refuse(dll_shown " " name ": not on Windows 2000 (first in " first[dll, name] ")")
            } else if (!((dll, name) in exported)) {
                refuse(dll_shown " " name ": not exported by " dll " on Windows 2000")
            }
        }
        END {
            version("subsystem", subsystem_major, subsystem_minor)
            version("OS", os_major, os_minor)
            if (dlls == 0) refuse("no import table found")
            if (refused) exit 1
            printf "%s: ok, %d functions from %d DLLs, subsystem %s.%s, OS %s.%s\n", binary,
                functions, dlls, subsystem_major, subsystem_minor, os_major, os_minor
        }
    ' "$LISTS"/*.exports "$LISTS/not-in-2000.txt" - <<<"$headers" || status=1
done
exit $status
