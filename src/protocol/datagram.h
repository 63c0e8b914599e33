// The station protocol's datagram header, command words and the acceptance test
// for received datagrams. Needs the platform seam for receiving and sending.
#pragma once

#include <array>
#include <cstdint>

#include "platform/platform.h"

// The 6-byte hardware address that names a station or this PC.
using StationId = std::array<std::uint8_t, 6>;

constexpr StationId BROADCAST_STATION_ID = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint16_t STATION_PORT = 22359;
constexpr std::uint32_t PROTOCOL_VERSION = 0x00010003;
constexpr std::uint32_t MIN_PROTOCOL_VERSION = 0x00010000;
constexpr std::uint16_t HEADER_LENGTH = 32;
constexpr int MAX_DATAGRAM = 1500;
constexpr int MIN_DATAGRAM = 30;
constexpr std::uint32_t BROADCAST_ADDRESS = 0xFFFFFFFF;  // 255.255.255.255

// Byte offsets of the header fields.
constexpr int OFFSET_HEADER_LENGTH = 0;
constexpr int OFFSET_PROTOCOL_VERSION = 4;
constexpr int OFFSET_COMMAND_WORD = 8;
constexpr int OFFSET_PAYLOAD_LENGTH = 10;
constexpr int OFFSET_SOURCE_ID = 16;
constexpr int OFFSET_DESTINATION_ID = 22;
constexpr int OFFSET_RESULT_CODE = 28;

// Command words: high byte names the operation (0x80 set, 0x40 clear in a request),
// low byte is its complement. A reply adds 0x40 to the high byte.
using CommandWord = std::uint16_t;
constexpr CommandWord CMD_FIND = 0x807F;
constexpr CommandWord CMD_UPDATE_REQUEST = 0x847B;
constexpr CommandWord CMD_TRANSFER_RESULT = 0x857A;
constexpr CommandWord CMD_MODULE_INFO = 0x8679;
constexpr CommandWord CMD_UPDATE_REQUEST_EX = 0x8778;

constexpr CommandWord ReplyWord(CommandWord request) {
    return static_cast<CommandWord>((((request >> 8) | 0x40) << 8) | (~((request >> 8) | 0x40) & 0xFF));
}
constexpr CommandWord REPLY_FIND = ReplyWord(CMD_FIND);                            // 0xC03F
constexpr CommandWord REPLY_UPDATE_REQUEST = ReplyWord(CMD_UPDATE_REQUEST);        // 0xC43B
constexpr CommandWord REPLY_TRANSFER_RESULT = ReplyWord(CMD_TRANSFER_RESULT);      // 0xC53A
constexpr CommandWord REPLY_MODULE_INFO = ReplyWord(CMD_MODULE_INFO);              // 0xC639
constexpr CommandWord REPLY_UPDATE_REQUEST_EX = ReplyWord(CMD_UPDATE_REQUEST_EX);  // 0xC738

constexpr std::int32_t RESULT_OK = 0;
constexpr std::int32_t RESULT_FAILED = -1;
constexpr std::int32_t RESULT_BAD_PASSWORD = static_cast<std::int32_t>(0x80000001u);

struct DatagramHeader {
    std::uint16_t headerLength;
    std::uint32_t protocolVersion;
    CommandWord commandWord;
    std::uint16_t payloadLength;
    StationId sourceId;
    StationId destinationId;
    std::int32_t resultCode;
};

// Reads the header of a datagram of length bytes. Bytes that lie beyond the
// datagram's end read as zero (a 30- or 31-byte datagram has a partial resultCode).
DatagramHeader ReadHeader(const std::uint8_t* datagram, int length);
// Writes a request header into the first HEADER_LENGTH bytes (which must be zero).
void WriteRequestHeader(std::uint8_t* datagram, CommandWord command, std::uint16_t payloadLength,
                        const StationId& destination);

// The acceptance test: 1 when a received datagram of length bytes may be queued.
int AcceptDatagram(const std::uint8_t* datagram, int length);
// Receives one datagram into buffer (MAX_DATAGRAM bytes) and applies the acceptance
// test. Returns its length when accepted, 0 when nothing was received or it was rejected.
int ReceiveDatagram(SocketHandle socket, std::uint8_t* buffer);
