#!/usr/bin/env bash
# The demonstration: builds everything, plays three stations in a lab and runs the utility
# against them, on the user's display or headless with a screenshot per stage. Needs root.
# Installs what is missing through scripts/setup.sh.

# Usage: scripts/demo.sh [--headless]; DEMO_NATIVE_BUILD, DEMO_BUILD_WIN and
# DEMO_BUILD_WIN64 move the build folders, DEMO_LAB names the lab.
set -u

REPO_DIR=$(cd "$(dirname "$0")/.." && pwd)
LAB=${DEMO_LAB:-demo}
NATIVE_BUILD=${DEMO_NATIVE_BUILD:-$REPO_DIR/build/native}
BUILD_WIN=${DEMO_BUILD_WIN:-$REPO_DIR/build/windows}
PASSWORD=demo
HEADLESS=0
[ "${1:-}" = --headless ] && HEADLESS=1

say() { printf '\n== %s\n' "$*"; }
die() { printf 'demo: %s\n' "$*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || die "run as root: the stations live in network namespaces"

# --- Tools and builds.
if [ -x "$REPO_DIR/scripts/setup.sh" ]; then
    say "Installing what is missing"
    "$REPO_DIR/scripts/setup.sh" || die "setup failed"
fi
say "Building the native tools (station simulator, stand-in firmware image)"
cmake -S "$REPO_DIR" -B "$NATIVE_BUILD" -G Ninja >/dev/null || die "native configure failed"
cmake --build "$NATIVE_BUILD" -j2 --target station-sim firmware_image || die "native build failed"
say "Building the Windows program"
cmake -S "$REPO_DIR" -B "$BUILD_WIN" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$REPO_DIR/cmake/mingw-i686.cmake" >/dev/null ||
    die "Windows configure failed"
cmake --build "$BUILD_WIN" -j2 || die "Windows build failed"
# shellcheck source=../tests/wine/wine_env.sh
source "$REPO_DIR/tests/wine/wine_env.sh"
if ! wine_env_can_run_i386; then
    say "This kernel cannot run 32-bit programs: building the 64-bit variant to run under wine64"
    BUILD_WIN=${DEMO_BUILD_WIN64:-$REPO_DIR/build/windows64}
    cmake -S "$REPO_DIR" -B "$BUILD_WIN" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$REPO_DIR/cmake/mingw-x86_64.cmake" \
        >/dev/null || die "64-bit Windows configure failed"
    cmake --build "$BUILD_WIN" -j2 || die "64-bit Windows build failed"
fi
EXE=$BUILD_WIN/kvz3170-update.exe
UIAUTO=$BUILD_WIN/uiauto.exe
SIM=$NATIVE_BUILD/tools/station-sim/station-sim
for f in "$EXE" "$UIAUTO" "$SIM"; do [ -e "$f" ] || die "missing $f"; done

# --- Everything started from here is undone on exit, also on Ctrl-C: the simulator
# here, wine, the display and the lab in wine_env_stop.
SIM_PID=
wine_env_on_exit() {
    if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null; fi
    SIM_PID=
}
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    wine_env_stop >/dev/null 2>&1
    wine_env_on_exit
    echo "demo: lab $LAB removed, everything stopped"
    exit "$status"
}

