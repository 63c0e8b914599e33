#!/usr/bin/env bash
# Smoke test of the Windows program under wine, on a lab segment without any station:
# the first search runs and finds nothing, the dialog becomes usable, a second copy is
# refused; once per locale. Needs root (namespaces), wine, Xvfb, ImageMagick.
#
#   tests/wine/smoke.sh BUILD_DIR [ARTIFACT_DIR]
# BUILD_DIR holds kvz3170-update.exe and uiauto.exe. Screenshots go to ARTIFACT_DIR, or
# $SMOKE_ARTIFACT_DIR, or BUILD_DIR/test-artifacts.
set -uo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] && [ $# -le 2 ] || { sed -n '6,8p' "$0" | sed 's/^# *//' >&2; exit 2; }
BUILD_DIR=$(cd "$1" && pwd) || exit 2
ARTIFACT_DIR=${2:-${SMOKE_ARTIFACT_DIR:-$BUILD_DIR/test-artifacts}}
PROGRAM=$BUILD_DIR/kvz3170-update.exe
UIAUTO=$BUILD_DIR/uiauto.exe
for file in "$PROGRAM" "$UIAUTO"; do
    [ -f "$file" ] || { echo "smoke: $file is missing" >&2; exit 2; }
done

# shellcheck source=wine_env.sh
source "$HERE/wine_env.sh"

TEXT_SEARCHING="ネットワーク上のルミナゲートを検索しています。"
TEXT_NONE_FOUND="ルミナゲートは検出されませんでした。"
LABEL_SEARCH_AGAIN="再検索(&R)"
LABEL_CANCEL="キャンセル"
# Every control, in template order.
CONTROL_IDS="1013 1008 1018 1014 1010 1002 1 1009 2"
# Disabled while the search runs; the status pane, progress bar and search button never are.
BUSY_DISABLED="1013 1008 1014 1010 1 2"

PASSED=0
FAILED=0
CASE=

check() {
    local what=$1
    shift
    if "$@"; then
        PASSED=$((PASSED + 1))
        echo "ok    [$CASE] $what"
    else
        FAILED=$((FAILED + 1))
        echo "FAIL  [$CASE] $what" >&2
    fi
}

uiauto() { wine_pc "$UIAUTO" "$@"; }

# state lines of uiauto, e.g. "enabled.1=0"
has_line() { grep -qxF -- "$2" <<<"$1"; }

state_is_busy() {
    local state id
    state=$(uiauto state) || return 1
    has_line "$state" "search_label=$LABEL_CANCEL" || { echo "$state" >&2; return 1; }
    for id in $BUSY_DISABLED; do
        has_line "$state" "enabled.$id=0" || { echo "$state" >&2; return 1; }
    done
    has_line "$state" "enabled.1009=1" && has_line "$state" "enabled.1018=1"
}

state_is_idle_and_empty() {
    local state id
    state=$(uiauto state) || return 1
    for id in $CONTROL_IDS; do
        has_line "$state" "enabled.$id=1" || { echo "$state" >&2; return 1; }
    done
    has_line "$state" "search_label=$LABEL_SEARCH_AGAIN" && has_line "$state" "list_count=0" ||
        { echo "$state" >&2; return 1; }
}

status_is() { [ "$(uiauto status)" = "$1" ]; }

# The elapsed seconds since $1 (date +%s.%N) lie within [$2, $3].
elapsed_between() {
    awk -v start="$1" -v now="$(date +%s.%N)" -v low="$2" -v high="$3" \
        'BEGIN { t = now - start; printf "  search ended after %.1fs\n", t; exit !(t >= low && t <= high) }'
}

second_copy_refused() {
    local status
    wine_pc "$PROGRAM"
    status=$?
    [ "$status" -eq 1 ] || { echo "second copy ended with $status" >&2; return 1; }
}

is_running() { kill -0 "$1" 2>/dev/null; }

# Waits up to $2 seconds for the process $1 and checks its exit status against $3.
ends_with_status() {
    local pid=$1 seconds=$2 expected=$3 waited status
    for waited in $(seq 1 $((seconds * 10))); do
        is_running "$pid" || break
        sleep 0.1
    done
    is_running "$pid" && { echo "still running" >&2; return 1; }
    wait "$pid"
    status=$?
    [ "$status" -eq "$expected" ] || { echo "ended with $status" >&2; return 1; }
}

run_case() {
    local lang=$1 tag=$2 lab="smk$$$2" started app
    CASE=$lang
    WINE_ENV_LANG=$lang
    WINE_LANG=$lang
    wine_env_start "$lab" 0 "$PROGRAM" || { check "wine environment starts" false; return; }
    echo "      [$CASE] wineboot of a fresh prefix: ${WINE_ENV_BOOT_SECONDS}s"

    started=$(date +%s.%N)
    wine_pc_background "$PROGRAM"
    app=$WINE_ENV_LAST_PID
    check "main dialog appears" uiauto wait-dialog 30
    check "search text shown" uiauto wait-status "$TEXT_SEARCHING" 5
    check "controls disabled, search button cancels" state_is_busy
    check "no station found after the search" uiauto wait-status "$TEXT_NONE_FOUND" 20
    check "search took about 9.3 s" elapsed_between "$started" 9.0 15.0
    check "status pane holds exactly that text" status_is "$TEXT_NONE_FOUND"
    check "controls enabled, search button reads $LABEL_SEARCH_AGAIN" state_is_idle_and_empty
    check "screenshot saved" wine_env_screenshot "$ARTIFACT_DIR/smoke-$tag.png"
    check "second copy exits with status 1" second_copy_refused
    check "first copy still running" is_running "$app"
    check "first copy's dialog still there" uiauto wait-dialog 1
    check "close ends the program with status 0" uiauto close
    check "program exits 0" ends_with_status "$app" 15 0
    wine_env_stop
}

main() {
    local started
    started=$(date +%s)
    mkdir -p "$ARTIFACT_DIR"
    run_case ja_JP.UTF-8 ja
    run_case C.UTF-8 c
    echo "screenshots: $ARTIFACT_DIR/smoke-ja.png $ARTIFACT_DIR/smoke-c.png"
    echo "smoke test took $(($(date +%s) - started))s"
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ] && [ "$PASSED" -gt 0 ]
}

main
