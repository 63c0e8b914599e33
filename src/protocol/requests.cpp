// Request builders: zeroed storage, the header, the payload items, one datagram.
#include "protocol/requests.h"

#include "app/firmware_image.h"
#include "protocol/bytes.h"
#include "protocol/scramble.h"
#include "registry/catalogue.h"

namespace {

constexpr int LARGEST_REQUEST = HEADER_LENGTH + UPDATE_REQUEST_EX_PAYLOAD;

struct Request {
    std::uint8_t bytes[LARGEST_REQUEST] = {};
    int length = 0;
};

Request StartRequest(CommandWord command, int payloadLength, const StationId& destination) {
    Request request;
    WriteRequestHeader(request.bytes, command, static_cast<std::uint16_t>(payloadLength), destination);
    request.length = HEADER_LENGTH + payloadLength;
    return request;
}

void Send(SocketHandle socket, const Request& request, std::uint32_t ipAddress) {
    SendDatagramTo(socket, request.bytes, request.length, ipAddress, STATION_PORT);
}

}  // namespace

void SendFindRequest(SocketHandle socket, const StationRecord* station) {
    const StationId& destination = station ? station->stationId : BROADCAST_STATION_ID;
    Send(socket, StartRequest(CMD_FIND, 0, destination), BROADCAST_ADDRESS);
}

void SendUpdateRequest(SocketHandle socket, const StationRecord* station) {
    Request request = StartRequest(CMD_UPDATE_REQUEST, UPDATE_REQUEST_PAYLOAD, station->stationId);
    WriteU32(request.bytes + OFFSET_IMAGE_SIZE, firmwareImage.count);
    ScrambleSecret(request.bytes + OFFSET_SCRAMBLED_PASSWORD, station->password, station->seed);
    Send(socket, request, station->ipAddress);
}

void SendTransferResultRequest(SocketHandle socket, const StationRecord* station) {
    Send(socket, StartRequest(CMD_TRANSFER_RESULT, 0, station->stationId), station->ipAddress);
}

void SendModuleInfoRequest(SocketHandle socket, const StationRecord* station, std::uint32_t moduleSelector) {
    Request request = StartRequest(CMD_MODULE_INFO, MODULE_INFO_PAYLOAD, station->stationId);
    WriteU32(request.bytes + OFFSET_MODULE_SELECTOR, moduleSelector);
    Send(socket, request, BROADCAST_ADDRESS);
}

void SendUpdateRequestEx(SocketHandle socket, const StationRecord* station, std::uint32_t moduleWord,
                         std::uint32_t kind, std::uint32_t versionCode) {
    Request request = StartRequest(CMD_UPDATE_REQUEST_EX, UPDATE_REQUEST_EX_PAYLOAD, station->stationId);
    WriteU32(request.bytes + OFFSET_IMAGE_SIZE, firmwareImage.count);
    WriteU32(request.bytes + OFFSET_MODULE_WORD, moduleWord);
    WriteU32(request.bytes + OFFSET_KIND, kind);
    WriteU32(request.bytes + OFFSET_VERSION_CODE, versionCode);
    ScrambleSecret(request.bytes + OFFSET_SCRAMBLED_PASSWORD_EX, station->password, station->seed);
    Send(socket, request, station->ipAddress);
}

void SendRequest(SocketHandle socket, CommandWord command, const StationRecord* station) {
    // Every request but the broadcast find addresses one station.
    if (command != CMD_FIND && !station) return;
    switch (command) {
        case CMD_FIND:
            SendFindRequest(socket, station);
            break;
        case CMD_UPDATE_REQUEST:
            SendUpdateRequest(socket, station);
            break;
        case CMD_TRANSFER_RESULT:
            SendTransferResultRequest(socket, station);
            break;
        case CMD_MODULE_INFO:
            SendModuleInfoRequest(socket, station, station->moduleSelector);
            break;
        case CMD_UPDATE_REQUEST_EX: {
            // A station that no row fits gets nothing; its exchange times out.
            const int index = MatchCatalogue(station->identity, station->modelCode);
            if (index == -1) return;
            const CatalogueEntry& entry = FirmwareCatalogue[index];
            SendUpdateRequestEx(socket, station, entry.moduleWord, entry.kind, entry.versionCode);
            break;
        }
        default:
            break;
    }
}
