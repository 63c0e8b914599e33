// The main dialog's procedure: a flat dispatch that hands each message to the one core
// entry point for it (ui/main_dialog.h). Socket notifications arrive as the messages that
// the socket services asked WSAAsyncSelect for. Needs USER32.
#include <windows.h>

#include "platform/win32/win32_host.h"
#include "ui/main_dialog.h"

namespace {

// Centres, opens the endpoint and starts the first search; the focus is set already.
INT_PTR OnInitDialog(HWND dialog) {
    MainDialogInit(dialog);
    return FALSE;
}

// Closes the endpoint and frees the stations.
INT_PTR OnDestroy(HWND dialog) {
    MainDialogDestroy(dialog);
    return TRUE;
}

// A control's command; the notification code is of no interest.
INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    MainDialogCommand(dialog, LOWORD(wParam));
    return TRUE;
}

// The exchange tick or the upload watchdog, told apart by the core.
INT_PTR OnTimer(HWND dialog, WPARAM timerId) {
    MainDialogTimer(dialog, static_cast<unsigned>(timerId));
    return TRUE;
}

// A datagram is waiting on the station socket.
INT_PTR OnStationDatagram(HWND dialog) {
    MainDialogDatagram(dialog);
    return TRUE;
}

// Connect, write-ready or close of the upload connection; the core splits event and error.
INT_PTR OnUploadSocket(HWND dialog, LPARAM lParam) {
    MainDialogUploadSocket(dialog, static_cast<std::uint32_t>(lParam));
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_DESTROY:
        return OnDestroy(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    case WM_TIMER:
        return OnTimer(dialog, wParam);
    case WM_STATION_DATAGRAM:
        return OnStationDatagram(dialog);
    case WM_UPLOAD_SOCKET:
        return OnUploadSocket(dialog, lParam);
    default:
        return FALSE;
    }
}
