// Station-side datagram builders for the tests.
#include "support/packets.h"

#include <algorithm>
#include <cstring>

#include "protocol/bytes.h"
#include "registry/discovery.h"

Bytes ReplyDatagram(CommandWord replyWord, const StationId& source, const StationId& destination,
                    const Bytes& payload, std::int32_t resultCode, std::uint32_t version) {
    Bytes d(HEADER_LENGTH + payload.size(), 0);
    WriteU16(&d[OFFSET_HEADER_LENGTH], HEADER_LENGTH);
    WriteU32(&d[OFFSET_PROTOCOL_VERSION], version);
    WriteU16(&d[OFFSET_COMMAND_WORD], replyWord);
    WriteU16(&d[OFFSET_PAYLOAD_LENGTH], static_cast<std::uint16_t>(payload.size()));
    std::copy(source.begin(), source.end(), d.begin() + OFFSET_SOURCE_ID);
    std::copy(destination.begin(), destination.end(), d.begin() + OFFSET_DESTINATION_ID);
    WriteU32(&d[OFFSET_RESULT_CODE], static_cast<std::uint32_t>(resultCode));
    std::copy(payload.begin(), payload.end(), d.begin() + HEADER_LENGTH);
    return d;
}

static void PutText(Bytes& p, int offset, const std::string& text, int field) {
    std::memcpy(&p[static_cast<std::size_t>(offset)], text.data(), std::min<std::size_t>(text.size(), static_cast<std::size_t>(field)));
}

Bytes DiscoveryReply::Payload() const {
    Bytes p(DISCOVERY_FIELDS_END, 0);
    WriteU32(&p[PAYLOAD_IP_ADDRESS], ipAddress);
    WriteU32(&p[PAYLOAD_NETMASK], netmask);
    WriteU16(&p[PAYLOAD_STATUS_WORD], status);
    WriteU32(&p[PAYLOAD_SEED], seed);
    PutText(p, PAYLOAD_PRODUCT_NAME, productName, PRODUCT_NAME_FIELD);
    PutText(p, PAYLOAD_SHORT_IDENTITY, shortIdentity, SHORT_IDENTITY_FIELD);
    WriteU16(&p[PAYLOAD_MODEL_CODE], modelCode);
    int offset = backOffset;
    if (offset < 0) offset = tailIdentity.empty() ? 0 : static_cast<int>(tailIdentity.size()) + 1;
    WriteU16(&p[PAYLOAD_IDENTITY_BACK_OFFSET], static_cast<std::uint16_t>(offset));
    p.resize(static_cast<std::size_t>(fixedLength));
    if (!tailIdentity.empty()) {
        p.insert(p.end(), tailIdentity.begin(), tailIdentity.end());
        p.push_back(0);
    }
    return p;
}

Bytes DiscoveryReply::Datagram(const StationId& source, const StationId& destination) const {
    return ReplyDatagram(REPLY_FIND, source, destination, Payload(), 0, version);
}

StationId MakeStationId(std::uint8_t last) { return {0x02, 0x00, 0x5E, 0x10, 0x00, last}; }
