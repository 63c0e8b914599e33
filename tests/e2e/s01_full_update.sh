#!/usr/bin/env bash
# Full update of one station: search, details, confirmation, preparation, upload,
# restart with the new identity, and the station holds the build's image unchanged.
# Replies come 1 s late so that the texts on the way stay up long enough to read.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,password=kvz3170,delay=1000'
e2e_utility_start
e2e_search_and_select 1
expect_status '31:KVZ-3170 2.02;192;0;2;11'

watch_start "$OUT/update.txt" 27 120
e2e_update kvz3170
watch_wait
expect_sequence "$OUT/update.txt" 18 21 27
expect_last "$OUT/update.txt" 27
expect_idle

expect_log st1 'CMD_FIND \(to this station\) .*identity "KVZ-3170 2.02"'
expect_log st1 'CMD_UPDATE_REQUEST_EX .*size 885240, module word 0, kind 5, version code 0x0203, password ok; replied 0xC738 result 0x00000000'
expect_image_received st1
expect_log st1 'CMD_TRANSFER_RESULT .*result 0x00000000'
expect_log st1 'CMD_FIND \(to this station\) .*identity "KVZ-3170 2.03"'
