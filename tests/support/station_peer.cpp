// The scripted station's reactions to this PC's requests.
#include "support/station_peer.h"

#include <algorithm>
#include <cstring>

#include "app/firmware_image.h"
#include "protocol/bytes.h"
#include "protocol/requests.h"
#include "protocol/scramble.h"

void AddPeer(StationPeer& peer) { World().peers.push_back(&peer); }

void StationPeer::Reply(const StationId& to, CommandWord word, const Bytes& payload, std::int32_t result) {
    DeliverDatagram(ReplyDatagram(word, id, to, payload, result, discovery.version), replyDelayMs);
}

std::int32_t StationPeer::JudgeUpdate(const SentDatagram& request, int passwordOffset) const {
    if (fixedUpdateResult) return updateResult;
    char field[PASSWORD_SIZE] = {};
    std::strncpy(field, password.c_str(), PASSWORD_SIZE - 1);
    std::uint8_t expected[8];
    ScrambleSecret(expected, field, discovery.seed);
    const bool sizeFits = ReadU32(&request.bytes[OFFSET_IMAGE_SIZE]) == firmwareImage.count;
    if (std::memcmp(expected, &request.bytes[static_cast<std::size_t>(passwordOffset)], 8) != 0)
        return RESULT_BAD_PASSWORD;
    return sizeFits ? RESULT_OK : RESULT_FAILED;
}

std::int32_t StationPeer::JudgeTransfer() const {
    if (fixedTransferResult) return transferResult;
    const bool whole = imageShutdown && image.size() == firmwareImage.count &&
                       std::equal(image.begin(), image.end(), firmwareImage.bytes);
    return whole ? RESULT_OK : RESULT_FAILED;
}

void StationPeer::OnDatagram(const SentDatagram& d) {
    if (gone || d.bytes.size() < HEADER_LENGTH || d.port != STATION_PORT) return;
    if (d.ipAddress != BROADCAST_ADDRESS && d.ipAddress != Address()) return;
    const DatagramHeader h = ReadHeader(d.bytes.data(), static_cast<int>(d.bytes.size()));
    if (h.destinationId != id && h.destinationId != BROADCAST_STATION_ID) return;
    requests.push_back(d);
    const int seen = ++received[h.commandWord];
    if (seen <= silentFor[h.commandWord]) return;

    if (restarting) {
        if (World().nowMs < restartDoneAt || !restarts) return;
        restarting = false;
        discovery.shortIdentity = identityAfterRestart;
        discovery.tailIdentity.clear();
        if (!moduleTextAfterRestart.empty()) moduleText = moduleTextAfterRestart;
    }
    switch (h.commandWord) {
        case CMD_FIND:
            DeliverDatagram(discovery.Datagram(id, h.sourceId), replyDelayMs);
            break;
        case CMD_UPDATE_REQUEST:
            Reply(h.sourceId, REPLY_UPDATE_REQUEST, {}, JudgeUpdate(d, OFFSET_SCRAMBLED_PASSWORD));
            break;
        case CMD_UPDATE_REQUEST_EX:
            Reply(h.sourceId, REPLY_UPDATE_REQUEST_EX, {}, JudgeUpdate(d, OFFSET_SCRAMBLED_PASSWORD_EX));
            break;
        case CMD_TRANSFER_RESULT: {
            const std::int32_t result = JudgeTransfer();
            Reply(h.sourceId, REPLY_TRANSFER_RESULT, {}, result);
            if (result == RESULT_OK) {
                restarting = true;
                restartDoneAt = World().nowMs + restartMs;
            }
            break;
        }
        case CMD_MODULE_INFO:
            Reply(h.sourceId, REPLY_MODULE_INFO, Bytes(moduleText.begin(), moduleText.end()), moduleResult);
            break;
        default:
            break;
    }
}

int StationPeer::Receive(const std::uint8_t* bytes, int length) {
    ++sends;
    if (stallAfterBytes >= 0 && static_cast<long>(image.size()) >= stallAfterBytes) return -1;
    if (blockEveryNth > 0 && sends % blockEveryNth == 0) return 0;
    int take = maxPerSend > 0 ? std::min(length, maxPerSend) : length;
    if (stallAfterBytes >= 0) take = static_cast<int>(std::min<long>(take, stallAfterBytes - static_cast<long>(image.size())));
    if (closeAfterBytes >= 0) take = static_cast<int>(std::min<long>(take, closeAfterBytes - static_cast<long>(image.size())));
    if (take <= 0) return -1;
    image.insert(image.end(), bytes, bytes + take);
    return take;
}

int StationPeer::CountSent(CommandWord command) const {
    int n = 0;
    for (const SentDatagram& d : requests)
        if (ReadU16(&d.bytes[OFFSET_COMMAND_WORD]) == command) ++n;
    return n;
}
