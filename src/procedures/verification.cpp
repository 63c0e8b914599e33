// Verification: text 21 and polling by CMD_FIND (main firmware, 60 sendings) or
// CMD_MODULE_INFO (module firmware, 230 sendings), then 27, 28 or 29.
#include "procedures/verification.h"

#include <cstring>

#include "protocol/reply_queue.h"
#include "protocol/upload_channel.h"
#include "procedures/search.h"
#include "procedures/upload.h"
#include "registry/catalogue.h"
#include "ui/display.h"

static void EndUpdate(Window dialog) {
    SetControlsEnabled(dialog, true);
    upload.updateState = US_IDLE;
}

static TextId FailedTransferText(UpdateState state) {
    switch (state) {
        case US_AWAIT_RESULT:
            return 22;
        case US_USER_ABORT:
            return 24;
        case US_ERROR_ABORT:
            return 23;
        default:
            return 0;
    }
}

static int StartRebootPolling(Window dialog, StationRecord* station) {
    // Without a catalogue row the station is polled as for main firmware; the
    // polling counts a missing row as success.
    const std::uint32_t kindClass =
        exchange.catalogueIndex == -1 ? KIND_MAIN : KindClass(FirmwareCatalogue[exchange.catalogueIndex].kind);
    switch (kindClass) {
        case KIND_MAIN:
            return StartExchange(dialog, 1000, 1000, DISPATCH, 60, CMD_FIND, station, RebootPollHandler);
        case KIND_ISDN_MODULE:
        case KIND_MODEM_MODULE:
            station->moduleSelector = kindClass == KIND_ISDN_MODULE ? 0 : 1;
            return StartExchange(dialog, 1000, 1000, DISPATCH, 230, CMD_MODULE_INFO, station,
                                 ModuleRebootPollHandler);
        default:
            EndUpdate(dialog);
            return 1;
    }
}

int TransferResultHandler(Window dialog, ExchangeEvent event) {
    QueuedReply reply;
    const int position =
        event == EV_ARRIVAL ? FindQueuedReply(REPLY_TRANSFER_RESULT, exchange.station, &reply) : -1;
    if (event == EV_ARRIVAL && position == -1) return 0;
    // The exchange ends here, whatever its outcome: a connection a user abort left
    // open is of no further use.
    CloseUploadChannel();
    if (event == EV_TIMEOUT) {
        EndUpdate(dialog);
        ShowStatusWithText(dialog, 12, 17);
        return 1;
    }
    if (event == EV_CANCEL) {
        EndUpdate(dialog);
        return 1;
    }
    const std::int32_t result = reply.header.resultCode;
    if (result == RESULT_OK) {
        ShowStatus(dialog, 21);
        upload.updateState = US_IDLE;
        return StartRebootPolling(dialog, exchange.station);
    }
    if (result == RESULT_FAILED) {
        const TextId text = FailedTransferText(upload.updateState);
        if (text != 0) ShowStatus(dialog, text);
    } else {
        ShowStatusNumber(dialog, 14, result);
    }
    EndUpdate(dialog);
    return 1;
}

static TextId VerdictFor(const char* reported) {
    if (exchange.catalogueIndex == -1) return 27;
    const char* expected = FirmwareCatalogue[exchange.catalogueIndex].expectedIdentity;
    return std::strncmp(reported, expected, std::strlen(expected)) == 0 ? 27 : 28;
}

static int EndPolling(Window dialog, ExchangeEvent event) {
    SetControlsEnabled(dialog, true);
    if (event == EV_TIMEOUT) ShowStatus(dialog, 29);
    return 1;
}

int RebootPollHandler(Window dialog, ExchangeEvent event) {
    if (event != EV_ARRIVAL) return EndPolling(dialog, event);
    StationRecord* station = DecodeQueuedDiscoveryReplies(exchange.station);
    if (!station) return 0;
    SetControlsEnabled(dialog, true);
    ShowStatus(dialog, VerdictFor(station->identity));
    return 1;
}

int ModuleRebootPollHandler(Window dialog, ExchangeEvent event) {
    if (event != EV_ARRIVAL) return EndPolling(dialog, event);
    StationRecord* station = exchange.station;
    QueuedReply reply;
    const int position = FindQueuedReply(REPLY_MODULE_INFO, station, &reply);
    if (position == -1) return 0;
    StoreModuleText(station, reply);
    RemoveReply(position);
    SetControlsEnabled(dialog, true);
    // moduleText may fill its field without a terminator.
    char reported[MODULE_TEXT_SIZE + 1] = {};
    std::memcpy(reported, station->moduleText, MODULE_TEXT_SIZE);
    ShowStatus(dialog, VerdictFor(reported));
    return 1;
}
