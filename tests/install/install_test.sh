#!/usr/bin/env bash
# The installed program. "prefix": `cmake --install` into a clean prefix puts every file in its
# place; the installed program, started offscreen, writes host manifests pointing into the prefix
# and takes an address given to a second start; the desktop entry and the metainfo pass their
# validators. "package": the Debian package of scripts/package.sh has its Depends, installs into
# /usr and removes without leaving a file (needs root).
# Exit 77 is a skip; with QV_REQUIRE_ALL=1 a missing tool fails instead.
set -euo pipefail
build=$(cd "$1" && pwd)
mode=$2
id=org.example.Quorvanta
work=$(mktemp -d)
pid=""
installed=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    if [ -n "$installed" ]; then dpkg --purge quorvanta >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() {
    echo "SKIP: $*"
    if [ "${QV_REQUIRE_ALL:-0}" = 1 ]; then fail "QV_REQUIRE_ALL=1 and $*"; fi
    exit 77
}
need() { for t in "$@"; do command -v "$t" >/dev/null || skip "$t is not installed"; done; }
# Waits up to $1 seconds for the command after it to succeed.
waitfor() {
    local n=$(($1 * 10))
    shift
    while ((n-- > 0)); do "$@" && return 0; sleep 0.1; done
    return 1
}

if [ "$mode" = prefix ]; then
    need desktop-file-validate appstreamcli gcc
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
        cat "$work/install.log"
        fail "cmake --install"
    }
    # path | what it must be (x: executable, f: file, d: folder) | where a link must lead
    while IFS='|' read -r path kind target; do
        p=$prefix/$path
        case $kind in
            x) [ -x "$p" ] && [ -f "$p" ] || fail "$path is not an executable" ;;
            f) [ -f "$p" ] || fail "$path is missing" ;;
            d) [ -d "$p" ] || fail "$path is not a folder" ;;
        esac
        if [ -n "$target" ]; then
            [ -L "$p" ] && [ "$(readlink "$p")" = "$target" ] || fail "$path does not lead to $target"
        fi
    done <<TABLE
bin/quorvanta|x|../lib/quorvanta/quorvanta
bin/quorvanta-get|x|
lib/quorvanta/quorvanta|x|
lib/quorvanta/quorvanta-host|x|
lib/quorvanta/libquorvanta.so|f|
lib/libquorvanta.so|f|quorvanta/libquorvanta.so
include/quorvanta.h|f|
share/quorvanta/help.htm|f|
lib/quorvanta/help.htm|f|../../share/quorvanta/help.htm
lib/quorvanta/ruffle|d|../../share/quorvanta/ruffle
lib/quorvanta/ruffle/package.json|f|
lib/quorvanta/extension|d|../../share/quorvanta/extension
lib/quorvanta/extension/manifest.json|f|
lib/quorvanta/extension/background.js|f|
share/applications/$id.desktop|f|
share/metainfo/$id.metainfo.xml|f|
share/icons/hicolor/scalable/apps/$id.svg|f|
share/icons/hicolor/256x256/apps/$id.png|f|
TABLE
    size=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' \
        "$prefix/share/icons/hicolor/256x256/apps/$id.png")
    [ "$size" = 256x256 ] || fail "the 256 px icon is $size"
    # The host finds the library beside it; the header and -lquorvanta work from the prefix.
    ! ldd "$prefix/lib/quorvanta/quorvanta-host" | grep -q "not found" || fail "the host misses a library"
    printf '#include <quorvanta.h>\nint main(void) { return quorvanta_last_error()[0]; }\n' >"$work/c.c"
    gcc -o "$work/c" "$work/c.c" -I"$prefix/include" -L"$prefix/lib" -lquorvanta ||
        fail "a C program does not build against the installed header and library"

    # The installed program, started from bin/, writes the manifests for the host in the prefix.
    export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
    export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    [ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
    "$prefix/bin/quorvanta" >"$work/program.log" 2>&1 &
    pid=$!
    host=$(realpath "$prefix/lib/quorvanta/quorvanta-host")
    manifests=("$XDG_CONFIG_HOME/chromium/NativeMessagingHosts/quorvanta.json"
               "$XDG_CONFIG_HOME/google-chrome/NativeMessagingHosts/quorvanta.json"
               "$HOME/.mozilla/native-messaging-hosts/quorvanta.json")
    waitfor 60 test -f "${manifests[2]}" || { cat "$work/program.log"; fail "no manifests written"; }
    for m in "${manifests[@]}"; do
        path=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["path"])' "$m")
        [ "$path" = "$host" ] || fail "$m points at $path, not at $host"
    done
    # A second start with an address hands it to the first one, which keeps it in its queue file
    # until the new-job dialog is answered.
    url=http://127.0.0.1:9/installed/a.swf
    timeout 20 "$prefix/bin/quorvanta" "$url" || fail "the second start did not hand over $url"
    waitfor 10 grep -qaF "$url" "$XDG_DATA_HOME/quorvanta/handoff.qvq" ||
        fail "the running program did not take $url"
    kill "$pid"
    wait "$pid" || true
    pid=""

    desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
    appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
    grep -qx 'Categories=Network;FileTransfer;Qt;' "$prefix/share/applications/$id.desktop" ||
        fail "the desktop entry is not in the Network category"
    ! grep -q 'x-scheme-handler' "$prefix/share/applications/$id.desktop" ||
        fail "the desktop entry claims web links"
    echo "PASS"
    exit 0
fi

[ "$mode" = package ] || fail "unknown mode $mode"
need cpack dpkg-deb dpkg-shlibdeps
cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack"
}
deb=$(ls "$work"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in libqt6widgets6 libqt6webenginewidgets6 libc6 qt6-qpa-plugins; do
    grep -q "$d" <<<"$depends" || fail "Depends lacks $d"
done
contents=$(dpkg-deb -c "$deb")
grep -q '/usr/bin/quorvanta -> ../lib/quorvanta/quorvanta' <<<"$contents" ||
    fail "the package lacks /usr/bin/quorvanta"
[ "$(id -u)" = 0 ] || { echo "SKIP: installing the package needs root"; exit 77; }
if [ -n "$(dpkg-query -W -f='${Status}' quorvanta 2>/dev/null)" ]; then
    echo "SKIP: dpkg knows a quorvanta package already"
    exit 77
fi
# Other dpkg runs on the machine may hold its lock for a while.
dpkg_retry() { waitfor 120 dpkg "$@" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg $*"; }; }
installed=1
dpkg_retry -i "$deb"
files=$(dpkg -L quorvanta)
for f in /usr/bin/quorvanta /usr/lib/quorvanta/quorvanta-host /usr/lib/quorvanta/ruffle \
         /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml; do
    [ -e "$f" ] || fail "$f is missing after dpkg -i"
done
! ldd /usr/lib/quorvanta/quorvanta-host /usr/lib/quorvanta/quorvanta | grep -q "not found" ||
    fail "an installed program misses a library"
dpkg_retry -r quorvanta
installed=""
left=""
while read -r f; do
    if [ -f "$f" ] || [ -L "$f" ]; then left+=" $f"; fi
done <<<"$files"
[ -z "$left" ] || fail "left after dpkg -r:$left"
[ ! -e /usr/lib/quorvanta ] || fail "/usr/lib/quorvanta is left after dpkg -r"
# Nothing of it stays in dpkg's records either.
dpkg_retry --purge quorvanta
[ -z "$(dpkg-query -W -f='${Status}' quorvanta 2>/dev/null)" ] || fail "dpkg still knows quorvanta"
echo "PASS"
