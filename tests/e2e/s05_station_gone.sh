#!/usr/bin/env bash
# The station is switched off after the search: the re-find runs out (9.3 s) and
# the utility reports that it cannot reach it (text 12 with 17).
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11'
e2e_utility_start
e2e_search_and_select 1
e2e_stop_sim st1
watch_start "$OUT/update.txt" 12:@17 40
e2e_update admin
watch_wait
expect_sequence "$OUT/update.txt" 18 12:@17
expect_last "$OUT/update.txt" 12:@17
expect_idle
refute_log st1 'to this station|CMD_UPDATE'
