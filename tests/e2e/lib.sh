# Shared steps of the end-to-end scenarios: a lab of network namespaces, the station
# simulator, the utility under wine driven by uiauto, and checks of the status texts
# and of the simulator's log. Sourced by each scenario; needs root, iproute2, wine, Xvfb.

# A scenario script is run as  SCENARIO BUILD_WIN_DIR NATIVE_BUILD_DIR  with
# E2E_LAB (lab name, short) and E2E_OUT (folder for its logs) optionally set.

set -u

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(cd "$E2E_DIR/../.." && pwd)
LAB_SH=$REPO_DIR/scripts/lab.sh

E2E_NAME=$(basename "$0" .sh)
BUILD_WIN=$(cd "${1:?usage: $0 BUILD_WIN_DIR NATIVE_BUILD_DIR}" && pwd)
NATIVE_BUILD=$(cd "${2:?usage: $0 BUILD_WIN_DIR NATIVE_BUILD_DIR}" && pwd)
LAB=${E2E_LAB:-e2e$$}
OUT=${E2E_OUT:-$(mktemp -d -t "$E2E_NAME.XXXXXX")}
mkdir -p "$OUT"

EXE=$BUILD_WIN/kvz3170-update.exe
UIAUTO=$BUILD_WIN/uiauto.exe
SIM=$NATIVE_BUILD/tools/station-sim/station-sim
FIRMWARE=$NATIVE_BUILD/generated/firmware.bin
[ -f "$FIRMWARE" ] || FIRMWARE=$BUILD_WIN/generated/firmware.bin

E2E_SIM_PIDS=()
E2E_FAILED=0
E2E_STARTED=$(date +%s)

# shellcheck source=../wine/wine_env.sh
source "$REPO_DIR/tests/wine/wine_env.sh"

log() { printf '[%s %s] %s\n' "$E2E_NAME" "$(date +%T)" "$*"; }

fail() {
    log "FAIL: $*"
    E2E_FAILED=1
    exit 1
}

# Called by wine_env_stop before it ends wine, the display and the lab.
wine_env_on_exit() {
    local pid
    for pid in "${E2E_SIM_PIDS[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    E2E_SIM_PIDS=()
}

e2e_on_exit() {
    local status=$?
    trap - EXIT INT TERM
    [ "$status" -ne 0 ] && E2E_FAILED=1
    wine_env_stop >>"$OUT/wine.log" 2>&1
    wine_env_on_exit
    local took=$(( $(date +%s) - E2E_STARTED ))
    if [ "$E2E_FAILED" = 0 ]; then
        log "PASS (${took}s)"
        exit 0
    fi
    log "FAIL (${took}s), logs in $OUT"
    exit 1
}

