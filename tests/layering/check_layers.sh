#!/usr/bin/env bash
# Fails when a source file reaches up the layers or names Windows outside
# the places that may.
#
#   platform <- device <- settings <- app  (app/win32, app/console and the
#   installer's app/installer on top)
#
# A layer includes headers of its own folder and of the layers below it;
# only platform/win32, app/win32, app/installer, sim/, the tests and the
# bench include Windows headers.
#   tests/layering/check_layers.sh [source-root]
set -uo pipefail
ROOT=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
cd "$ROOT" || exit 2

status=0
complain() { echo "$1: $2"; status=1; }

sources() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort; }
# Each line of the file that grep finds is a complaint: what, then the line.
complain_lines() {  # file, what, grep options and pattern...
    local file=$1 what=$2 line
    shift 2
    while IFS= read -r line; do complain "$file" "$what: $line"; done < <(grep -n "$@" "$file")
}

# Folders a layer may not include from.
declare -A forbidden=(
    [platform]='device settings app sim tests bench'
    [device]='settings app sim tests bench'
    [settings]='app sim tests bench'
    [app]='sim tests bench'
)
for layer in platform device settings app; do
    for file in $(sources "$layer"); do
        for above in ${forbidden[$layer]}; do
            complain_lines "$file" "includes $above/ from the $layer layer" \
                -E "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"$above/"
        done
    done
done

# The operations (app/, its record of changes in app/record/ too) serve
# every front end and include none.
for file in $(sources app); do
    case $file in
        app/win32/* | app/console/* | app/installer/*) continue ;;
    esac
    complain_lines "$file" "includes a front end from the operations" \
        -E "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"app/(win32|console|installer)/"
done

windows_headers='windows|winbase|windef|winuser|wingdi|winnt|winreg|commctrl|commdlg|mmsystem|timeapi|shellapi|shlobj|objbase|winsock2?|ws2tcpip|process'
for file in $(sources platform device settings app); do
    case $file in
        platform/win32/* | app/win32/* | app/installer/*) continue ;;
    esac
    complain_lines "$file" "includes a Windows header outside platform/win32, app/win32 and app/installer" \
        -iE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($windows_headers)\.h>"
done

if [ $status -eq 0 ]; then
    echo "layers kept: $(sources platform device settings app | wc -l) files checked"
fi
exit $status
