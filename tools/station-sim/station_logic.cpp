// Requests in, replies out, as a KVZ-3170 station does it. Layouts come from the
// shared wire headers; only the station's own side is written here.
#include "station_logic.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "protocol/bytes.h"
#include "protocol/scramble.h"
#include "registry/discovery.h"

namespace {

// Fixed part of the discovery payload by reply version: the fields that version
// carries, plus the text field that follows the model code from 0x10002 on.
int DiscoveryFixedLength(std::uint32_t version) {
    if (version < REPLY_VERSION_TAIL_IDENTITY) return PAYLOAD_SHORT_IDENTITY + SHORT_IDENTITY_FIELD;  // 96
    if (version < REPLY_VERSION_MODEL_CODE) return PAYLOAD_IDENTITY_BACK_OFFSET + 2;                 // 132
    return DISCOVERY_FIELDS_END + 16;                                                                 // 156
}

void CopyText(std::uint8_t* field, int fieldSize, const std::string& text) {
    std::memcpy(field, text.data(), std::min<std::size_t>(text.size(), fieldSize));
}

}  // namespace

const char* CommandName(CommandWord word) {
    switch (word) {
        case CMD_FIND: return "CMD_FIND";
        case CMD_UPDATE_REQUEST: return "CMD_UPDATE_REQUEST";
        case CMD_TRANSFER_RESULT: return "CMD_TRANSFER_RESULT";
        case CMD_MODULE_INFO: return "CMD_MODULE_INFO";
        case CMD_UPDATE_REQUEST_EX: return "CMD_UPDATE_REQUEST_EX";
        default: return "unknown request";
    }
}

StationRequest ReadStationRequest(const std::uint8_t* datagram, int length) {
    StationRequest request;
    if (length < HEADER_LENGTH) {
        request.reason = "shorter than a header";
        return request;
    }
    std::uint16_t headerLength = ReadU16(datagram + OFFSET_HEADER_LENGTH);
    std::uint16_t payloadLength = ReadU16(datagram + OFFSET_PAYLOAD_LENGTH);
    request.protocolVersion = ReadU32(datagram + OFFSET_PROTOCOL_VERSION);
    request.commandWord = ReadU16(datagram + OFFSET_COMMAND_WORD);
    std::copy_n(datagram + OFFSET_SOURCE_ID, 6, request.sourceId.begin());
    std::copy_n(datagram + OFFSET_DESTINATION_ID, 6, request.destinationId.begin());
    std::uint8_t high = static_cast<std::uint8_t>(request.commandWord >> 8);
    std::uint8_t low = static_cast<std::uint8_t>(request.commandWord);
    if (headerLength < HEADER_LENGTH || static_cast<int>(headerLength) + payloadLength != length) {
        request.reason = "length fields disagree with the datagram";
    } else if (request.protocolVersion < MIN_PROTOCOL_VERSION) {
        request.reason = "protocol version too old";
    } else if ((high & 0xC0) != 0x80 || low != static_cast<std::uint8_t>(~high)) {
        request.reason = "not a request word";
    } else {
        request.valid = true;
        request.payload.assign(datagram + headerLength, datagram + length);
    }
    return request;
}

bool IsAddressedTo(const StationRequest& request, const StationId& station) {
    return request.destinationId == BROADCAST_STATION_ID || request.destinationId == station;
}

std::vector<std::uint8_t> BuildReply(const StationConfig& station, CommandWord replyWord,
                                     const StationId& requester, std::int32_t resultCode,
                                     const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> reply(HEADER_LENGTH + payload.size(), 0);
    WriteU16(&reply[OFFSET_HEADER_LENGTH], HEADER_LENGTH);
    WriteU32(&reply[OFFSET_PROTOCOL_VERSION], station.replyVersion);
    WriteU16(&reply[OFFSET_COMMAND_WORD], replyWord);
    WriteU16(&reply[OFFSET_PAYLOAD_LENGTH], static_cast<std::uint16_t>(payload.size()));
    std::copy(station.stationId.begin(), station.stationId.end(), &reply[OFFSET_SOURCE_ID]);
    std::copy(requester.begin(), requester.end(), &reply[OFFSET_DESTINATION_ID]);
    WriteU32(&reply[OFFSET_RESULT_CODE], static_cast<std::uint32_t>(resultCode));
    std::copy(payload.begin(), payload.end(), reply.begin() + HEADER_LENGTH);
    return reply;
}

