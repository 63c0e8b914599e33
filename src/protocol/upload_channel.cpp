// Upload channel: connect, one chunk per write-ready notification, shut, close.
#include "protocol/upload_channel.h"

#include "protocol/datagram.h"

SocketHandle UploadChannel = NO_SOCKET;

int OpenUploadChannel(const StationRecord* station, Window window) {
    UploadChannel = CreateStreamSocket();
    if (UploadChannel == NO_SOCKET) return 0;
    SelectStreamEvents(UploadChannel, window, NOTIFY_CONNECT | NOTIFY_CLOSE);
    return ConnectStream(UploadChannel, station->ipAddress, STATION_PORT);
}

int SendUploadChunk(const std::uint8_t* data, int length, Window window) {
    // Renewing the write subscription makes the system report write readiness
    // again as soon as the connection can take more.
    SelectStreamEvents(UploadChannel, window, NOTIFY_WRITE | NOTIFY_CLOSE);
    return SendStream(UploadChannel, data, length);
}

void FinishUploadSending() { ShutdownStreamSending(UploadChannel); }

void CloseUploadChannel() {
    if (UploadChannel != NO_SOCKET) CloseSocketHandle(UploadChannel);
    UploadChannel = NO_SOCKET;
}

void StopUploadNotifications(Window window) {
    if (UploadChannel != NO_SOCKET) SelectStreamEvents(UploadChannel, window, 0);
}
