// Builders for the datagrams a station sends, so wire cases read as tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/datagram.h"

using Bytes = std::vector<std::uint8_t>;

// A reply header (32 bytes) followed by payload.
Bytes ReplyDatagram(CommandWord replyWord, const StationId& source, const StationId& destination,
                    const Bytes& payload, std::int32_t resultCode = 0, std::uint32_t version = 0x00010003);

struct DiscoveryReply {
    std::uint32_t version = 0x00010003;
    std::uint32_t ipAddress = 0xC000020B;  // 192.0.2.11
    std::uint32_t netmask = 0xFFFFFF00;
    std::uint16_t status = 1u << 8;  // updatable
    std::uint32_t seed = 0x12345678;
    std::string productName = "LuminaGate KVZ-3170";
    std::string shortIdentity = "KVZ-3170 2.02";
    std::string tailIdentity;    // appended after the fixed fields when not empty
    int backOffset = -1;         // -1: computed from tailIdentity (0 when none)
    std::uint16_t modelCode = 52;
    int fixedLength = 140;       // bytes of the fixed fields sent (short replies)

    Bytes Payload() const;
    Bytes Datagram(const StationId& source, const StationId& destination) const;
};

StationId MakeStationId(std::uint8_t last);
