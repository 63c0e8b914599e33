// Discovery reply decoding. Fields that a short reply does not carry read as zero,
// so no read ever leaves the received datagram.
#include "registry/discovery.h"

#include <algorithm>
#include <cstring>

#include "protocol/bytes.h"

namespace {

// The payload, zero-extended to the fixed fields' end so every field can be read.
struct PayloadView {
    std::uint8_t fixed[DISCOVERY_FIELDS_END];
    const std::uint8_t* bytes;  // the payload as received
    int length;                 // bytes of it inside the datagram
};

PayloadView ViewPayload(const std::uint8_t* datagram, int length, const DatagramHeader& h) {
    PayloadView view{};
    const int start = std::min<int>(h.headerLength, length);
    view.bytes = datagram + start;
    view.length = std::min<int>(h.payloadLength, length - start);
    std::memcpy(view.fixed, view.bytes, static_cast<std::size_t>(std::min(view.length, DISCOVERY_FIELDS_END)));
    return view;
}

void CopyField(char* destination, int destinationSize, const std::uint8_t* source, int sourceSize) {
    std::memset(destination, 0, static_cast<std::size_t>(destinationSize));
    std::memcpy(destination, source, static_cast<std::size_t>(std::min(sourceSize, destinationSize - 1)));
}

// The tail identity starts backOffset bytes before the payload's end. It ends at its
// terminator or at the payload's end; one of 256 bytes or more is cut to 255.
void CopyTailIdentity(StationRecord* station, const PayloadView& view, int backOffset) {
    const std::uint8_t* start = view.bytes + (view.length - backOffset);
    const auto* terminator = static_cast<const std::uint8_t*>(std::memchr(start, 0, static_cast<std::size_t>(backOffset)));
    const int textLength = terminator ? static_cast<int>(terminator - start) : backOffset;
    CopyField(station->identity, IDENTITY_SIZE, start, textLength);
}

}  // namespace

StationRecord* FillStationFromReply(const std::uint8_t* datagram, int length, StationRecord* station) {
    const DatagramHeader h = ReadHeader(datagram, length);
    if (h.commandWord != REPLY_FIND) return nullptr;
    const PayloadView view = ViewPayload(datagram, length, h);
    const std::uint8_t* p = view.fixed;
    const std::uint32_t version = h.protocolVersion;
    const std::uint16_t status = ReadU16(p + PAYLOAD_STATUS_WORD);

    CopyField(station->productName, PRODUCT_NAME_SIZE, p + PAYLOAD_PRODUCT_NAME, PRODUCT_NAME_FIELD);
    station->ipAddress = ReadU32(p + PAYLOAD_IP_ADDRESS);
    station->netmask = ReadU32(p + PAYLOAD_NETMASK);
    station->seed = ReadU32(p + PAYLOAD_SEED);
    station->stationId = h.sourceId;

    CopyField(station->identity, IDENTITY_SIZE, p + PAYLOAD_SHORT_IDENTITY, SHORT_IDENTITY_FIELD);
    if (version >= REPLY_VERSION_TAIL_IDENTITY) {
        const int backOffset = ReadU16(p + PAYLOAD_IDENTITY_BACK_OFFSET);
        if (backOffset != 0 && backOffset <= view.length) CopyTailIdentity(station, view, backOffset);
    }

    station->flags = 0;
    station->modelCode = 0;
    if (version >= REPLY_VERSION_MODEL_CODE) {
        if (status & STATUS_UPDATABLE) station->flags |= SF_UPDATABLE;
        if (status & STATUS_UPDATING) station->flags |= SF_UPDATING;
        station->modelCode = ReadU16(p + PAYLOAD_MODEL_CODE);
    }
    if (version >= REPLY_VERSION_EXTENDED) {
        if (status & STATUS_EXTENDED_REQUEST) station->flags |= SF_EXTENDED_REQUEST;
        if (status & STATUS_HAS_MODULE) station->flags |= SF_HAS_MODULE;
    }
    return station;
}

StationRecord* DecodeDiscoveryReply(const std::uint8_t* datagram, int length) {
    const DatagramHeader h = ReadHeader(datagram, length);
    if (h.commandWord != REPLY_FIND) return nullptr;
    StationRecord* station = FindStation(h.sourceId);
    if (!station) station = AppendStation();
    if (!station) return nullptr;
    return FillStationFromReply(datagram, length, station);
}
