#!/usr/bin/env bash
# Runs every end-to-end scenario, two at a time, each in its own lab and wine environment,
# and prints a summary. Needs root, the Windows build (exe, uiauto) and the native build.

# Usage: run_all.sh BUILD_WIN_DIR NATIVE_BUILD_DIR [SCENARIO...]
# E2E_JOBS sets how many run at once (2); E2E_OUT_ROOT where the logs go.
set -u

E2E_DIR=$(cd "$(dirname "$0")" && pwd)
BUILD_WIN=$(cd "${1:?usage: $0 BUILD_WIN_DIR NATIVE_BUILD_DIR [SCENARIO...]}" && pwd) || exit 2
NATIVE_BUILD=$(cd "${2:?usage: $0 BUILD_WIN_DIR NATIVE_BUILD_DIR [SCENARIO...]}" && pwd) || exit 2
shift 2
JOBS=${E2E_JOBS:-2}
OUT_ROOT=${E2E_OUT_ROOT:-$(mktemp -d -t e2e-results.XXXXXX)}
mkdir -p "$OUT_ROOT"

if [ $# -gt 0 ]; then
    scenarios=("$@")
else
    # The longest first, so that the two lanes end at about the same time.
    scenarios=(s10_no_restart)
    for f in "$E2E_DIR"/s[0-9][0-9]_*.sh; do
        name=$(basename "$f" .sh)
        [ "$name" = s10_no_restart ] || scenarios+=("$name")
    done
fi

declare -A pid_of started_at
running=()

stop_all() {
    local pid
    for pid in "${running[@]}"; do kill -TERM "$pid" 2>/dev/null; done
    for pid in "${running[@]}"; do wait "$pid" 2>/dev/null; done
    echo "interrupted; logs in $OUT_ROOT"
    exit 130
}
trap stop_all INT TERM

# Removes the finished ones from running.
reap() {
    local still=() pid
    for pid in "${running[@]}"; do
        if kill -0 "$pid" 2>/dev/null; then still+=("$pid"); else wait "$pid" 2>/dev/null; fi
    done
    running=("${still[@]}")
}

suite_start=$(date +%s)
number=0
for name in "${scenarios[@]}"; do
    name=$(basename "$name" .sh)
    script=$E2E_DIR/$name.sh
    [ -f "$script" ] || { echo "no scenario $name"; exit 2; }
    while [ "${#running[@]}" -ge "$JOBS" ]; do
        wait -n 2>/dev/null
        reap
    done
    number=$((number + 1))
    out=$OUT_ROOT/$name
    mkdir -p "$out"
    (
        start=$(date +%s)
        E2E_LAB=e2e$number E2E_OUT=$out bash "$script" "$BUILD_WIN" "$NATIVE_BUILD" >"$out/run.log" 2>&1
        status=$?
        echo "$status $(( $(date +%s) - start ))" >"$out/result"
    ) &
    running+=("$!")
    echo "started $name"
done
while [ "${#running[@]}" -gt 0 ]; do
    wait -n 2>/dev/null
    reap
done
suite_time=$(( $(date +%s) - suite_start ))

failed=0
echo
printf '%-26s %-6s %s\n' scenario result seconds
for name in "${scenarios[@]}"; do
    name=$(basename "$name" .sh)
    read -r status took <"$OUT_ROOT/$name/result" 2>/dev/null || { status=x; took=?; }
    if [ "$status" = 0 ]; then verdict=PASS; else verdict=FAIL; failed=$((failed + 1)); fi
    printf '%-26s %-6s %s\n' "$name" "$verdict" "$took"
    if [ "$verdict" = FAIL ]; then grep -h 'FAIL' "$OUT_ROOT/$name/run.log" | head -3 | sed 's/^/    /'; fi
done
echo
echo "${#scenarios[@]} scenarios, $failed failed, ${suite_time} s in all; logs in $OUT_ROOT"
[ "$failed" = 0 ]
