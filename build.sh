#!/usr/bin/env bash
# Developer entry point.
#   ./build.sh run      build the 32-bit program and open it against the simulated reader
#   ./build.sh test     build everything and run every test (native, Windows under Wine)
#   ./build.sh release  build what ships and pack it into dist/spelvane-<version>-win32.zip
# Each installs what is missing (Debian 12, as root).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=${SPELVANE_BUILD_DIR:-$ROOT/build}
JOBS=${SPELVANE_JOBS:-$(nproc)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$BUILD/wineprefix}
# A 32-bit prefix, as on Windows 2000 and XP, even where 64-bit Wine is installed too.
export WINEARCH=${WINEARCH:-win32}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# The win32 thread model's compiler builds what ships (python3 packs it,
# wixl and msitools make the Windows Installer package, osslsigncode signs
# when a certificate is given), the posix one the tests.
RELEASE_PACKAGES=(cmake make g++-mingw-w64-i686-win32 python3 wixl msitools osslsigncode)
# wine64 beside wine32: the package test runs in a 64-bit prefix too.
PACKAGES=("${RELEASE_PACKAGES[@]}" g++ googletest g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb
          xauth x11-utils xdotool xxd imagemagick clang libclang-rt-14-dev openssl)

log() { printf '\n==> %s\n' "$*"; }

# apt-get's output of the last update and install, for the reasons given.
APT_LOG=${TMPDIR:-/tmp}/spelvane-apt.$$
APT_UPDATE_TRIES=${SPELVANE_APT_UPDATE_TRIES:-3}
APT_RETRY_SECONDS=${SPELVANE_APT_RETRY_SECONDS:-20}

# The index files an update could not fetch, one URL a line.
failed_lists() {
    sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$APT_LOG.update" | sort -u
}

# A mirror being synchronised answers some index with a file of the wrong
# size for a while: try again, then go on with the lists that did arrive.
update_package_lists() {
    local try
    for ((try = 1; ; try++)); do
        apt-get update -qq >"$APT_LOG.update" 2>&1 && return 0
        [ "$try" -ge "$APT_UPDATE_TRIES" ] && break
        echo "apt-get update failed (try $try of $APT_UPDATE_TRIES); again in $((APT_RETRY_SECONDS * try)) s" >&2
        sleep $((APT_RETRY_SECONDS * try))
    done
    echo "apt-get update failed $APT_UPDATE_TRIES times; going on with the lists that arrived. Not fetched:" >&2
    failed_lists | sed 's/^/    /' >&2
    if ! failed_lists | grep . >/dev/null; then sed 's/^/    /' "$APT_LOG.update" >&2; fi
}

apt_install() {  # apt-get options..., then packages
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >"$APT_LOG.install" 2>&1
}

# Why apt-get could not install: the packages it names, and the likely cause.
explain_install_failure() {  # packages asked for...
    local named
    named=$(grep -oE "^ [^ ]+ : Depends|Unable to locate package [^ ]+|Package '[^']+' has no installation candidate" \
        "$APT_LOG.install" | sed -E "s/^ ([^ ]+) : Depends/\1/; s/.* package //; s/^Package '([^']+)'.*/\1/" |
        sort -u | paste -sd ' ')
    echo "cannot install ${named:-$*}" >&2
    sed 's/^/    /' "$APT_LOG.install" >&2
    if grep -qE 'Unable to locate|no installation candidate' "$APT_LOG.install"; then
        echo "likely cause: no package list that arrived has it$(failed_lists | grep . >/dev/null &&
            echo ' (the lists above were not fetched: try again later)')" >&2
    elif grep -q 'Depends:' "$APT_LOG.install"; then
        echo "likely cause: the versions a package needs are not in the lists that arrived, or its i386 and" \
             "amd64 versions differ (one architecture's list newer than the other's, as while a mirror is" \
             "being synchronised): try again later" >&2
    else
        echo "likely cause: see apt-get's output above" >&2
    fi
}

