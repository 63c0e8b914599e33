#!/usr/bin/env bash
# The station stops reading the upload after 100,000 bytes and keeps the connection
# open; with its small receive buffer the sender stalls, the 10 s watchdog fires
# (text 25) and the transfer result -1 ends it with text 23.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,stall-after=100000,rcvbuf=4096,delay=1500'
e2e_utility_start
e2e_search_and_select 1
watch_start "$OUT/update.txt" 23 90
e2e_update admin
watch_wait
expect_sequence "$OUT/update.txt" 18 15 25 23
expect_last "$OUT/update.txt" 23
expect_idle
expect_log st1 'upload stalled after 100000 bytes'
expect_log st1 'CMD_TRANSFER_RESULT .*result 0xffffffff \(the upload was stalled\)'
