// The queue of accepted datagrams, oldest first, read by position by the phase
// handlers. It owns its entries; CopyReply hands out copies.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// A flood of datagrams during a search may not exhaust memory: beyond this many
// entries a datagram is dropped as if memory were exhausted.
constexpr int MAX_QUEUED_REPLIES = 8192;

// 1 when one datagram was received, accepted and queued; else 0.
int ReceiveReply(SocketHandle socket);
// 1 after copying the datagram at position into buffer; 0 (buffer untouched) when
// there is none or it is longer than capacity.
int CopyReply(int position, std::uint8_t* buffer, int capacity);
// 1 after removing the entry at position; 0 when there is none.
int RemoveReply(int position);
void ClearReplies();
