#!/usr/bin/env bash
# Any other result of the update request is an internal error shown with its code
# as eight lower-case hexadecimal digits (text 14).
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,update-result=-2'
e2e_utility_start
e2e_search_and_select 1
watch_start "$OUT/update.txt" 14:-2 40
e2e_update admin
watch_wait
expect_last "$OUT/update.txt" 14:-2
expect_idle
expect_log st1 'replied 0xC738 result 0xfffffffe'
