#!/usr/bin/env bash
# A wrong password: the station refuses with 0x80000001 and the utility says so
# (text 13). The station takes only the plain update request here.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,password=right,extended=0,delay=1000'
e2e_utility_start
e2e_search_and_select 1
watch_start "$OUT/update.txt" 13 40
e2e_update wrong
watch_wait
expect_sequence "$OUT/update.txt" 18 13
expect_last "$OUT/update.txt" 13
expect_idle

expect_log st1 'CMD_UPDATE_REQUEST from .*password wrong; replied 0xC43B result 0x80000001'
refute_log st1 'listening on TCP'
