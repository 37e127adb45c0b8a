#!/usr/bin/env bash
# The Windows Installer package as a site's IT uses it, under Wine in a
# prefix of its own: its tables, a silent install of the build before, a
# Store started through the shortcut, the upgrade to this build that keeps
# it, a refused downgrade, a silent uninstall by the product code that keeps
# the backups and the history, and signing with a throwaway certificate.
# What it sees is printed for the record.
#
#   check_package.sh SOURCE_DIR RELEASE_DIR WORK_DIR DRIVER [ARCH]
#
# RELEASE_DIR is a release tree after its target dist; DRIVER is
# spelvane-driver.exe (tests/e2e). ARCH is the prefix's: win32 (as Windows
# 2000 and XP, the default) or win64 (as 64-bit Windows, where the package's
# 32-bit programs land in "Program Files (x86)" and their system folder is
# SysWOW64). PREVIOUS_DIR, where given, holds the package of the commit
# before (build_previous.sh), which is installed first and upgraded.
set -u
src=$1 release=$2 work=$3 driver=$4 arch=${5:-win32}
msi=$(ls "$release"/spelvane-*-win32.msi) || exit 2
rm -rf "$work" && mkdir -p "$work/home" "$work/sim"
# The prefix's Documents and menus must not reach the real home folder.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    XDG_CACHE_HOME=$work/home/.cache WINEPREFIX=$work/prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Where the 32-bit programs and the system folder of 32-bit programs lie.
case $arch in
win32) programs='C:\Program Files' system=system32 ;;
win64) programs='C:\Program Files (x86)' system=syswow64 ;;
*) echo "ARCH is win32 or win64, not $arch" >&2; exit 2 ;;
esac

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
is() { [[ $2 == "$3" ]] || { echo "     $1: '$2', expected '$3'"; false; }; }
has() { [[ $2 == *"$3"* ]] || { echo "     $1 lacks '$3'"; false; }; }
table() { msiinfo export "$1" "$2" | tail -n +4 | tr -d '\r'; }

# ---------------------------------------------------------------- tables
version=$(table "$msi" Property | awk '$1 == "ProductVersion" {print $2}')
echo "== $msi: version $version"
msiinfo suminfo "$msi"
table "$msi" Shortcut
summary=$(msiinfo suminfo "$msi")
zip_folders=$(python3 -c 'import sys, zipfile; print(*sorted({n.split("/")[0] for n in zipfile.ZipFile(sys.argv[1]).namelist()}))' \
    "${msi%.msi}.zip")
check "the package, the zip and its folder carry the full version" eval \
    'is package "${msi##*/}" "spelvane-$version-win32.msi" && is "the zip'"'"'s folders" "$zip_folders" "spelvane-$version-win32" &&
     test -f "$release/spelvane-$version-win32.zip"'
check "schema 200 (Windows Installer 2.0, as on Windows 2000 SP4), Intel" \
    eval 'has summary "$summary" "Version: 200 (c8)" && has summary "$summary" "Template: Intel;1033"'
check "the shortcut starts spelvane.exe in WORKSTATIONDIR, Spelvane under the all-users application data" eval \
    'has Shortcut "$(table "$msi" Shortcut)" "[#spelvane.exe]" &&
     has Shortcut "$(table "$msi" Shortcut | cut -f12)" WORKSTATIONDIR &&
     has Directory "$(table "$msi" Directory)" "WORKSTATIONDIR	CommonAppDataFolder	Spelvane"'
# Wine's msiexec logs no launch condition's message under /qn: the table says it.
check "a downgrade is refused with its message" has LaunchCondition "$(table "$msi" LaunchCondition)" \
    "NOT WIX_DOWNGRADE_DETECTED	A newer version of Spelvane is already installed"
check "the files: the programs, the sync script, the read-me and the site's guide, no device library, no simulator" \
    is File "$(table "$msi" File | cut -f3 | sed 's/.*|//' | sort | tr '\n' ' ')" "README.txt site.md spelvane-cli.exe spelvane-sync.cmd spelvane.exe "

