#!/usr/bin/env bash
# build.sh's install on a bad day, against a stand-in apt-get on PATH that
# fails as Debian's mirrors do: an index of the wrong size while a mirror is
# synchronised, a package whose two architectures' versions differ, a
# package no list has. The machine's own apt is never run.
#
#   check_install_packages.sh SOURCE_DIR WORK_DIR
set -u
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work/bin"
failures=0 cases=0

cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_DIR/calls"
security='http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz'
other='http://deb.example/debian/dists/bookworm/main/binary-i386/Packages.xz'
case $1 in
update)
    count=$(($(cat "$STUB_DIR/updates" 2>/dev/null || echo 0) + 1)) && echo $count >"$STUB_DIR/updates"
    [[ $STUB_UPDATE_FAILS == always || $count -le $STUB_UPDATE_FAILS ]] || exit 0
    url=$security && [[ $STUB_FAILED_LIST == other ]] && url=$other
    echo "E: Failed to fetch $url  File has unexpected size (52924 != 52876). Mirror sync in progress? [IP: 1.2.3.4 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
install)
    for word; do [[ $word == Dir::Etc::Preferences=* ]] && cp "${word#*=}" "$STUB_DIR/preferences"; done
    # One word a call: ok, skew (wine32:i386's partner not installable) or unknown.
    [[ -f $STUB_DIR/installs ]] || echo "$STUB_INSTALLS" >"$STUB_DIR/installs"
    read -r outcome rest <"$STUB_DIR/installs" && echo "$rest" >"$STUB_DIR/installs"
    case $outcome in
    ok) exit 0 ;;
    skew) printf '%s\n' "The following packages have unmet dependencies:" \
        " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed" \
        "E: Unable to correct problems, you have held broken packages." ;;
    unknown) echo "E: Unable to locate package spelvane-nothing" ;;
    esac
    exit 100 ;;
esac
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
[[ $1 == --print-foreign-architectures ]] && echo i386 && exit 0
exit 1
STUB
# The states STUB_STATES gives (package=state ...); any other is unknown.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
for pair in $STUB_STATES; do [[ ${pair%%=*} == "${!#}" ]] && printf '%s' "${pair#*=}" && exit 0; done
echo "dpkg-query: no packages found matching ${!#}" >&2
exit 1
STUB
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"*

# installs, update failures, failed list, packages -> status, then apt-get's calls and what build.sh said
attempt() {
    local dir=$work/case$((++cases))
    mkdir -p "$dir"
    STATUS=$(STUB_DIR=$dir STUB_STATES=${STATES:-} STUB_INSTALLS=$1 STUB_UPDATE_FAILS=$2 STUB_FAILED_LIST=$3 PATH="$work/bin:$PATH" \
        SPELVANE_APT_RETRY_SECONDS=0 TMPDIR=$dir bash -c 'source "$0/build.sh" && install_packages "${@:1}"' \
        "$src" "${@:4}" >"$dir/said" 2>&1; echo $?)
    CALLS=$(cat "$dir/calls") SAID=$(cat "$dir/said")
    printf -- '-- installs %s, update failing %s (%s list): exit status %s\n%s\n%s\n' "$1" "$2" "$3" "$STATUS" \
        "$CALLS" "$SAID"
}
check() {  # description, command...
    if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
updates() { grep -c '^apt-get update' <<<"$CALLS"; }
pinned() { grep -c 'Dir::Etc::Preferences' <<<"$CALLS"; }

attempt ok 2 security wine wine32:i386
check "an update failing twice is tried again and the third succeeds; installed" \
    '[[ $STATUS == 0 && $(updates) == 3 && $(pinned) == 0 ]]'
attempt "skew ok" always security wine wine32:i386
check "the security list failing three times: the install goes on, then with security pinned to 100, and succeeds" \
    '[[ $STATUS == 0 && $(updates) == 3 && $(pinned) == 1 && $SAID == *"pinned low"* &&
       $SAID == *"Not fetched:"*"bookworm-security/main/binary-i386/Packages.xz"* &&
       $(cat "$work/case2/preferences") == *"Pin: release l=Debian-Security"$'"'"'\n'"'"'"Pin-Priority: 100" ]]'
check "no file of apt-get's output left behind" '[[ -z $(ls "$work"/case*/spelvane-apt.* 2>/dev/null) ]]'
attempt "skew skew" always security wine wine32:i386
check "still not installable: exit status 1, wine32:i386 named, the versions of the architectures the cause" \
    '[[ $STATUS == 1 && $(pinned) == 1 && $SAID == *"cannot install wine32:i386"[[:space:]]* && $SAID == *"i386 and amd64 versions differ"* ]]'
attempt "skew" always other wine wine32:i386
check "a list other than security failing: no pinned retry, the package named" \
    '[[ $STATUS == 1 && $(pinned) == 0 && $SAID == *"cannot install wine32:i386"* ]]'
attempt "unknown" 0 - spelvane-nothing
check "a package no list has: named, with no list failed; exit status 1" \
    '[[ $STATUS == 1 && $(updates) == 1 && $SAID == *"cannot install spelvane-nothing"* &&
       $SAID == *"no package list that arrived has it"* && $SAID != *"try again later"* ]]'
STATES="wine=config-files wine32:i386=half-installed make=installed" attempt ok 0 - wine wine32:i386 make
check "removed with its configuration kept, or half installed: installed again; an installed one left alone" \
    '[[ $STATUS == 0 && $CALLS == *"install"*" wine wine32:i386"* && $CALLS != *" make"* ]]'

echo "install: $failures check(s) failed"
[[ $failures -eq 0 ]]
