// This PC's identity on the station protocol and its one datagram socket.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "protocol/datagram.h"

// Decided once by OpenEndpoint: the first adapter's hardware address, or six
// pseudo-random bytes seeded by the local time's milliseconds.
extern StationId LocalStationId;
// The UDP socket for every request and reply; NO_SOCKET while closed.
extern SocketHandle DatagramSocket;

// 1 when the socket library is started and the socket is open and may broadcast.
int OpenEndpoint();
// Closes the socket, ends the socket library and empties the reply queue; returns 1.
int CloseEndpoint();
// This PC's IPv4 address (first octet most significant), 0 when unknown.
std::uint32_t LocalHostAddress();
