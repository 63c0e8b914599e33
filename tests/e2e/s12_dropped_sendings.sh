#!/usr/bin/env bash
# The station ignores the first two sendings of every request: the search, the
# re-find, the update request, the transfer-result query and the polling each
# succeed on their third sending, and the update ends well.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,drop-first=2'
e2e_utility_start
e2e_search_and_select 1
watch_start "$OUT/update.txt" 27 120
e2e_update admin
watch_wait
expect_last "$OUT/update.txt" 27
expect_idle
expect_image_received st1
for request in 'CMD_FIND \(to all\)' 'CMD_FIND \(to this station\)' CMD_UPDATE_REQUEST_EX CMD_TRANSFER_RESULT; do
    expect_log st1 "$request from .* dropped \(sending 2 of its series"
    refute_log st1 "$request from .* dropped \(sending 3 of its series"
done
expect_log st1 'CMD_FIND \(to this station\) .*identity "KVZ-3170 2.03"'
