#!/usr/bin/env bash
# Signs each FILE in place (programs and the package alike) with SHA-256
# when SPELVANE_SIGN_PKCS12 names a code-signing certificate and its key
# (PKCS#12) and SPELVANE_SIGN_PASSWORD its password; without them it leaves
# the files unsigned and says so.
#
#   sign_release.sh SOURCE_DIR FILE...
#
# The signing time is SOURCE_DATE_EPOCH, by default the time of the last
# commit in SOURCE_DIR: one commit signed with one certificate gives the
# same bytes. No time-stamp server is asked (that answer would differ with
# every build); a site that wants one adds it to the released files.
set -euo pipefail
source_dir=$1
shift

if [[ -z ${SPELVANE_SIGN_PKCS12:-} ]]; then
    echo "sign_release: SPELVANE_SIGN_PKCS12 is not set: $# file(s) left unsigned"
    exit 0
fi
if [[ ! -r $SPELVANE_SIGN_PKCS12 ]]; then
    echo "sign_release: cannot read the certificate $SPELVANE_SIGN_PKCS12 (SPELVANE_SIGN_PKCS12)" >&2
    exit 1
fi
if [[ -z ${SPELVANE_SIGN_PASSWORD+set} ]]; then
    echo "sign_release: SPELVANE_SIGN_PASSWORD is not set: the certificate's password is needed" >&2
    exit 1
fi
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct)}

for file in "$@"; do
    # The password goes through a pipe, never onto a command line others
    # can read.
    printf '%s' "$SPELVANE_SIGN_PASSWORD" |
        osslsigncode sign -pkcs12 "$SPELVANE_SIGN_PKCS12" -readpass /dev/stdin -h sha256 -time "$epoch" \
            -n Spelvane -in "$file" -out "$file.signed" >/dev/null
    mv "$file.signed" "$file"
    echo "sign_release: signed $(basename "$file")"
done
