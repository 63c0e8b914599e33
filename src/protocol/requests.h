// The requests this PC sends, and SendRequest, the single entry that builds and
// sends one by its command word.
#pragma once

#include "platform/platform.h"
#include "protocol/datagram.h"
#include "registry/station_list.h"

// Payload sizes and offsets of the requests.
constexpr int UPDATE_REQUEST_PAYLOAD = 12;
constexpr int UPDATE_REQUEST_EX_PAYLOAD = 24;
constexpr int MODULE_INFO_PAYLOAD = 4;
constexpr int OFFSET_IMAGE_SIZE = 32;
constexpr int OFFSET_SCRAMBLED_PASSWORD = 36;
constexpr int OFFSET_MODULE_WORD = 36;
constexpr int OFFSET_KIND = 40;
constexpr int OFFSET_VERSION_CODE = 44;
constexpr int OFFSET_SCRAMBLED_PASSWORD_EX = 48;
constexpr int OFFSET_MODULE_SELECTOR = 32;

// Sends the request for command to station (nullptr: CMD_FIND to every station).
// A command word outside the table sends nothing.
void SendRequest(SocketHandle socket, CommandWord command, const StationRecord* station);

void SendFindRequest(SocketHandle socket, const StationRecord* station);
void SendUpdateRequest(SocketHandle socket, const StationRecord* station);
void SendTransferResultRequest(SocketHandle socket, const StationRecord* station);
void SendModuleInfoRequest(SocketHandle socket, const StationRecord* station, std::uint32_t moduleSelector);
void SendUpdateRequestEx(SocketHandle socket, const StationRecord* station, std::uint32_t moduleWord,
                         std::uint32_t kind, std::uint32_t versionCode);
