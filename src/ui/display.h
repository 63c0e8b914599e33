// Display operations of the main dialog that every procedure uses: one status text,
// the enabling of the controls, the caption. Texts come from the text table.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "resource.h"
#include "ui/texts.h"

// Display elements by their control ids.
constexpr int StationLabel = IDC_STATION_LABEL;
constexpr int StationListBox = IDC_STATION_LIST;
constexpr int StatusPane = IDC_STATUS_PANE;
constexpr int PasswordLabel = IDC_PASSWORD_LABEL;
constexpr int PasswordEdit = IDC_PASSWORD_EDIT;
constexpr int ProgressBar = IDC_PROGRESS_BAR;
constexpr int ExecuteButton = IDC_EXECUTE_BUTTON;
constexpr int SearchButton = IDC_SEARCH_BUTTON;
constexpr int ExitButton = IDC_EXIT_BUTTON;

// Text 5, the title of the host window and of every message box (code page 932).
extern char AppCaption[CAPTION_BUFFER];
void LoadAppCaption();

int ShowStatus(Window dialog, TextId id);
int ShowStatusNumber(Window dialog, TextId id, std::int32_t number);
int ShowStatusWithText(Window dialog, TextId id, TextId insertId);
int SetControlsEnabled(Window dialog, bool enable);
