// The record kept for each station that answered, and the one StationList that
// owns them (a singly linked list in order of the stations' first replies).
#pragma once

#include <cstdint>

#include "protocol/datagram.h"

constexpr std::uint32_t SF_UPDATABLE = 0x40;
constexpr std::uint32_t SF_UPDATING = 0x80;
constexpr std::uint32_t SF_EXTENDED_REQUEST = 0x100;
constexpr std::uint32_t SF_HAS_MODULE = 0x200;

constexpr int PRODUCT_NAME_SIZE = 33;
constexpr int PASSWORD_SIZE = 9;
constexpr int IDENTITY_SIZE = 256;
constexpr int MODULE_TEXT_SIZE = 256;

struct StationRecord {
    StationRecord* next;
    char productName[PRODUCT_NAME_SIZE];
    char password[PASSWORD_SIZE];
    StationId stationId;
    std::uint32_t flags;
    std::uint32_t seed;
    std::uint32_t ipAddress;
    std::uint32_t netmask;
    std::int32_t listIndex;
    char identity[IDENTITY_SIZE];
    std::uint16_t modelCode;
    char moduleText[MODULE_TEXT_SIZE];
    std::uint32_t moduleSelector;
};

// A new record with every field zero linked as the tail; nullptr when out of memory.
StationRecord* AppendStation();
StationRecord* FirstStation();
StationRecord* FindStation(const StationId& stationId);
// 1 when the record was in the list (unlinked and freed), 0 otherwise (nothing changes).
int RemoveStation(StationRecord* station);
int RemoveAllStations();
