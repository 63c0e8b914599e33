// Display operations: one status text at a time, controls enabled or not.
#include "ui/display.h"

#include <initializer_list>

char AppCaption[CAPTION_BUFFER] = {};

void LoadAppCaption() { LoadText(5, AppCaption, CAPTION_BUFFER); }

int ShowStatus(Window dialog, TextId id) {
    char text[STATUS_BUFFER];
    LoadText(id, text, STATUS_BUFFER);
    SetControlText(dialog, StatusPane, text);
    return 1;
}

int ShowStatusNumber(Window dialog, TextId id, std::int32_t number) {
    char format[STATUS_BUFFER];
    char text[STATUS_BUFFER];
    LoadText(id, format, STATUS_BUFFER);
    FormatText(text, STATUS_BUFFER, format, number);
    SetControlText(dialog, StatusPane, text);
    return 1;
}

int ShowStatusWithText(Window dialog, TextId id, TextId insertId) {
    char format[STATUS_BUFFER];
    char insert[STATUS_BUFFER];
    char text[STATUS_BUFFER];
    LoadText(id, format, STATUS_BUFFER);
    LoadText(insertId, insert, STATUS_BUFFER);
    FormatText(text, STATUS_BUFFER, format, insert);
    SetControlText(dialog, StatusPane, text);
    return 1;
}

int SetControlsEnabled(Window dialog, bool enable) {
    for (int control : {StationLabel, StationListBox, PasswordLabel, PasswordEdit, ExecuteButton, ExitButton})
        EnableControl(dialog, control, enable ? 1 : 0);
    char label[LABEL_BUFFER];
    LoadText(enable ? 2 : 1, label, LABEL_BUFFER);
    SetControlText(dialog, SearchButton, label);
    return 1;
}
