#!/usr/bin/env bash
# The user cancels a slowed upload: text 26 while the transfer result is asked,
# then text 24 when the station reports the transfer as broken off.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,rate=10000,rcvbuf=8192,delay=1000'
e2e_utility_start
e2e_search_and_select 1
e2e_update admin
wait_status 15 30
sleep 2
watch_start "$OUT/cancel.txt" 24 40
sleep 1
ui click 1009 >/dev/null || fail "click cancel failed"
watch_wait
expect_sequence "$OUT/cancel.txt" 26 24
expect_last "$OUT/cancel.txt" 24
expect_idle
expect_log st1 'CMD_TRANSFER_RESULT .*result 0xffffffff'
refute_log st1 'upload ended'