# Whether package is installed and configured: dpkg -s also answers for a
# package removed with its configuration files kept, or left half installed.
package_installed() {  # package
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

install_packages() {  # packages...
    local missing=()
    for package in "$@"; do
        package_installed "$package" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages (${missing[*]}); run as root to install them" >&2
        exit 1
    fi
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    update_package_lists
    local status=0
    install_missing "${missing[@]}" || status=1
    rm -f "$APT_LOG".*
    [ $status -eq 0 ] || exit 1
}

install_missing() {  # packages...
    apt_install "$@" && return 0
    # Where the security list of one architecture did not arrive, the other's
    # security versions would need partners it cannot see (wine32:i386 beside
    # amd64 wine from security): the install takes both architectures from
    # the main lists instead.
    if failed_lists | grep -- -security >/dev/null; then
        local preferences=$APT_LOG.preferences
        printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$preferences"
        echo "the security lists did not all arrive: installing with the security updates pinned low" \
             "(priority 100), so both architectures take the same versions" >&2
        apt_install -o Dir::Etc::Preferences="$preferences" "$@" && return 0
    fi
    explain_install_failure "$@"
    return 1
}

configure_and_build() {  # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

build_native() {
    log "native build (AddressSanitizer + UndefinedBehaviorSanitizer)"
    configure_and_build "$BUILD/native" -DSPELVANE_SANITIZE=ON
}

build_tsan() {
    log "native build (ThreadSanitizer)"
    configure_and_build "$BUILD/tsan" -DSPELVANE_TSAN=ON
}

build_release() {
    log "32-bit Windows release (what ships)"
    configure_and_build "$BUILD/release" -DSPELVANE_RELEASE=ON \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686-w64-mingw32-release.cmake"
}

win32_configure() {
    # The tests' tree builds the release tree too (tests/shipped), here the
    # same one that build_release makes.
    cmake -S "$ROOT" -B "$BUILD/win32" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DSPELVANE_RELEASE_DIR="$BUILD/release" >/dev/null
}

build_win32() {
    log "32-bit Windows build (tests, and the release they drive)"
    win32_configure
    cmake --build "$BUILD/win32" -j "$JOBS"
}

prepare_wine() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        # Without a window manager (Xvfb) Wine draws the title bars itself.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
        wineserver -w || true
    fi
}

with_display() {  # runs "$@" with an X display, starting Xvfb when there is none
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        "$@"
    else
        xvfb-run -a -s "-screen 0 1024x768x24" "$@"
    fi
}

run_tests() {
    local status=0
    build_native
    log "native tests"
    ctest --test-dir "$BUILD/native" --output-on-failure || status=1

    build_win32
    prepare_wine
    log "Windows tests under Wine"
    with_display ctest --test-dir "$BUILD/win32" --output-on-failure || status=1

    build_tsan
    log "ThreadSanitizer tests"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest --test-dir "$BUILD/tsan" --output-on-failure || status=1

    if [ -x "$ROOT/tests/fuzz/run.sh" ]; then
        log "fuzzing (bounded)"
        "$ROOT/tests/fuzz/run.sh" "${SPELVANE_FUZZ_SECONDS:-60}" || status=1
    fi

    if [ $status -eq 0 ]; then log "all test suites passed"; else log "some test suites FAILED"; fi
    return $status
}

run_program() {
    build_release
    prepare_wine
    local bin="$BUILD/release/ship" work="$BUILD/run"
    mkdir -p "$work"
    # The simulated reader keeps its device memory in this folder between runs.
    if [ ! -f "$work/qzsim.conf" ]; then
        cp "$ROOT/sim/qzsim.conf" "$work/qzsim.conf"
    fi
    export QZSIM_CONFIG="$work/qzsim.conf"
    cd "$work"
    if [ ! -f "$bin/spelvane.exe" ]; then
        log "the dialog program is not built yet; reading the device with the console companion"
        wine "$bin/spelvane-cli.exe"
        return
    fi
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        log "starting Spelvane on $DISPLAY (backups land in $work)"
        wine "$bin/spelvane.exe"
    else
        log "no display: starting Spelvane inside Xvfb"
        # The test driver closes the dialog after the picture.
        win32_configure
        cmake --build "$BUILD/win32" --target spelvane-driver -j "$JOBS" >/dev/null
        xvfb-run -a -s "-screen 0 1024x768x24" bash "$ROOT/cmake/screenshot.sh" "$bin/spelvane.exe" \
            "$BUILD/spelvane.png" "$BUILD/win32/bin/spelvane-driver.exe"
        log "screenshot of the dialog: $BUILD/spelvane.png"
    fi
}

make_release() {
    build_release
    log "packing the release"
    cmake --build "$BUILD/release" --target dist
    local zip msi
    zip=$(basename "$(ls -t "$BUILD"/release/spelvane-*-win32.zip | head -n 1)")
    msi=${zip%.zip}.msi
    mkdir -p "$ROOT/dist"
    cp "$BUILD/release/$zip" "$BUILD/release/$msi" "$BUILD/release/SHA256SUMS" "$ROOT/dist/"
    cmake -E tar tvf "$ROOT/dist/$zip"
    log "the zip: dist/$zip ($(stat -c %s "$ROOT/dist/$zip") bytes), the Windows Installer package:" \
        "dist/$msi ($(stat -c %s "$ROOT/dist/$msi") bytes), their SHA-256 in dist/SHA256SUMS"
    cat "$ROOT/dist/SHA256SUMS"
}

# Sourced (tests/setup), it only defines the functions.
[[ ${BASH_SOURCE[0]} != "$0" ]] && return 0
case "${1:-}" in
    run) install_packages "${PACKAGES[@]}"; run_program ;;
    test) install_packages "${PACKAGES[@]}"; run_tests ;;
    release) install_packages "${RELEASE_PACKAGES[@]}"; make_release ;;
    *) echo "usage: $0 run|test|release" >&2; exit 2 ;;
esac