e2e_traps() {
    trap e2e_on_exit EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
e2e_traps

e2e_require() {
    local f
    for f in "$EXE" "$UIAUTO" "$SIM" "$FIRMWARE" "$LAB_SH"; do
        [ -e "$f" ] || fail "missing $f"
    done
    [ "$(id -u)" = 0 ] || fail "needs root (network namespaces)"
}

# --- The lab and wine: e2e_lab_up STATIONS; station hosts are st1, st2, ...
e2e_lab_up() {
    e2e_require
    wine_env_start "$LAB" "${1:-1}" "$EXE" >>"$OUT/wine.log" 2>&1 ||
        fail "lab and wine did not start (see $OUT/wine.log)"
    e2e_traps  # wine_env_start installed its own; ours calls wine_env_stop
    log "lab $LAB up, prefix booted in ${WINE_ENV_BOOT_SECONDS}s, display $WINE_ENV_DISPLAY"
}

# e2e_add_address HOST ADDRESS: one more station address on that host's interface.
e2e_add_address() {
    ip -n "$LAB-$1" addr add "$2/24" dev eth0 || fail "cannot add $2 to $LAB-$1"
}

# e2e_sim HOST ARGS...: starts station-sim on HOST, waits until its sockets are bound.
# Its log is $OUT/sim-HOST.log.
e2e_sim() {
    local host=$1
    shift
    local logfile=$OUT/sim-$host.log
    "$LAB_SH" exec "$LAB" "$host" "$SIM" "$@" 2>"$logfile" &
    local pid=$!
    E2E_SIM_PIDS+=("$pid")
    eval "SIM_PID_$host=$pid"
    local i
    for i in $(seq 50); do
        grep -q ' ready: ' "$logfile" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || fail "station-sim on $host ended: $(cat "$logfile")"
        sleep 0.1
    done
    fail "station-sim on $host not ready"
}

# e2e_stop_sim HOST: the station is switched off.
e2e_stop_sim() {
    local var=SIM_PID_$1
    local pid=${!var}
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    log "station-sim on $1 stopped"
}

# --- The utility under wine in the lab's pc namespace.
e2e_utility_start() {
    wine_pc_background "$EXE" >>"$OUT/utility.log" 2>&1
    ui wait-dialog 60 >/dev/null || fail "main dialog did not appear"
}

# ui COMMAND ARGS...: one uiauto call; its output without CRs.
ui() {
    wine_pc "$UIAUTO" "$@" 2>>"$OUT/uiauto.err" | stdbuf -oL tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# text ID [ARG...] or text ID:ARG;ARG: a text of the utility, formatted; an
# argument @N stands for text N.
text() { python3 "$E2E_DIR/texts.py" text "$@"; }

# watch_start FILE UNTIL_TEXT SECONDS: records every status text in the background
# until the one given (ID[:ARGS], as texts.py takes it) appears.
watch_start() {
    # The first line is enough to recognise the text; the checks compare whole texts.
    ui watch-status "$(text "$2" | head -n1)" "$3" >"$1" &
    WATCH_PID=$!
    # Going on only once it has shown the current text, so that nothing is missed.
    local i
    for i in $(seq 150); do
        grep -qx -- '----' "$1" 2>/dev/null && return 0
        kill -0 "$WATCH_PID" 2>/dev/null || return 0
        sleep 0.1
    done
    fail "watch-status printed nothing in 15 s"
}

watch_wait() {
    wait "$WATCH_PID" || log "watch-status ended with status $?"
}

# expect_sequence FILE TEXT...: the texts appeared in this order; expect_last FILE TEXT.
expect_sequence() { python3 "$E2E_DIR/texts.py" sequence "$@" || fail "status sequence in $1"; }
expect_last() { python3 "$E2E_DIR/texts.py" last "$@" || fail "final status in $1"; }

# expect_status TEXT: the status pane shows exactly this text now (TEXT as "text" takes it).
expect_status() {
    local want got
    want=$(text "$1")
    got=$(ui status)
    [ "$got" = "$want" ] || fail "status is '$got', expected '$want'"
}

# wait_status TEXT SECONDS: until the status pane contains the text.
wait_status() {
    local want
    want=$(text "$1" | head -n1)
    ui wait-status "$want" "$2" >/dev/null || fail "status did not become text $1 within $2 s (now: $(ui status))"
}

# --- The simulator's log.
expect_log() { grep -qE -- "$2" "$OUT/sim-$1.log" || fail "station log of $1 lacks /$2/"; }
refute_log() { ! grep -qE -- "$2" "$OUT/sim-$1.log" || fail "station log of $1 has /$2/: $(grep -E -- "$2" "$OUT/sim-$1.log" | head -3)"; }

# expect_image_received HOST: the station got the build's firmware byte for byte.
expect_image_received() {
    local want
    want=$(sha256sum "$FIRMWARE" | cut -d' ' -f1)
    expect_log "$1" "upload ended: received [0-9]+ of [0-9]+ bytes, length ok, crc ok, sha256 $want"
}

# The common opening: the search lists COUNT stations, and line 0 is selected.
# Leaves the status file of the search in $OUT/search.txt.
e2e_search_and_select() {
    local count=$1
    watch_start "$OUT/search.txt" "3:$count" 40
    watch_wait
    expect_sequence "$OUT/search.txt" 4 "3:$count"
    ui wait-list "$count" 5 >/dev/null || fail "list does not have $count lines: $(ui list)"
    ui select 0 >/dev/null || fail "select failed"
}

# e2e_update PASSWORD: types the password, presses execute and answers Yes.
e2e_update() {
    ui password "$1" >/dev/null || fail "password failed"
    ui click 1 >/dev/null || fail "click execute failed"
    ui answer yes 10 >"$OUT/question.txt" || fail "no question box"
    grep -qF "$(text 30 2.03 | head -1)" "$OUT/question.txt" || fail "question text: $(cat "$OUT/question.txt")"
}

# expect_idle: the procedure is over: execute and exit usable, the search button
# reads "search again" again.
expect_idle() {
    local state
    state=$(ui state)
    echo "$state" >"$OUT/state.txt"
    grep -qx 'enabled.1=1' <<<"$state" || fail "execute button not enabled: $state"
    grep -qx 'enabled.2=1' <<<"$state" || fail "exit button not enabled: $state"
    grep -qxF "search_label=$(text 2)" <<<"$state" || fail "search button label: $state"
}
