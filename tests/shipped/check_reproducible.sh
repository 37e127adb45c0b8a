#!/usr/bin/env bash
# usage: check_reproducible.sh SOURCE_DIR RELEASE_DIR WORK_DIR
# Builds the release a second time from a copy of SOURCE_DIR under WORK_DIR,
# with its build tree beside the copy rather than inside it, and compares
# that zip and package with RELEASE_DIR's byte for byte, naming the zip's
# entries that differ.
set -euo pipefail
src=$1 first=$2 work=$3
copy=$work/tree second=$work/release

# What git would commit, uncommitted changes included; the copy reads the
# commit time from the same repository.
rm -rf "$copy" && mkdir -p "$copy"
git -C "$src" ls-files -z --cached --others --exclude-standard |
    tar -C "$src" --null -T - --ignore-failed-read -cf - | tar -C "$copy" -xf -

# Without the repository's history (an exported tarball) the copy cannot
# count its commits: it says which version it takes and why, and takes the
# build number it is given.
version_of_copy() {  # cmake options...
    cmake -S "$copy" -B "$work/no-history" -DSPELVANE_TESTS=OFF "$@" 2>&1 | tr -s ' \n' ' '
    rm -rf "$work/no-history"
}
said=$(GIT_CEILING_DIRECTORIES=$(dirname "$copy") version_of_copy)
[[ $said == *"has no git history to count its commits"*"The version is 1.0.0, below every build of main"*"-- Spelvane 1.0.0 "* ]] ||
    { echo "a copy without history does not say which version it takes and why: $said"; exit 1; }
said=$(GIT_CEILING_DIRECTORIES=$(dirname "$copy") version_of_copy -DSPELVANE_BUILD_NUMBER=41)
[[ $said == *"-- Spelvane 1.0.41 "* ]] || { echo "a copy without history ignores SPELVANE_BUILD_NUMBER: $said"; exit 1; }
echo "a copy without history: version 1.0.0, or 1.0.41 as given, and says why"

printf 'gitdir: %s\n' "$(git -C "$src" rev-parse --absolute-git-dir)" >"$copy/.git"

cmake -S "$copy" -B "$second" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPELVANE_RELEASE=ON \
    -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/toolchain-i686-w64-mingw32-release.cmake" >/dev/null
cmake --build "$second" --target dist -j "$(nproc)" >/dev/null

a=$(ls "$first"/spelvane-*-win32.msi) b=$(ls "$second"/spelvane-*-win32.msi)
sha256sum "$a" "$b"
if ! cmp "$a" "$b"; then
    echo "the two packages differ (msidiff $a $b, or msiinfo suminfo of each, tells where)"
    exit 1
fi
a=$(ls "$first"/spelvane-*-win32.zip) b=$(ls "$second"/spelvane-*-win32.zip)
if cmp -s "$a" "$b"; then
    echo "same bytes from $src and $copy:" && cat "$first/SHA256SUMS"
    exit 0
fi
python3 - "$a" "$b" <<'EOF'
import sys, zipfile
def entries(path):
    with zipfile.ZipFile(path) as z:
        return {i.filename: {"CRC-32": i.CRC, "size": i.file_size, "date": i.date_time,
                             "mode": oct(i.external_attr >> 16), "extra field": i.extra} for i in z.infolist()}
a, b = entries(sys.argv[1]), entries(sys.argv[2])
named = [name for name in sorted(a.keys() | b.keys()) if a.get(name) != b.get(name)]
for name in named:
    x, y = a.get(name, {}), b.get(name, {})
    print(f"differs: {name}:", ", ".join(f"{k} {x.get(k)} / {y.get(k)}" for k in x | y if x.get(k) != y.get(k)))
print(f"{sys.argv[1]} and {sys.argv[2]} differ" + ("" if named else " in the order or layout of equal entries"))
EOF
exit 1
