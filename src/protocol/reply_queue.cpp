// Reply queue: a doubly linked list of separately allocated entries, found by
// walking from the first (there is no count and no tail reference).
#include "protocol/reply_queue.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "protocol/bytes.h"
#include "protocol/datagram.h"

namespace {

struct ReplyEntry {
    ReplyEntry* previous;
    ReplyEntry* next;
    // The datagram's bytes follow the entry in the same allocation.
    std::uint8_t* Datagram() { return reinterpret_cast<std::uint8_t*>(this + 1); }
};

ReplyEntry* firstReply = nullptr;

// The stored length comes from the datagram's own header, as accepted.
int StoredLength(ReplyEntry* entry) {
    const std::uint8_t* d = entry->Datagram();
    return ReadU16(d + OFFSET_HEADER_LENGTH) + ReadU16(d + OFFSET_PAYLOAD_LENGTH);
}

ReplyEntry* AppendReply(int length) {
    ReplyEntry* last = nullptr;
    int count = 0;
    for (ReplyEntry* e = firstReply; e; e = e->next) {
        last = e;
        ++count;
    }
    if (count >= MAX_QUEUED_REPLIES) return nullptr;
    void* memory = std::malloc(sizeof(ReplyEntry) + static_cast<std::size_t>(length));
    if (!memory) return nullptr;
    auto* entry = new (memory) ReplyEntry{last, nullptr};
    if (last)
        last->next = entry;
    else
        firstReply = entry;
    return entry;
}

ReplyEntry* ReplyAt(int position) {
    if (position < 0) return nullptr;
    ReplyEntry* e = firstReply;
    for (int i = 0; e && i < position; ++i) e = e->next;
    return e;
}

void UnlinkReply(ReplyEntry* entry) {
    if (entry->previous)
        entry->previous->next = entry->next;
    else
        firstReply = entry->next;
    if (entry->next) entry->next->previous = entry->previous;
    std::free(entry);
}

}  // namespace

int ReceiveReply(SocketHandle socket) {
    std::uint8_t buffer[MAX_DATAGRAM];
    const int length = ReceiveDatagram(socket, buffer);
    if (length == 0) return 0;
    ReplyEntry* entry = AppendReply(length);
    if (!entry) return 0;
    std::memcpy(entry->Datagram(), buffer, static_cast<std::size_t>(length));
    return 1;
}

int CopyReply(int position, std::uint8_t* buffer, int capacity) {
    ReplyEntry* entry = ReplyAt(position);
    if (!entry) return 0;
    const int length = StoredLength(entry);
    if (length > capacity) return 0;
    std::memcpy(buffer, entry->Datagram(), static_cast<std::size_t>(length));
    return 1;
}

int RemoveReply(int position) {
    ReplyEntry* entry = ReplyAt(position);
    if (!entry) return 0;
    UnlinkReply(entry);
    return 1;
}

void ClearReplies() {
    while (firstReply) UnlinkReply(firstReply);
}
