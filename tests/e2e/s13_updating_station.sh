#!/usr/bin/env bash
# A station that reports an update in progress is listed, but execute only shows
# text 20: no question, and nothing more is sent to the station.
source "$(dirname "$0")/lib.sh"

e2e_lab_up 1
e2e_sim st1 --station 'st1,ip=192.0.2.11,updating=1'
e2e_utility_start
e2e_search_and_select 1
ui password admin >/dev/null
ui click 1 >/dev/null
wait_status 20 10
sleep 3
expect_status 20
expect_idle
refute_log st1 'to this station|CMD_UPDATE|CMD_TRANSFER'
