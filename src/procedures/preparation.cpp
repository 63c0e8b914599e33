// Preparation: a CMD_FIND addressed to the chosen station refreshes its seed and
// flags, then CMD_UPDATE_REQUEST(_EX) carries the scrambled password.
#include "procedures/preparation.h"

#include "protocol/endpoint.h"
#include "protocol/reply_queue.h"
#include "procedures/search.h"
#include "procedures/upload.h"
#include "ui/display.h"

int StartPreparation(Window dialog, StationRecord* station) {
    ShowStatus(dialog, 18);
    return StartExchange(dialog, 3000, 3000, DISPATCH, 3, CMD_FIND, station, RefindHandler);
}

static bool UsesExtendedRequest(const StationRecord* station) {
    return (station->flags & SF_EXTENDED_REQUEST) != 0;
}

int RefindHandler(Window dialog, ExchangeEvent event) {
    if (event != EV_ARRIVAL) {
        ShowStatusWithText(dialog, 12, 17);
        return 1;
    }
    StationRecord* station = DecodeQueuedDiscoveryReplies(exchange.station);
    if (!station) return 0;
    StopExchange(dialog);
    const CommandWord request = UsesExtendedRequest(station) ? CMD_UPDATE_REQUEST_EX : CMD_UPDATE_REQUEST;
    StartExchange(dialog, 3000, 3000, DISPATCH, 3, request, station, UpdateReplyHandler);
    return 0;
}

// Text 16 when this PC is not in the station's network by the station's own netmask.
static void ShowUnanswered(Window dialog, const StationRecord* station) {
    const std::uint32_t host = LocalHostAddress();
    const std::uint32_t mask = station->netmask;
    const TextId hint = (station->ipAddress & mask) == (host & mask) ? 17 : 16;
    ShowStatusWithText(dialog, 12, hint);
}

int UpdateReplyHandler(Window dialog, ExchangeEvent event) {
    StationRecord* station = exchange.station;
    if (event == EV_TIMEOUT) {
        ShowUnanswered(dialog, station);
        return 1;
    }
    if (event == EV_CANCEL) return 1;

    const CommandWord expected = UsesExtendedRequest(station) ? REPLY_UPDATE_REQUEST_EX : REPLY_UPDATE_REQUEST;
    QueuedReply reply;
    const int position = FindQueuedReply(expected, station, &reply);
    if (position == -1) return 0;
    switch (reply.header.resultCode) {
        case RESULT_OK:
            StopExchange(dialog);
            RemoveReply(position);
            StartUpload(dialog, station);
            return 0;
        case RESULT_BAD_PASSWORD:
            ShowStatus(dialog, 13);
            return 1;
        case RESULT_FAILED:
            ShowStatus(dialog, 33);
            return 1;
        default:
            ShowStatusNumber(dialog, 14, reply.header.resultCode);
            return 1;
    }
}
