// Header reading and writing, and the acceptance test every received datagram
// passes before it is queued.
#include "protocol/datagram.h"

#include <algorithm>
#include <cstring>

#include "protocol/bytes.h"
#include "protocol/endpoint.h"

DatagramHeader ReadHeader(const std::uint8_t* datagram, int length) {
    // A short datagram reads as if zero-filled up to the header's end.
    std::uint8_t header[HEADER_LENGTH] = {};
    std::memcpy(header, datagram, static_cast<std::size_t>(std::clamp(length, 0, int{HEADER_LENGTH})));
    DatagramHeader h;
    h.headerLength = ReadU16(header + OFFSET_HEADER_LENGTH);
    h.protocolVersion = ReadU32(header + OFFSET_PROTOCOL_VERSION);
    h.commandWord = ReadU16(header + OFFSET_COMMAND_WORD);
    h.payloadLength = ReadU16(header + OFFSET_PAYLOAD_LENGTH);
    std::memcpy(h.sourceId.data(), header + OFFSET_SOURCE_ID, h.sourceId.size());
    std::memcpy(h.destinationId.data(), header + OFFSET_DESTINATION_ID, h.destinationId.size());
    h.resultCode = static_cast<std::int32_t>(ReadU32(header + OFFSET_RESULT_CODE));
    return h;
}

void WriteRequestHeader(std::uint8_t* datagram, CommandWord command, std::uint16_t payloadLength,
                        const StationId& destination) {
    WriteU16(datagram + OFFSET_HEADER_LENGTH, HEADER_LENGTH);
    WriteU32(datagram + OFFSET_PROTOCOL_VERSION, PROTOCOL_VERSION);
    WriteU16(datagram + OFFSET_COMMAND_WORD, command);
    WriteU16(datagram + OFFSET_PAYLOAD_LENGTH, payloadLength);
    std::memcpy(datagram + OFFSET_SOURCE_ID, LocalStationId.data(), LocalStationId.size());
    std::memcpy(datagram + OFFSET_DESTINATION_ID, destination.data(), destination.size());
}

int AcceptDatagram(const std::uint8_t* datagram, int length) {
    if (length < MIN_DATAGRAM || length > MAX_DATAGRAM) return 0;
    const DatagramHeader h = ReadHeader(datagram, length);
    if (h.protocolVersion < MIN_PROTOCOL_VERSION) return 0;
    if (static_cast<int>(h.headerLength) + static_cast<int>(h.payloadLength) != length) return 0;
    if (h.destinationId != LocalStationId && h.destinationId != BROADCAST_STATION_ID) return 0;
    const std::uint8_t low = datagram[OFFSET_COMMAND_WORD];
    const std::uint8_t high = datagram[OFFSET_COMMAND_WORD + 1];
    if (!(high & 0x40) || low != static_cast<std::uint8_t>(~high)) return 0;
    return 1;
}

int ReceiveDatagram(SocketHandle socket, std::uint8_t* buffer) {
    const int length = ReceiveDatagramBytes(socket, buffer, MAX_DATAGRAM);
    if (length <= 0) return 0;
    return AcceptDatagram(buffer, length) ? length : 0;
}
