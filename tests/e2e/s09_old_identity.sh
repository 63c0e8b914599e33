#!/usr/bin/env bash
# The station takes the image but comes back with its old identity: text 28.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,restart=old,restart-delay=2'
e2e_utility_start
e2e_search_and_select 1
watch_start "$OUT/update.txt" 28 90
e2e_update admin
watch_wait
expect_sequence "$OUT/update.txt" 21 28
expect_last "$OUT/update.txt" 28
expect_idle
expect_image_received st1
expect_log st1 'running again as "KVZ-3170 2.02"'
