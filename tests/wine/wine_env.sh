# Shared environment for the tests that run the Windows programs under wine: a lab
# (scripts/lab.sh), a fresh wine prefix in a temporary folder, Xvfb on a free display and
# a wineserver, all inside the lab's pc namespace, and their teardown. Source it (bash);
# needs root, iproute2, wine (wine64 for a 64-bit build), Xvfb and ImageMagick's import.
#
#   wine_env_start LAB [STATIONS] [PROGRAM.exe]
#       Creates the lab (LAB-pc, LAB-st1..), boots a fresh prefix whose architecture fits
#       PROGRAM.exe (PE32: win32, PE32+: win64; default win32), and installs a trap that
#       tears everything down on EXIT, INT and TERM. Define wine_env_on_exit to run your
#       own clean-up first. LANG for the boot: WINE_ENV_LANG (default ja_JP.UTF-8).
#   wine_pc PROGRAM [ARGS...]            runs a Windows program in LAB-pc, waits for it
#   wine_pc_background PROGRAM [ARGS...] starts one; its pid is in WINE_ENV_LAST_PID
#       Both take the LANG of the caller's WINE_LANG (default WINE_ENV_LANG).
#   wine_env_screenshot FILE.png         the whole virtual screen
#   wine_env_stop                        tears down now (the trap does it otherwise)
# Settings: WINE_ENV_SCREEN (Xvfb screen, default 1024x768x24), WINE_ENV_DESKTOP (size of
# wine's virtual desktop, default 1024x768; empty: windows straight on the X screen).
# After wine_env_start: WINE_ENV_DIR (temporary folder), WINEPREFIX, WINE_ENV_DISPLAY,
# WINE_ENV_BOOT_SECONDS (how long the prefix took to boot).

WINE_ENV_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE_ENV_LAB_SCRIPT=$WINE_ENV_REPO/scripts/lab.sh
WINE_ENV_LANG=${WINE_ENV_LANG:-ja_JP.UTF-8}
WINE_ENV_SCREEN=${WINE_ENV_SCREEN:-1024x768x24}
# Wine's own desktop window, so captions and frames are drawn without a window manager;
# empty for none.
WINE_ENV_DESKTOP=${WINE_ENV_DESKTOP-1024x768}
WINE_ENV_LAB=
WINE_ENV_DIR=
WINE_ENV_DISPLAY=
WINE_ENV_XVFB_PID=
WINE_ENV_SERVER_PID=
WINE_ENV_PIDS=()
WINE_ENV_LAST_PID=

wine_env_log() { echo "wine_env: $*" >&2; }

# Machine type of a PE file: win32 (i386), win64 (x86-64), or nothing.
wine_env_pe_arch() {
    python3 - "$1" <<'EOF'
import struct, sys
with open(sys.argv[1], "rb") as f:
    data = f.read(4096)
offset = struct.unpack_from("<I", data, 0x3C)[0]
if data[offset:offset + 4] == b"PE\0\0":
    machine = struct.unpack_from("<H", data, offset + 4)[0]
    print({0x14C: "win32", 0x8664: "win64"}.get(machine, ""))
EOF
}

