// Local identity and the datagram socket, opened with the dialog and closed with it.
#include "protocol/endpoint.h"

#include "protocol/reply_queue.h"

StationId LocalStationId = {};
SocketHandle DatagramSocket = NO_SOCKET;

static void ChooseLocalStationId() {
    if (ReadAdapterAddress(LocalStationId.data())) return;
    SeedRandom(LocalTimeMilliseconds());
    for (auto& byte : LocalStationId) byte = static_cast<std::uint8_t>(NextRandom());
}

static int OpenDatagramSocket() {
    DatagramSocket = CreateDatagramSocket();
    if (DatagramSocket == NO_SOCKET) return 0;
    if (!AllowBroadcast(DatagramSocket)) return 0;  // stays open; CloseEndpoint closes it
    BindToAnyPort(DatagramSocket);
    return 1;
}

int OpenEndpoint() {
    ChooseLocalStationId();
    if (!StartSocketLibrary()) return 0;
    return OpenDatagramSocket();
}

int CloseEndpoint() {
    if (DatagramSocket != NO_SOCKET) CloseSocketHandle(DatagramSocket);
    DatagramSocket = NO_SOCKET;
    EndSocketLibrary();
    ClearReplies();
    return 1;
}

std::uint32_t LocalHostAddress() { return QueryHostAddress(); }
