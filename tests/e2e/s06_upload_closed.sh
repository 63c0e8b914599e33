#!/usr/bin/env bash
# The station closes the upload connection after 200,000 bytes: the utility gives
# up without asking for the transfer result (text 12 with 17). The upload is slowed
# to about a second so that text 15 can be seen.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,close-after=200000,rate=200000,rcvbuf=16384,delay=1000'
e2e_utility_start
e2e_search_and_select 1
watch_start "$OUT/update.txt" 12:@17 60
e2e_update admin
watch_wait
expect_sequence "$OUT/update.txt" 18 15 12:@17
expect_last "$OUT/update.txt" 12:@17
expect_idle
expect_log st1 'upload closed by this station: received 200000 of 885240 bytes'
refute_log st1 'CMD_TRANSFER_RESULT'