# The rules Windows Installer's validation (ICE) applies, read from the tables.
table "$msi" InstallExecuteSequence | sort -t$'\t' -k3,3n | cut -f1,3 | tr '\t\n' ' ,'
echo
# The one place ICE63 allows inside the installation's transaction: a failed
# upgrade then rolls the removal of the older version back.
right_after() {  # action, the one before it
    table "$msi" InstallExecuteSequence | sort -t$'\t' -k3,3n |
        awk -F'\t' -v action="$1" -v before="$2" '$1 == action {ok = previous == before} {previous = $1} END {exit !ok}'
}
check "ICE63: RemoveExistingProducts right after InstallInitialize, inside the upgrade's transaction" \
    right_after RemoveExistingProducts InstallInitialize
# The folder action as LocalSystem: on an install or upgrade only, never a
# repair or change any user may start; after the event source is
# registered; its failure fails the installation (no 0x40, continue); a
# DLL in the package (type 1), which alone can write the installer's log.
folder_action() {
    local row type at
    row=$(table "$msi" InstallExecuteSequence | awk -F'\t' '$1 == "OpenWorkstationFolder"')
    type=$(table "$msi" CustomAction | awk -F'\t' '$1 == "OpenWorkstationFolder" {print $2}')
    at=$(table "$msi" InstallExecuteSequence | awk -F'\t' '$1 == "WriteRegistryValues" {print $3}')
    echo "     OpenWorkstationFolder: ${row//$'\t'/ | }, type $type"
    [[ $(cut -f2 <<<"$row") == "NOT Installed" && $(cut -f3 <<<"$row") -gt $at && $((type & 0x40)) -eq 0 &&
       $((type & 0xc00)) -eq $((0xc00)) && $((type & 0x3f)) -eq 1 ]]
}
check "the folder action: a DLL in the package, NOT Installed, after WriteRegistryValues, deferred as LocalSystem, its failure the installation's" \
    folder_action
check "ICE40: no REINSTALLMODE in the Property table" eval '! table "$msi" Property | cut -f1 | grep -qx REINSTALLMODE'
# A name (a directory's target and source names apart) is its short name,
# or carries one before a "|"; the root's SourceDir is the installer's own.
long_names=$({ table "$msi" File | cut -f3; table "$msi" Directory | awk -F'\t' '$2 != ""' | cut -f3 | tr ':' '\n'; } |
    sed 's/|.*//' | grep -vxE '\.|[^][\/:*?"<>|+,;= .]{1,8}(\.[^][\/:*?"<>|+,;= .]{1,3})?')
check "ICE03: every file and folder has an 8.3 short name" is "names without one" "$long_names" ""
profile_faults=$(python3 - "$msi" <<'PY'
import subprocess, sys
def rows(name):
    text = subprocess.run(["msiinfo", "export", sys.argv[1], name], capture_output=True, text=True).stdout
    return [line.rstrip("\r").split("\t") for line in text.splitlines()[3:]]
profile = {"AppDataFolder", "DesktopFolder", "FavoritesFolder", "LocalAppDataFolder", "MyPicturesFolder", "NetHoodFolder",
           "PersonalFolder", "PrintHoodFolder", "ProgramMenuFolder", "RecentFolder", "SendToFolder", "StartMenuFolder",
           "StartupFolder", "TemplateFolder", "AdminToolsFolder"}
parent = {row[0]: row[1] for row in rows("Directory")}
def in_profile(folder):
    return folder in profile or bool(parent.get(folder)) and in_profile(parent[folder])
hkcu = {row[0] for row in rows("Registry") if row[1] == "1"}
components = {row[0]: row for row in rows("Component")}
for name, (_, _, folder, attributes, _, key) in components.items():
    if in_profile(folder) and not (int(attributes) & 4 and key in hkcu):
        print(f"component {name} in the profile folder {folder} is not keyed by an HKCU value")
for shortcut, _, _, component, target, *_ in rows("Shortcut"):
    if target != f"[#{components[component][5]}]":
        print(f"shortcut {shortcut} is not in the component of the program it starts, {target}")
PY
)
check "ICE38/ICE43: no component in a profile folder keyed in HKLM; the shortcut in its program's component" \
    is faults "$profile_faults" ""
check "the feature cannot be set absent (attributes 16, msidbFeatureAttributesUIDisallowAbsent)" \
    is Feature "$(table "$msi" Feature | cut -f1,8)" "Spelvane	16"

