/* Resource and control identifiers, shared by the resource script and the code. */
#pragma once

#define IDI_APP_ICON 101
#define IDD_MAIN_DIALOG 102
#define IDR_FIRMWARE 110
#define RT_FIRMBIN_NAME "FIRMBIN"

#define IDC_EXECUTE_BUTTON 1
#define IDC_EXIT_BUTTON 2
#define IDC_PROGRESS_BAR 1002
#define IDC_STATION_LIST 1008
#define IDC_SEARCH_BUTTON 1009
#define IDC_PASSWORD_EDIT 1010
#define IDC_STATION_LABEL 1013
#define IDC_PASSWORD_LABEL 1014
#define IDC_STATUS_PANE 1018