# Whether this kernel runs 32-bit x86 programs (some hosts have that switched off).
wine_env_can_run_i386() {
    [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# A locale that the tests switch to must exist; generates it when it is missing.
wine_env_need_locale() {
    local locale=$1 short
    short=$(echo "$locale" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
    locale -a 2>/dev/null | tr 'A-Z' 'a-z' | grep -qx "$short" && return 0
    case "$locale" in C.* | POSIX) return 0 ;; esac
    wine_env_log "generating locale $locale"
    grep -qx "$locale UTF-8" /etc/locale.gen 2>/dev/null || echo "$locale UTF-8" >>/etc/locale.gen
    locale-gen >/dev/null
}

wine_env_choose_binaries() {
    local arch=$1
    if [ "$arch" = win64 ]; then
        WINE_ENV_WINE=${WINE_ENV_WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
    else
        WINE_ENV_WINE=${WINE_ENV_WINE:-$(command -v wine)}
        if ! wine_env_can_run_i386; then
            wine_env_log "this kernel cannot run 32-bit programs, so 32-bit wine cannot start;"
            wine_env_log "test a 64-bit build here (cmake/mingw-x86_64.cmake) or on a host with IA-32 emulation"
            return 1
        fi
    fi
    local server
    for server in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32 "$(command -v wineserver)"; do
        [ -x "$server" ] && { WINE_ENV_SERVER=$server; break; }
    done
    [ -x "$WINE_ENV_WINE" ] && [ -n "${WINE_ENV_SERVER:-}" ] ||
        { wine_env_log "wine or wineserver not found"; return 1; }
}

# The command prefix that runs a program in the lab's pc namespace with the wine
# environment, in WINE_ENV_COMMAND. Used as a simple command, so a background start gives
# the pid of the program itself.
wine_env_command() {
    local lang=${WINE_LANG:-$WINE_ENV_LANG}
    WINE_ENV_COMMAND=(ip netns exec "$WINE_ENV_LAB-pc" env
        WINEPREFIX="$WINEPREFIX" WINEARCH="$WINE_ENV_ARCH" WINELOADER="$WINE_ENV_WINE"
        WINESERVER="$WINE_ENV_SERVER" WINEDEBUG="${WINEDEBUG:--all}"
        WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="$WINE_ENV_DISPLAY"
        LANG="$lang" LC_ALL="$lang" HOME="$WINE_ENV_DIR/home")
}

wine_env_exec() {
    wine_env_command
    "${WINE_ENV_COMMAND[@]}" "$@"
}

wine_pc() { wine_env_exec "$WINE_ENV_WINE" "$@"; }

wine_pc_background() {
    wine_env_command
    "${WINE_ENV_COMMAND[@]}" "$WINE_ENV_WINE" "$@" &
    WINE_ENV_LAST_PID=$!
    WINE_ENV_PIDS+=("$WINE_ENV_LAST_PID")
}

# The server is ready for clients once its socket exists. Its folder is named after the
# prefix's device and inode numbers, under /tmp/.wine-UID or, with Debian's wine, under a
# private /tmp/wine-XXXXXX folder whose name the server writes to PREFIX/wineserver.
wine_env_server_folder() {
    local device inode base
    read -r device inode < <(stat -c '%d %i' "$WINEPREFIX")
    base=/tmp/.wine-$(id -u)
    if [ -s "$WINEPREFIX/wineserver" ]; then
        base=/tmp/$(cat "$WINEPREFIX/wineserver")
    fi
    printf '%s/server-%x-%x' "$base" "$device" "$inode"
}

wine_env_wait_for_server() {
    local waited
    for waited in $(seq 1 100); do
        [ -S "$(wine_env_server_folder)/socket" ] && return 0
        kill -0 "$WINE_ENV_SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    wine_env_log "wineserver did not start:"
    tail -5 "$WINE_ENV_DIR/wineserver.log" >&2
    return 1
}

wine_env_screenshot() {
    mkdir -p "$(dirname "$1")"
    ip netns exec "$WINE_ENV_LAB-pc" env DISPLAY="$WINE_ENV_DISPLAY" import -window root "$1"
}

# Xvfb on the first free display from a random start, inside the pc namespace.
wine_env_start_xvfb() {
    local attempt display waited
    for attempt in $(seq 1 20); do
        display=$((100 + (RANDOM % 800)))
        [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] && continue
        ip netns exec "$WINE_ENV_LAB-pc" Xvfb ":$display" -nolisten tcp -screen 0 "$WINE_ENV_SCREEN" \
            >"$WINE_ENV_DIR/xvfb.log" 2>&1 &
        WINE_ENV_XVFB_PID=$!
        for waited in $(seq 1 100); do
            if [ -S "/tmp/.X11-unix/X$display" ]; then
                WINE_ENV_DISPLAY=:$display
                return 0
            fi
            kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        wine_env_end_pid "$WINE_ENV_XVFB_PID"
        WINE_ENV_XVFB_PID=
    done
    wine_env_log "no display could be started"
    return 1
}

# Ends one process that this environment started: TERM, then KILL after 3 s.
wine_env_end_pid() {
    local pid=$1 waited
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
    kill -TERM "$pid" 2>/dev/null || true
    for waited in $(seq 1 30); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Settings the server loads before the first wine process starts its desktop.
wine_env_seed_registry() {
    {
        echo 'WINE REGISTRY Version 2'
        echo ';; All keys relative to \\User\\S-1-5-21-0-0-0-1000'
        echo
        # Japanese faces for the dialog font and the caption whatever the locale;
        # without them a non-Japanese locale draws the texts as empty boxes.
        echo '[Software\\Wine\\Fonts\\Replacements]'
        echo '"\xff2d\xff33 \xff30\x30b4\x30b7\x30c3\x30af"="Noto Sans CJK JP"'
        echo '"Tahoma"="Noto Sans CJK JP"'
        echo
        if [ -n "$WINE_ENV_DESKTOP" ]; then
            echo '[Software\\Wine\\Explorer]'
            echo '"Desktop"="Default"'
            echo
            echo '[Software\\Wine\\Explorer\\Desktops]'
            echo "\"Default\"=\"$WINE_ENV_DESKTOP\""
            echo
        fi
    } >"$WINEPREFIX/user.reg"
}

wine_env_start_steps() {
    local lab=$1 stations=${2:-0} program=${3:-} started
    WINE_ENV_ARCH=win32
    [ -n "$program" ] && WINE_ENV_ARCH=$(wine_env_pe_arch "$program")
    [ -n "$WINE_ENV_ARCH" ] || { wine_env_log "$program is not a Windows program"; return 1; }
    wine_env_choose_binaries "$WINE_ENV_ARCH" || return 1
    wine_env_need_locale "$WINE_ENV_LANG"

    WINE_ENV_LAB=$lab
    trap 'wine_env_stop' EXIT
    trap 'wine_env_stop; trap - EXIT; exit 130' INT
    trap 'wine_env_stop; trap - EXIT; exit 143' TERM
    WINE_ENV_DIR=$(mktemp -d "${TMPDIR:-/tmp}/wine-env.XXXXXX")
    mkdir -p "$WINE_ENV_DIR/home"
    export WINEPREFIX=$WINE_ENV_DIR/prefix
    mkdir -p "$WINEPREFIX"
    wine_env_seed_registry

    bash "$WINE_ENV_LAB_SCRIPT" up "$lab" "$stations" || return 1
    wine_env_start_xvfb || return 1

    wine_env_command
    "${WINE_ENV_COMMAND[@]}" "$WINE_ENV_SERVER" -f -p >"$WINE_ENV_DIR/wineserver.log" 2>&1 &
    WINE_ENV_SERVER_PID=$!
    wine_env_wait_for_server || return 1
    started=$(date +%s.%N)
    wine_env_exec "$WINE_ENV_WINE" wineboot -i >"$WINE_ENV_DIR/wineboot.log" 2>&1 || {
        wine_env_log "wineboot failed:"; tail -5 "$WINE_ENV_DIR/wineboot.log" >&2; return 1; }
    WINE_ENV_BOOT_SECONDS=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
    wine_env_log "prefix booted in ${WINE_ENV_BOOT_SECONDS}s ($WINE_ENV_ARCH, LANG=$WINE_ENV_LANG, display $WINE_ENV_DISPLAY)"
}

wine_env_start() {
    wine_env_start_steps "$@" && return 0
    wine_env_stop
    return 1
}

wine_env_stop() {
    [ -n "$WINE_ENV_LAB" ] || return 0
    if declare -F wine_env_on_exit >/dev/null; then
        wine_env_on_exit || true
    fi
    local pid
    for pid in "${WINE_ENV_PIDS[@]}"; do
        wine_env_end_pid "$pid"
    done
    WINE_ENV_PIDS=()
    # Every wine process of this prefix, then the server and the display.
    if [ -n "$WINE_ENV_SERVER_PID" ] && kill -0 "$WINE_ENV_SERVER_PID" 2>/dev/null; then
        WINEPREFIX=$WINEPREFIX timeout 10 "$WINE_ENV_SERVER" -k >/dev/null 2>&1 || true
        wine_env_end_pid "$WINE_ENV_SERVER_PID"
    fi
    WINE_ENV_SERVER_PID=
    [ -n "$WINE_ENV_XVFB_PID" ] && wine_env_end_pid "$WINE_ENV_XVFB_PID"
    WINE_ENV_XVFB_PID=
    # Whatever is left in the lab's namespaces ends with them.
    bash "$WINE_ENV_LAB_SCRIPT" down "$WINE_ENV_LAB" || true
    WINE_ENV_LAB=
    if [ -n "$WINE_ENV_DIR" ]; then
        # Debian's server leaves its private socket folder behind.
        if [ -s "$WINEPREFIX/wineserver" ]; then
            local private
            private=/tmp/$(cat "$WINEPREFIX/wineserver")
            [[ "$private" =~ ^/tmp/wine-[A-Za-z0-9]+$ ]] && rm -rf "$private"
        fi
        rm -rf "$WINE_ENV_DIR"
    fi
    WINE_ENV_DIR=
    trap - EXIT INT TERM
}