std::vector<std::uint8_t> BuildDiscoveryReply(const StationConfig& station, const std::string& identity,
                                              std::uint32_t seed, const StationId& requester) {
    const std::uint32_t version = station.replyVersion;
    std::vector<std::uint8_t> payload(DiscoveryFixedLength(version), 0);
    WriteU32(&payload[PAYLOAD_IP_ADDRESS], station.ipAddress);
    WriteU32(&payload[PAYLOAD_NETMASK], station.netmask);
    std::uint16_t status = 0;
    if (station.updatable) status |= STATUS_UPDATABLE;
    if (station.updating) status |= STATUS_UPDATING;
    if (station.extended) status |= STATUS_EXTENDED_REQUEST;
    if (station.hasModule) status |= STATUS_HAS_MODULE;
    WriteU16(&payload[PAYLOAD_STATUS_WORD], status);
    WriteU32(&payload[PAYLOAD_SEED], seed);
    CopyText(&payload[PAYLOAD_PRODUCT_NAME], PRODUCT_NAME_FIELD, station.productName);
    CopyText(&payload[PAYLOAD_SHORT_IDENTITY], SHORT_IDENTITY_FIELD, identity);
    if (version >= REPLY_VERSION_MODEL_CODE) WriteU16(&payload[PAYLOAD_MODEL_CODE], station.modelCode);

    bool tail = version >= REPLY_VERSION_TAIL_IDENTITY && station.tailIdentity != 0;
    if (tail) {
        // The back-offset counts from the tail's first byte to the payload's end.
        std::uint16_t backOffset = static_cast<std::uint16_t>(identity.size() + 1);
        WriteU16(&payload[PAYLOAD_IDENTITY_BACK_OFFSET], backOffset);
        payload.insert(payload.end(), identity.begin(), identity.end());
        payload.push_back(0);
    }
    return BuildReply(station, REPLY_FIND, requester, RESULT_OK, payload);
}

bool PasswordMatches(const std::string& password, std::uint32_t seed, const std::uint8_t scrambled[8]) {
    char field[9] = {};
    std::memcpy(field, password.data(), std::min<std::size_t>(password.size(), 8));
    std::uint8_t expected[8];
    ScrambleSecret(expected, field, seed);
    return std::memcmp(expected, scrambled, 8) == 0;
}

UpdateDecision DecideUpdateRequest(const StationConfig& station, std::uint32_t lastSeed,
                                   const StationRequest& request) {
    UpdateDecision decision{false, RESULT_FAILED, 0, ""};
    const bool extendedRequest = request.commandWord == CMD_UPDATE_REQUEST_EX;
    const std::size_t wanted = (extendedRequest ? UPDATE_REQUEST_EX_LENGTH : UPDATE_REQUEST_LENGTH) - HEADER_LENGTH;
    if (request.payload.size() != wanted) {
        decision.detail = "payload of " + std::to_string(request.payload.size()) + " bytes, expected " +
                          std::to_string(wanted) + ": ignored";
        return decision;
    }
    if (extendedRequest && !station.extended) {
        decision.detail = "extended request not taken by this station: ignored";
        return decision;
    }
    decision.understood = true;
    // The request offsets count from the datagram's start, the payload from byte 32.
    auto at = [&request](int offset) { return request.payload.data() + (offset - HEADER_LENGTH); };
    decision.imageSize = ReadU32(at(OFFSET_IMAGE_SIZE));
    char text[160];
    if (extendedRequest)
        std::snprintf(text, sizeof text, "size %u, module word %u, kind %u, version code 0x%04x", decision.imageSize,
                      ReadU32(at(OFFSET_MODULE_WORD)), ReadU32(at(OFFSET_KIND)), ReadU32(at(OFFSET_VERSION_CODE)));
    else
        std::snprintf(text, sizeof text, "size %u", decision.imageSize);
    decision.detail = text;

    const std::uint8_t* scrambled = at(extendedRequest ? OFFSET_SCRAMBLED_PASSWORD_EX : OFFSET_SCRAMBLED_PASSWORD);
    const bool passwordOk = PasswordMatches(station.password, lastSeed, scrambled);
    decision.detail += passwordOk ? ", password ok" : ", password wrong";
    if (station.forceUpdateResult) {
        decision.result = station.updateResult;
        decision.detail += " (result set by option)";
    } else if (!passwordOk) {
        decision.result = RESULT_BAD_PASSWORD;
    } else if (decision.imageSize == 0) {
        decision.result = RESULT_FAILED;
        decision.detail += ", empty image refused";
    } else {
        decision.result = RESULT_OK;
    }
    return decision;
}

bool SeriesDropper::Drop(const StationRequest& request, double now) {
    std::vector<std::uint8_t> key;
    key.push_back(static_cast<std::uint8_t>(request.commandWord));
    key.push_back(static_cast<std::uint8_t>(request.commandWord >> 8));
    key.insert(key.end(), request.destinationId.begin(), request.destinationId.end());
    key.insert(key.end(), request.payload.begin(), request.payload.end());
    if (key != lastKey || now - lastTime >= SERIES_GAP) {
        lastKey = key;
        position = 0;
    }
    lastTime = now;
    ++position;
    return position <= dropFirst;
}
