#!/usr/bin/env bash
# The installer's folder action with the shipped spelvane-cli and package,
# under Wine in a prefix of its own, against what a user could have planted
# in the workstation folder under an older version's rights: a clean folder
# is taken; a hard link deep in a subfolder and one with a name outside the
# ANSI code page are left alone (named, their files unchanged) and the
# installation goes on; a history that is a link is put aside for a new
# one; a folder that is a file fails the installation, which leaves no
# product. What it sees is printed for the record.
#
#   check_folder_action.sh CLI MSI WORK_DIR
set -u
cli=$1 msi=$2 work=$3
rm -rf "$work" && mkdir -p "$work/home" "$work/elsewhere"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    XDG_CACHE_HOME=$work/home/.cache WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
folder=$(winepath -u 'C:\ProgramData\Spelvane')
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
action() { run wine "$(winepath -w "$cli")" --open-workstation-folder; }
products() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk '$1 == "DisplayName" && $3 == "Spelvane" {print "Spelvane"}'
}

rm -rf "$folder"
action
check "a clean folder is taken: the folder and an empty history" \
    eval '[[ $STATUS == 0 && -d $folder && -f $folder/spelvane-history.csv && ! -s $folder/spelvane-history.csv ]]'

echo "theirs" >"$work/elsewhere/target.csv" && echo "row" >"$work/elsewhere/history.csv"
ln "$work/elsewhere/target.csv" "$folder/Жх.set"
WINEDEBUG=+eventlog action
check "a link named outside the ANSI code page: left alone (status 0), the event names it letter for letter, the line says so" eval \
    '[[ $STATUS == 0 && $OUT == *"Spelvane\\\\\\0416\\0445.set: it has more than one name"* &&
       $OUT == *"?.set: it has more than one name"*"not shown whole here; event 1008 in the Application log names it whole"* ]]'
mkdir -p "$folder/deep/sub"
ln "$work/elsewhere/target.csv" "$folder/deep/sub/old.set"
rm "$folder/spelvane-history.csv" && ln "$work/elsewhere/history.csv" "$folder/spelvane-history.csv"
action
check "planted links: left alone and named, the history put aside and made anew (status 0)" eval \
    '[[ $STATUS == 0 ]] && [[ $OUT == *"deep\\sub\\old.set: it has more than one name"* ]] &&
     [[ $(grep -c "left as it is" <<<"$OUT") == 2 ]] &&
     [[ $OUT == *"the history "*"spelvane-history.csv: it has more than one name"*"renamed spelvane-history.csv.aside-1"* ]]'
check "their files unchanged; the new history is a file of its own" eval \
    '[[ $(cat "$work/elsewhere/target.csv") == theirs && $(cat "$work/elsewhere/history.csv") == row &&
        $(stat -c %h "$folder/spelvane-history.csv") == 1 && ! -s $folder/spelvane-history.csv ]]'

# The package over the same planted folder: the installation goes on, and
# its log and the warning event name what was left alone, a name that
# reads as an installer property too.
rm "$folder/spelvane-history.csv" && ln "$work/elsewhere/history.csv" "$folder/spelvane-history.csv"
ln "$work/elsewhere/target.csv" "$folder/[ProgramFilesFolder].set"
WINEDEBUG=+eventlog run wine msiexec /i "$(winepath -w "$msi")" /qn /l*v 'C:\install.log'
events=$(grep -a 'ReportEventW L' <<<"$OUT" | sed 's/.*ReportEventW L//')
log=$(tr -d '\r' <"$(winepath -u 'C:\install.log')")
grep -a '^Spelvane' <<<"$log"
# (Wine's trace cuts a long insert: the aside name is looked for on disk.)
check "the package over planted links installs (status 0), its warning event names them, the history aside" eval \
    '[[ $STATUS == 0 && $(products) == Spelvane && $events == *"sub\\\\old.set: it has more than one name"* &&
       -f $folder/spelvane-history.csv.aside-2 && $(stat -c %h "$folder/spelvane-history.csv") == 1 ]]'
check "the installer's log names each link left alone and the history put aside, and which name is not whole there" eval \
    '[[ $(grep -c "^Spelvane: warning: left as it is, its rights not changed: " <<<"$log") == 4 &&
       $log == *"deep\\sub\\old.set: it has more than one name"* && $log == *"Spelvane: warning: the history "* &&
       $(grep -c "not shown whole here; event 1008" <<<"$log") == 1 ]]'
check "a name in brackets reaches the installer's log as it is, not as the property it names" eval \
    '[[ $log == *"Spelvane\\[ProgramFilesFolder].set: it has more than one name"* ]]'
rm -f "$folder/[ProgramFilesFolder].set"
run wine msiexec /x "$(winepath -w "$msi")" /qn

# A failed action fails the installation: a file where the folder goes.
rm -rf "$folder" && echo "not a folder" >"$folder"
run wine msiexec /i "$(winepath -w "$msi")" /qn /l*v 'C:\failed.log'
log=$(tr -d '\r' <"$(winepath -u 'C:\failed.log')")
grep -a '^Spelvane' <<<"$log"
check "a folder that is a file: the installation fails (1603, 67 in 8 bits), no product, the log says why" \
    eval '[[ $STATUS != 0 && -z $(products) && $log == *"Spelvane cannot prepare the workstation folder: refusing "*"it is a file"* ]]'
rm -f "$folder"
wineserver -k
echo "folder action: $failures check(s) failed"
[[ $failures -eq 0 ]]
