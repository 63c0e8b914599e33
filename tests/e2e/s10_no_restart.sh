#!/usr/bin/env bash
# The station takes the image and never answers again: after 60 polls (66 s) the
# utility reports that the restart was not confirmed (text 29).
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,restart=never'
e2e_utility_start
e2e_search_and_select 1
watch_start "$OUT/update.txt" 29 120
e2e_update admin
watch_wait
expect_sequence "$OUT/update.txt" 21 29
expect_last "$OUT/update.txt" 29
expect_idle
expect_image_received st1
polls=$(grep -c 'CMD_FIND (to this station) .*ignored: switched off' "$OUT/sim-st1.log")
[ "$polls" -eq 60 ] || fail "station saw $polls polls after the update, expected 60"
