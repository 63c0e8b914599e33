// The main dialog's start, end and commands, and the routing of timer and socket
// events to the procedures. The host's dialog procedure only forwards messages here.
#include "ui/main_dialog.h"

#include "procedures/exchange.h"
#include "procedures/preparation.h"
#include "procedures/search.h"
#include "procedures/upload.h"
#include "protocol/endpoint.h"
#include "protocol/upload_channel.h"
#include "registry/catalogue.h"
#include "ui/display.h"

namespace {

constexpr int PASSWORD_CHARACTERS = 8;
constexpr int TYPED_PASSWORD_BUFFER = 64;

bool SomethingRuns() { return exchange.busy || upload.updateState != US_IDLE; }

StationRecord* SelectedStation(Window dialog) {
    const int line = SelectedListLine(dialog);
    if (line < 0) return nullptr;
    for (StationRecord* s = FirstStation(); s; s = s->next)
        if (s->listIndex == line) return s;
    return nullptr;
}

int Octet(std::uint32_t address, int index) { return static_cast<int>((address >> (24 - 8 * index)) & 0xFF); }

// Text 31, or 34 with the module text; the name slot shows the identity.
void ShowSelectionDetails(Window dialog) {
    StationRecord* station = SelectedStation(dialog);
    if (!station) return;
    char format[STATUS_BUFFER];
    char text[STATUS_BUFFER];
    const std::uint32_t ip = station->ipAddress;
    if (station->moduleText[0] != '\0') {
        station->moduleText[MODULE_TEXT_SIZE - 1] = '\0';
        LoadText(34, format, STATUS_BUFFER);
        FormatText(text, STATUS_BUFFER, format, station->identity, Octet(ip, 0), Octet(ip, 1), Octet(ip, 2),
                   Octet(ip, 3), station->moduleText);
    } else {
        LoadText(31, format, STATUS_BUFFER);
        FormatText(text, STATUS_BUFFER, format, station->identity, Octet(ip, 0), Octet(ip, 1), Octet(ip, 2),
                   Octet(ip, 3));
    }
    SetControlText(dialog, StatusPane, text);
}

// The password as typed, at most 8 bytes of whole characters, zero-filled.
void StorePassword(Window dialog, StationRecord* station) {
    char typed[TYPED_PASSWORD_BUFFER] = {};
    ReadPasswordText(dialog, typed, TYPED_PASSWORD_BUFFER);
    for (char& c : station->password) c = '\0';
    CopyTextCut(station->password, PASSWORD_SIZE, typed);
}

TextId QuestionFor(const CatalogueEntry& entry) {
    switch (entry.kind & 0xFFFF0000u) {
        case 0x10000:
            return 35;
        case 0x20000:
            return 36;
        default:
            return 30;
    }
}

void ConfirmAndStartUpdate(Window dialog) {
    StationRecord* station = SelectedStation(dialog);
    if (!station) return;
    if (station->flags & SF_UPDATING) {
        ShowStatus(dialog, 20);
        return;
    }
    StorePassword(dialog, station);
    const int index = MatchCatalogue(station->identity, station->modelCode);
    if (index == -1) {
        ShowStatus(dialog, 33);
        return;
    }
    const CatalogueEntry& entry = FirmwareCatalogue[index];
    char format[STATUS_BUFFER];
    char question[STATUS_BUFFER];
    LoadText(QuestionFor(entry), format, STATUS_BUFFER);
    FormatText(question, STATUS_BUFFER, format, entry.versionLabel);
    if (!AskYesNo(dialog, question, AppCaption)) return;
    ClearListSelection(dialog);
    StartPreparation(dialog, station);
}

void SearchOrCancel(Window dialog) {
    if (exchange.busy) {
        CancelExchange(dialog);
    } else if (upload.updateState == US_IDLE) {
        RemoveAllStations();
        StartSearch(dialog);
    } else if (upload.updateState != US_USER_ABORT) {
        AbortUploadByUser(dialog);
    }
}

}  // namespace

void MainDialogInit(Window dialog) {
    CenterDialogOnOwner(dialog);
    upload.updateState = US_IDLE;
    OpenEndpoint();
    StartSearch(dialog);
    LimitPasswordLength(dialog, PASSWORD_CHARACTERS);
    FocusControl(dialog, SearchButton);
}

void MainDialogDestroy(Window) {
    CloseUploadChannel();
    CloseEndpoint();
    RemoveAllStations();
}

void MainDialogCommand(Window dialog, int controlId) {
    switch (controlId) {
        case StationListBox:
            ShowSelectionDetails(dialog);
            break;
        case ExecuteButton:
            // Disabled while something runs; Enter or a stray click must not start
            // a second procedure either.
            if (!SomethingRuns()) ConfirmAndStartUpdate(dialog);
            break;
        case SearchButton:
            SearchOrCancel(dialog);
            break;
        case ExitButton:
            // Escape and the close box reach here too: never end mid-update.
            if (!SomethingRuns()) EndDialogWindow(dialog, 0);
            break;
        default:
            break;
    }
}

void MainDialogTimer(Window dialog, unsigned timerId) {
    if (timerId == exchange.tickTimer) ExchangeTick(dialog);
    if (timerId == upload.watchdogTimer) UploadWatchdog(dialog);
}

void MainDialogDatagram(Window dialog) { DispatchArrival(dialog); }

void MainDialogUploadSocket(Window dialog, std::uint32_t lParam) { UploadSocketEvent(dialog, lParam); }