# ---------------------------------------------------------------- Wine
wineboot -i >/dev/null 2>&1
wineserver -w
echo "== a $arch prefix: the programs in $programs, their system folder $system"
package() {  # package, version, read-me: this tree's programs packed as that version
    python3 "$src/cmake/build_msi.py" "$src" "$src/packaging/spelvane.wxs" "$1" "$2" \
        Dialog="$release/released/spelvane.exe" Console="$release/released/spelvane-cli.exe" \
        FolderAction="$release/released/spelvane-folder-action.dll" \
        ReadMe="$3" SiteGuide="$release/site.md" SyncScript="$release/ship/spelvane-sync.cmd" Icon="$src/app/win32/spelvane.ico" || exit 2
}
# The build of the commit before, built from that commit's own sources
# (build_previous.sh, into PREVIOUS_DIR). A copy without that commit packs
# this tree's programs as the version before instead, with a read-me of its
# own that the upgrade must replace.
IFS=. read -r major minor build <<<"$version"
older=$(ls "${PREVIOUS_DIR:-$work/none}"/spelvane-*-win32.msi 2>/dev/null | head -n 1)
if [[ -n $older ]]; then
    previous=$(table "$older" Property | awk '$1 == "ProductVersion" {print $2}')
    echo "== the build before: $older, built from the commit before"
    writer=$previous
else
    previous=$major.$minor.$((build - 1))
    older=$work/spelvane-$previous-win32.msi
    echo "== the build before: this tree's programs packed as $previous (this copy holds no commit before)"
    sed "s/$version/$previous/g" "$release/README.txt" >"$work/old-readme.txt"
    package "$older" "$previous" "$work/old-readme.txt"
    writer=$version
