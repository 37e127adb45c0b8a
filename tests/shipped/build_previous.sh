#!/usr/bin/env bash
# Builds the package of the commit before this one from that commit's own
# sources, as its release was built, into WORK_DIR/spelvane-<version>-win32.msi:
# the build the package test upgrades from. A copy without that commit (an
# exported tarball, a clone of one commit) builds nothing and says so; the
# package test then packs this tree's programs as the version before.
#
#   build_previous.sh SOURCE_DIR WORK_DIR
set -u
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work/src"
if ! count=$(git -C "$src" rev-list --count 'HEAD~1' 2>/dev/null); then
    echo "build_previous: $src holds no commit before its own: nothing built"
    exit 0
fi
echo "build_previous: $(git -C "$src" log -1 --format='%h %s' 'HEAD~1'), version number $count"
git -C "$src" archive 'HEAD~1' | tar -x -C "$work/src" || exit 1
# Its own history is not in the copy: the commit's count gives its version,
# the commit's time the packages' dates.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 'HEAD~1') || exit 1
if ! cmake -S "$work/src" -B "$work/build" -DSPELVANE_RELEASE=ON -DSPELVANE_BUILD_NUMBER="$count" \
        -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/toolchain-i686-w64-mingw32-release.cmake" >"$work/build.log" 2>&1 ||
    ! cmake --build "$work/build" --target dist -j "$(nproc)" >>"$work/build.log" 2>&1; then
    tail -n 30 "$work/build.log"
    echo "build_previous: the commit before does not build"
    exit 1
fi
cp "$work"/build/spelvane-*-win32.msi "$work/" && ls "$work"/spelvane-*-win32.msi
