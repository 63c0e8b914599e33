#!/usr/bin/env bash
# The station cannot use this firmware (result -1): text 33, no upload.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,update-result=failed'
e2e_utility_start
e2e_search_and_select 1
watch_start "$OUT/update.txt" 33 40
e2e_update admin
watch_wait
expect_last "$OUT/update.txt" 33
expect_idle

expect_log st1 'CMD_UPDATE_REQUEST_EX .*replied 0xC738 result 0xffffffff'
refute_log st1 'listening on TCP'