fi
products() {  # a 32-bit package's entries lie in the 32-bit view on 64-bit Windows
    for view in '' 'Wow6432Node\'; do
        wine reg query "HKLM\\Software\\${view}Microsoft\\Windows\\CurrentVersion\\Uninstall" /s 2>/dev/null
    done | tr -d '\r' | awk '/^HKEY/ {key = $NF; sub(/.*\\/, "", key)} $1 == "DisplayName" && $3 == "Spelvane" {name[key] = 1}
             $1 == "DisplayVersion" {v[key] = $3} END {for (k in name) print "Spelvane " v[k]}'
}
installed=$WINEPREFIX/drive_c/${programs#C:\\}/Spelvane
workstation=$WINEPREFIX/drive_c/ProgramData/Spelvane

run wine msiexec /i "$(winepath -w "$older")" /qn
check "silent install of $previous, the build before: exit status 0" eval \
    'is status "$STATUS" 0 && is products "$(products)" "Spelvane $previous"'
check "installed: the two programs, the sync script, the read-me and the site's guide, nothing else" \
    is files "$(cd "$installed" && ls | tr '\n' ' ')" "README.txt site.md spelvane-cli.exe spelvane-sync.cmd spelvane.exe "

# The start folder as the shell reads it from the shortcut file.
link=$(find "$WINEPREFIX/drive_c/users" -name Spelvane.lnk | head -n 1)
start_in=$(python3 - "$link" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
flags = struct.unpack_from("<I", data, 20)[0]
at = 76
if flags & 1: at += 2 + struct.unpack_from("<H", data, at)[0]
if flags & 2: at += struct.unpack_from("<I", data, at)[0]
width = 2 if flags & 0x80 else 1
for bit in (0x4, 0x8, 0x10):
    if flags & bit:
        count = struct.unpack_from("<H", data, at)[0]
        text = data[at + 2:at + 2 + count * width].decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
        at += 2 + count * width
        if bit == 0x10: print(text)
PY
)
echo "shortcut ${link#"$WINEPREFIX"/}: start in $start_in"
check "the shortcut starts in the workstation folder" is "start folder" "$start_in" 'C:\ProgramData\Spelvane\'
check "the package made the workstation folder" test -d "$workstation"
check "the package made the history, empty until the first change" eval 'test -f "$workstation/spelvane-history.csv" && ! test -s "$workstation/spelvane-history.csv"'

# The dialog started through the shortcut, the simulated reader where the
# reader's own software puts its library: the system folder of 32-bit programs.
cp "$release/ship/qzsim.conf" "$work/sim/"
cp "$release/ship/qzsd7.dll" "$WINEPREFIX/drive_c/windows/$system/"
export QZSIM_CONFIG=$(winepath -w "$work/sim/qzsim.conf")
wine start "$(winepath -w "$link")"
cat >"$work/store.steps" <<'STEPS'
timeout 30000
window
text 1005 "0100"
set-pos 800
text 1005 "0320"
click 1004
box "Are you sure to change settings?" Yes
box "Restart device to apply changes!" OK
contains 1000 "Saving is SUCCESS\r\n"
close
exit 1
STEPS
run wine "$driver" "$(winepath -w "$work/store.steps")"
check "the dialog started from the shortcut stores" is status "$STATUS" 0
echo "workstation folder:" && ls "$workstation" && tr -d '\r' <"$workstation/spelvane-history.csv"
check "its backup is in the workstation folder" eval 'ls "$workstation"/KVDEV-A1_*.set >/dev/null'
check "its history rows are there" eval 'grep -q "store.*KVDEV-A1" "$workstation/spelvane-history.csv"'
cp "$workstation/spelvane-history.csv" "$work/history.before"

run wine msiexec /i "$(winepath -w "$msi")" /qn
check "silent install of $version over the build before: exit status 0" is status "$STATUS" 0
check "upgraded: one product, the newer, with the newer files" eval \
    'is products "$(products)" "Spelvane $version" && cmp "$installed/README.txt" "$release/README.txt"'
echo "installed:" && find "$WINEPREFIX/drive_c" -path '*Spelvane*' | sed "s|^$WINEPREFIX/||" | sort
check "upgraded: the history and the backup kept, the shortcut there" eval \
    'cmp -n "$(stat -c %s "$work/history.before")" "$work/history.before" "$workstation/spelvane-history.csv" &&
     ls "$workstation"/KVDEV-A1_*.set >/dev/null && test -e "$link"'
check "the history's rows name the version of the program that wrote them ($writer)" eval \
    'grep -q ",spelvane,$writer," "$workstation/spelvane-history.csv"'
run wine "$programs\Spelvane\spelvane-cli.exe" --version
# A 32-bit program names its system folder system32 on 64-bit Windows too:
# the only copy lies in $system.
check "the installed spelvane-cli --version: this version, the library from the system folder ($system)" eval \
    'is status $STATUS 0 && has output "$OUT" "spelvane-cli $version" &&
     has library "${OUT,,}" "library: c:\\windows\\system32\\qzsd7.dll," &&
     is "copies of the library" "$(cd "$WINEPREFIX/drive_c/windows" && ls -d */qzsd7.dll)" "$system/qzsd7.dll"'
run wine "$programs\Spelvane\spelvane-cli.exe" --workstation doctor
check "doctor names the version" has doctor "$OUT" "program: spelvane-cli $version on "
run wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Spelvane'
check "the event source: the console program's messages, expandable; 7 types" eval \
    'has EventMessageFile "$OUT" "EventMessageFile    REG_EXPAND_SZ    $programs\Spelvane\spelvane-cli.exe" &&
     has TypesSupported "$OUT" "TypesSupported    REG_DWORD    0x7"'

# A later build whose folder action is refused (the workstation folder made
# a link to another folder) fails the upgrade. Windows then rolls the older
# version's removal back, as the sequence above places it in the same
# transaction; Wine's msiexec removes the older version at once and rolls
# nothing back, so what it leaves is printed, not checked, and this version
# is installed again.
next=$major.$minor.$((build + 1))
package "$work/spelvane-$next-win32.msi" "$next" "$release/README.txt"
mv "$workstation" "$work/workstation.kept" && mkdir -p "$work/elsewhere" && ln -s "$work/elsewhere" "$workstation"
run wine msiexec /i "$(winepath -w "$work/spelvane-$next-win32.msi")" /qn /l*v "$(winepath -w "$work/refused.log")"
check "$next over $version with the workstation folder a link: the upgrade fails (1603, cut to 67; Wine may answer 1627, 91)" \
    eval '[[ $STATUS == 67 || $STATUS == 91 ]]'
echo "after the refused upgrade, under Wine: [$(products)]" && find "$WINEPREFIX/drive_c" -path '*Spelvane*' |
    sed "s|^$WINEPREFIX/||" | sort
grep -E '^(Action (start|ended) .*(RemoveExistingProducts|OpenWorkstationFolder|InstallFinalize)|Spelvane)' "$work/refused.log" |
    tr -d '\r'
rm "$workstation" && mv "$work/workstation.kept" "$workstation"
products | grep -qx "Spelvane $version" || run wine msiexec /i "$(winepath -w "$msi")" /qn
check "$version installed again" is products "$(products)" "Spelvane $version"

# The start-up script of docs/site.md finds the installed sync, in a 64-bit
# prefix run by the 64-bit cmd as a start-up script is.
awk '/`spelvane-startup.cmd`:$/ {take = 1} take && /^```$/ {exit} take > 1 {print $0 "\r"} take && /^```bat$/ {take = 2}' \
    "$src/docs/site.md" >"$work/spelvane-startup.cmd"
# On 64-bit Windows a start-up script runs in the 64-bit cmd, which Debian's
# wine64 loader starts (its wine starts the 32-bit one).
[[ $arch == win64 ]] && cmd=(/usr/lib/wine/wine64 cmd) cpu=AMD64 || cmd=(wine cmd) cpu=x86
run "${cmd[@]}" /c "echo cmd for %PROCESSOR_ARCHITECTURE%&& $(winepath -w "$work/spelvane-startup.cmd") --hblank 0x320"
check "docs/site.md's start-up script, run by the $cpu cmd, runs the installed sync: the reader holds it" \
    eval 'is status $STATUS 0 && has cmd "$OUT" "cmd for $cpu" && has output "$OUT" "KVDEV-A1 (TYPE1): already holds it"'

run wine msiexec /i "$(winepath -w "$older")" /qn /l*v "$(winepath -w "$work/downgrade.log")"
check "$previous over $version is refused (1603, cut to 8 bits by Wine: 67)" is status "$STATUS" 67
check "after the refused downgrade: still the newer" is products "$(products)" "Spelvane $version"

# As an administrator removes whichever build is installed: the product
# code found by the upgrade code with docs/site.md's script.
awk '/`spelvane-product.vbs`:$/ {take = 1} take && /^```$/ {exit} take > 1 {print $0 "\r"} take && /^```vbs$/ {take = 2}' \
    "$src/docs/site.md" >"$work/spelvane-product.vbs"
run wine cscript //nologo "$(winepath -w "$work/spelvane-product.vbs")"
code=$(table "$msi" Property | awk '$1 == "ProductCode" {print $2}')
check "docs/site.md's spelvane-product.vbs names the product code and version installed" is output "$OUT" "$code $version"
# (Wine's msiexec repairs by no product code: "not implemented yet".)
run wine msiexec /x "$code" /qn
check "silent uninstall by the product code: exit status 0" is status "$STATUS" 0
echo "after uninstall:" && find "$WINEPREFIX/drive_c" -path '*Spelvane*' | sed "s|^$WINEPREFIX/||" | sort
check "uninstall removed the programs and the shortcut" eval '! test -e "$installed/spelvane.exe" && ! test -e "$link"'
check "uninstall kept the backup and the history" eval \
    'ls "$workstation"/KVDEV-A1_*.set >/dev/null && test -s "$workstation/spelvane-history.csv"'
check "no product left" is products "$(products)" ""
wineserver -k

# ---------------------------------------------------------------- signing
mkdir -p "$work/signed" && cd "$work/signed" || exit 2
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Spelvane test" \
    -addext extendedKeyUsage=codeSigning >/dev/null 2>&1 &&
    openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 -passout pass:throwaway || exit 2
cp "$release"/released/*.exe "$msi" .
SPELVANE_SIGN_PKCS12=cert.p12 SPELVANE_SIGN_PASSWORD=throwaway SOURCE_DATE_EPOCH=$(date +%s) \
    bash "$src/cmake/sign_release.sh" "$src" spelvane.exe spelvane-cli.exe "$(basename "$msi")"
for file in spelvane.exe spelvane-cli.exe "$(basename "$msi")"; do
    check "$file: the signature verifies against the test certificate" \
        eval 'osslsigncode verify -CAfile cert.pem -in "$file" >verify.log 2>&1'
    # A byte of the code, or of the package's cabinet.
    at=$(grep -obUaP 'MSCF' "$file" | head -n 1 | cut -d: -f1)
    at=$(( ${at:-1024} + 200 ))
    printf "$(printf '\\x%02x' $(( ($(od -An -tu1 -j "$at" -N1 "$file") + 1) % 256 )))" |
        dd of="$file" bs=1 seek="$at" conv=notrunc status=none
    check "$file: one byte changed, the signature fails" eval '! osslsigncode verify -CAfile cert.pem -in "$file" >/dev/null 2>&1'
done

echo "package: $failures check(s) failed"
[[ $failures -eq 0 ]]
