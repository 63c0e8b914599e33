// The one TCP connection that carries the image to the station. It never waits:
// its progress arrives as WM_UPLOAD_SOCKET notifications to the dialog.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "registry/station_list.h"

extern SocketHandle UploadChannel;  // NO_SOCKET while there is no connection

// 0 when no socket could be made; otherwise the connect call's immediate result.
int OpenUploadChannel(const StationRecord* station, Window window);
// Bytes the system accepted, or -1 when it accepted none.
int SendUploadChunk(const std::uint8_t* data, int length, Window window);
void FinishUploadSending();
void CloseUploadChannel();
// Stops every notification of the connection without closing it.
void StopUploadNotifications(Window window);
