// Decoding of discovery replies (reply word 0xC03F) into station records.
#pragma once

#include <cstdint>

#include "registry/station_list.h"

// Reply versions from which further fields are carried.
constexpr std::uint32_t REPLY_VERSION_TAIL_IDENTITY = 0x00010001;
constexpr std::uint32_t REPLY_VERSION_MODEL_CODE = 0x00010002;
constexpr std::uint32_t REPLY_VERSION_EXTENDED = 0x00010003;

// Offsets within the discovery reply's payload.
constexpr int PAYLOAD_IP_ADDRESS = 0;
constexpr int PAYLOAD_NETMASK = 4;
constexpr int PAYLOAD_STATUS_WORD = 8;
constexpr int PAYLOAD_SEED = 12;
constexpr int PAYLOAD_PRODUCT_NAME = 16;
constexpr int PRODUCT_NAME_FIELD = 32;
constexpr int PAYLOAD_SHORT_IDENTITY = 80;
constexpr int SHORT_IDENTITY_FIELD = 16;
constexpr int PAYLOAD_IDENTITY_BACK_OFFSET = 130;
constexpr int PAYLOAD_MODEL_CODE = 138;
constexpr int DISCOVERY_FIELDS_END = 140;  // the fixed fields of version 0x10002 on

// Status word bits.
constexpr std::uint16_t STATUS_UPDATABLE = 1u << 8;
constexpr std::uint16_t STATUS_UPDATING = 1u << 9;
constexpr std::uint16_t STATUS_EXTENDED_REQUEST = 1u << 10;
constexpr std::uint16_t STATUS_HAS_MODULE = 1u << 11;

// The sender's record, found or created and refreshed; nullptr when the datagram is
// not a discovery reply or no record could be made. length: the whole datagram.
StationRecord* DecodeDiscoveryReply(const std::uint8_t* datagram, int length);
// Copies the reply into station; nullptr (nothing changed) when not a discovery reply.
StationRecord* FillStationFromReply(const std::uint8_t* datagram, int length, StationRecord* station);
