#!/usr/bin/env bash
# Fails when a source file reaches up the layers or names Windows outside
# the places that may.
#
#   platform <- device <- settings <- app  (app/win32 and app/console on top)
#
# A layer includes headers of its own folder and of the layers below it;
# only platform/win32, app/win32, sim/, the tests and the bench include
# Windows headers.
#   tests/layering/check_layers.sh [source-root]
set -uo pipefail
ROOT=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
cd "$ROOT" || exit 2

status=0
complain() { echo "$1: $2"; status=1; }

sources() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort; }

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
            while IFS= read -r line; do
                complain "$file" "includes $above/ from the $layer layer: $line"
            done < <(grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"$above/" "$file")
        done
    done
done

windows_headers='windows|winbase|windef|winuser|wingdi|winnt|winreg|commctrl|commdlg|mmsystem|timeapi|shellapi|shlobj|objbase|winsock2?|ws2tcpip|process'
for file in $(sources platform device settings app); do
    case $file in
        platform/win32/* | app/win32/*) continue ;;
    esac
    while IFS= read -r line; do
        complain "$file" "includes a Windows header outside platform/win32 and app/win32: $line"
    done < <(grep -niE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($windows_headers)\.h>" "$file")
done

if [ $status -eq 0 ]; then
    echo "layers kept: $(sources platform device settings app | wc -l) files checked"
fi
exit $status
