#!/usr/bin/env bash
# The project's lab: a private network segment of Linux network namespaces on which the
# utility (under wine) and station simulators broadcast without touching the host's own
# network. Needs root and iproute2. Addresses only from 192.0.2.0/24.
#
#   scripts/lab.sh up LAB [STATIONS]   LAB-sw (bridge), LAB-pc 192.0.2.1, LAB-st1.. 192.0.2.11..
#   scripts/lab.sh down LAB            ends what runs in the lab's namespaces, removes them
#   scripts/lab.sh exec LAB HOST CMD...  runs CMD in LAB-HOST (HOST: pc, st1, st2, ...)
set -euo pipefail

PREFIX_LENGTH=24
PC_ADDRESS=192.0.2.1
FIRST_STATION_HOST=11   # st1 is 192.0.2.11, st2 192.0.2.12, ...
MAX_STATIONS=100
BRIDGE=br0
HOST_INTERFACE=eth0

usage() {
    sed -n '7,9p' "$0" | sed 's/^# *//' >&2
    exit 2
}

check_lab_name() {
    [[ "$1" =~ ^[A-Za-z0-9_.-]+$ ]] || { echo "lab.sh: bad lab name '$1'" >&2; exit 2; }
}

# Namespaces of one lab: LAB-sw, LAB-pc, LAB-st1, LAB-st2, ...
lab_namespaces() {
    local lab=$1 name
    ip netns list | while read -r name _; do
        case "$name" in
            "$lab-sw" | "$lab-pc") echo "$name" ;;
            "$lab-st"*) [[ "${name#"$lab"-st}" =~ ^[0-9]+$ ]] && echo "$name" ;;
        esac
    done
}

# Ends every process in the namespace: politely first, then for certain.
end_processes_in() {
    local ns=$1 pids attempt
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        pids=$(ip netns pids "$ns" 2>/dev/null || true)
        [ -z "$pids" ] && return 0
        if [ "$attempt" -lt 6 ]; then
            kill -TERM $pids 2>/dev/null || true
        else
            kill -KILL $pids 2>/dev/null || true
        fi
        sleep 0.2
    done
}

lab_down() {
    local lab=$1 ns
    for ns in $(lab_namespaces "$lab"); do
        end_processes_in "$ns"
        ip netns delete "$ns"
    done
}

# One host of the segment: namespace, veth pair to the bridge (the switch end, named after
# the host, stays in LAB-sw), address, loopback, and a default route so that the limited
# broadcast 255.255.255.255 leaves through the segment.
add_host() {
    local lab=$1 host=$2 address=$3 ns="$1-$2"
    ip netns add "$ns"
    ip -n "$lab-sw" link add "$host" type veth peer name "$HOST_INTERFACE" netns "$ns"
    ip -n "$lab-sw" link set "$host" master "$BRIDGE" up
    ip -n "$ns" link set lo up
    ip -n "$ns" addr add "$address/$PREFIX_LENGTH" dev "$HOST_INTERFACE"
    ip -n "$ns" link set "$HOST_INTERFACE" up
    ip -n "$ns" route add default dev "$HOST_INTERFACE"
}

lab_up() {
    local lab=$1 stations=$2 i
    [[ "$stations" =~ ^[0-9]+$ ]] && [ "$stations" -le "$MAX_STATIONS" ] ||
        { echo "lab.sh: STATIONS must be 0..$MAX_STATIONS" >&2; exit 2; }
    lab_down "$lab"
    ip netns add "$lab-sw"
    ip -n "$lab-sw" link set lo up
    ip -n "$lab-sw" link add "$BRIDGE" type bridge
    ip -n "$lab-sw" link set "$BRIDGE" up
    add_host "$lab" pc "$PC_ADDRESS"
    for ((i = 1; i <= stations; i++)); do
        add_host "$lab" "st$i" "192.0.2.$((FIRST_STATION_HOST + i - 1))"
    done
}

main() {
    [ $# -ge 2 ] || usage
    local command=$1 lab=$2
    check_lab_name "$lab"
    case "$command" in
        up)
            [ $# -le 3 ] || usage
            lab_up "$lab" "${3:-0}"
            ;;
        down)
            [ $# -eq 2 ] || usage
            lab_down "$lab"
            ;;
        exec)
            [ $# -ge 4 ] || usage
            local host=$3
            shift 3
            exec ip netns exec "$lab-$host" "$@"
            ;;
        *) usage ;;
    esac
}

main "$@"
