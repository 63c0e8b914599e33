// The main dialog's behaviour, independent of the windowing system: the host's
// dialog procedure calls one of these per message and does nothing else.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// WM_INITDIALOG: centre, open the endpoint, start the first search. The host then
// reports that the focus has been set (returns FALSE).
void MainDialogInit(Window dialog);
// WM_DESTROY: close the endpoint and free the stations.
void MainDialogDestroy(Window dialog);
// WM_COMMAND with the control id (low 16 bits of the first parameter).
void MainDialogCommand(Window dialog, int controlId);
// WM_TIMER with the timer's identifier.
void MainDialogTimer(Window dialog, unsigned timerId);
// WM_STATION_DATAGRAM: read readiness of the datagram socket.
void MainDialogDatagram(Window dialog);
// WM_UPLOAD_SOCKET with its second parameter (event low 16 bits, error high 16).
void MainDialogUploadSocket(Window dialog, std::uint32_t lParam);
