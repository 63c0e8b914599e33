#!/usr/bin/env bash
# Three stations in one simulator: a KVZ-3170 of model 52, one of model 53 and one
# that answers with reply version 0x10001 (no model code). Only the first is listed.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_add_address st1 192.0.2.12
e2e_add_address st1 192.0.2.13
e2e_sim st1 --station 'st1,ip=192.0.2.11,product=KVZ-3170 eligible' \
            --station 'st2,ip=192.0.2.12,product=KVZ-3170 model 53,model=53' \
            --station 'st3,ip=192.0.2.13,product=KVZ-3170 old reply,version=0x10001'
e2e_utility_start
e2e_search_and_select 1
[ "$(ui list)" = "KVZ-3170 eligible" ] || fail "list shows: $(ui list)"
expect_status '31:KVZ-3170 2.02;192;0;2;11'
for s in st2 st3; do
    grep -q " $s 192.0.2.1[23]: CMD_FIND (to all) .*replied" "$OUT/sim-st1.log" || fail "$s was not asked"
done