# Is DISPLAY an X server that answers from inside a namespace (a local socket)?
display_usable() {
    [ -n "${DISPLAY:-}" ] || return 1
    local n=${DISPLAY#*:}
    n=${n%%.*}
    [ "${DISPLAY%%:*}" = "" ] || [ "${DISPLAY%%:*}" = unix ] || return 1
    [ -S "/tmp/.X11-unix/X$n" ] || return 1
    command -v xdpyinfo >/dev/null 2>&1 && { xdpyinfo >/dev/null 2>&1 || return 1; }
    return 0
}
if [ "$HEADLESS" = 0 ] && ! display_usable; then
    [ -n "${DISPLAY:-}" ] && echo "demo: DISPLAY=$DISPLAY is not a local X server usable from the lab; running headless"
    HEADLESS=1
fi

# --- The lab: this PC at 192.0.2.1, three stations on one station host, and wine.
say "Starting the lab '$LAB', wine and three simulated stations"
OUT=$(mktemp -d -t kvz3170-demo.XXXXXX)
wine_env_start "$LAB" 1 "$EXE" >"$OUT/wine.log" 2>&1 || die "lab or wine did not start (see $OUT/wine.log)"
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
ip -n "$LAB-st1" addr add 192.0.2.12/24 dev eth0
ip -n "$LAB-st1" addr add 192.0.2.13/24 dev eth0
"$REPO_DIR/scripts/lab.sh" exec "$LAB" st1 "$SIM" \
    --station "ap-east,ip=192.0.2.11,product=LuminaGate East (KVZ-3170),identity=KVZ-3170 2.02,password=$PASSWORD,delay=800" \
    --station "ap-west,ip=192.0.2.12,product=LuminaGate West (KVZ-3170),identity=KVZ-3170 2.01,password=$PASSWORD,delay=800" \
    --station "ap-lobby,ip=192.0.2.13,product=LuminaGate Lobby (KVZ-2100),identity=KVZ-2100 1.10,model=41" \
    2>"$OUT/stations.log" &
SIM_PID=$!
for _ in $(seq 50); do grep -q ' ready: ' "$OUT/stations.log" 2>/dev/null && break; sleep 0.1; done
grep -q ' ready: ' "$OUT/stations.log" || die "station simulator did not start: $(cat "$OUT/stations.log")"
echo "stations: ap-east 192.0.2.11 (KVZ-3170 2.02), ap-west 192.0.2.12 (KVZ-3170 2.01), ap-lobby 192.0.2.13 (KVZ-2100, not eligible)"
echo "administrator password of the KVZ-3170 stations: $PASSWORD; station log: $OUT/stations.log"

if [ "$HEADLESS" = 0 ]; then
    say "Running the utility on $DISPLAY; exit it to end the demo"
    WINE_ENV_DISPLAY=$DISPLAY
    wine_pc "$EXE"
    exit 0
fi

# --- Headless: drive one full update and keep a screenshot of every stage.
SHOTS=$OUT/screenshots
mkdir -p "$SHOTS"
ui() { wine_pc "$UIAUTO" "$@" 2>>"$OUT/uiauto.err" | stdbuf -oL tr -d '\r'; }
text() { python3 "$REPO_DIR/tests/e2e/texts.py" text "$@"; }
shot_number=0
shot() {
    shot_number=$((shot_number + 1))
    local file
    file=$SHOTS/$(printf '%02d' "$shot_number")-$1.png
    wine_env_screenshot "$file" 2>/dev/null && echo "   [screenshot $(basename "$file")]"
}
# Prints each status text as it appears and takes a screenshot of it.
show_statuses() {
    local block= line
    while IFS= read -r line; do
        line=${line%$'\r'}
        if [ "$line" = "----" ]; then
            printf '%s\n' "$block" | sed 's/^/   | /'
            shot "text$(python3 "$REPO_DIR/tests/e2e/texts.py" id "$block" || echo "$2")"
            block=
        else
            block=${block:+$block$'\n'}$line
        fi
    done < <(ui watch-status "$(text "$1" | head -n1)" "$3")
}

say "Starting the utility (headless, Xvfb display $WINE_ENV_DISPLAY)"
wine_pc_background "$EXE" >"$OUT/utility.log" 2>&1
ui wait-dialog 60 >/dev/null || die "the main dialog did not appear"
say "Searching"
show_statuses 3:2 search 40
ui wait-list 2 5 >/dev/null
echo "   listed:"
ui list | sed 's/^/     - /'
say "Selecting the first station"
ui select 0 >/dev/null
sleep 0.5
ui status | sed 's/^/   | /'
shot details
say "Typing the password and pressing execute"
ui password "$PASSWORD" >/dev/null
ui click 1 >/dev/null
sleep 1.5
shot question
ui answer yes 10 | sed 's/^/   ? /'
say "Updating"
show_statuses 27 update 150
ui status | grep -qF "$(text 27)" || die "the update did not end with text 27"
grep -E 'upload ended|running again' "$OUT/stations.log" | sed 's/^/   station: /'
say "Done: the station was updated"
echo "screenshots: $SHOTS"
echo "station log: $OUT/stations.log"
ui close >/dev/null
sleep 1
