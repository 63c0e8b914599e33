// Exchange engine. Runs inside the dialog's timer, datagram and command handling;
// handlers it calls may start, stop or chain exchanges before they return.
#include "procedures/exchange.h"

#include <algorithm>
#include <cstring>

#include "protocol/endpoint.h"
#include "protocol/reply_queue.h"
#include "protocol/requests.h"
#include "registry/catalogue.h"
#include "ui/display.h"

ExchangeEngine exchange = {};

static void DatagramNotificationsOn(Window dialog) { SubscribeDatagrams(DatagramSocket, dialog); }
static void DatagramNotificationsOff(Window dialog) { UnsubscribeDatagrams(DatagramSocket, dialog); }

static void StartTickTimerIfIdle(Window dialog) {
    if (exchange.tickTimer == 0) exchange.tickTimer = SetWindowTimer(dialog, TICK_TIMER_ID, TICK_MS);
}

int StartExchange(Window dialog, std::uint32_t firstWaitMs, std::uint32_t retryIntervalMs, int collect,
                  std::uint32_t sendings, CommandWord command, StationRecord* station, PhaseHandler handler) {
    ClearReplies();
    exchange.command = command;
    exchange.phaseHandler = handler;
    exchange.retriesLeft = sendings - 1;
    exchange.collect = (collect & 1) != 0;
    exchange.retryTicks = retryIntervalMs / 100;
    exchange.countdown = firstWaitMs / 100;
    exchange.station = station;
    const auto total = static_cast<std::uint16_t>((sendings - 1) * exchange.retryTicks + exchange.countdown);
    exchange.progressCounter = total;
    exchange.progressEnd = total;
    if (station) exchange.catalogueIndex = MatchCatalogue(station->identity, station->modelCode);
    const bool wasRunning = exchange.busy || exchange.tickTimer != 0;

    DatagramNotificationsOn(dialog);
    SendRequest(DatagramSocket, exchange.command, exchange.station);
    StartTickTimerIfIdle(dialog);
    SetProgressRange(dialog, total);
    exchange.progressCounter = 0;

    if (wasRunning) return 0;
    exchange.dialog = dialog;
    exchange.busy = true;
    SetControlsEnabled(dialog, false);
    return 1;
}

int StopExchange(Window dialog) {
    SetControlsEnabled(dialog, true);
    if (!exchange.busy) return 0;
    exchange.retriesLeft = 0;
    exchange.busy = false;
    SetProgressPosition(dialog, exchange.progressEnd);
    if (exchange.tickTimer != 0) KillWindowTimer(dialog, exchange.tickTimer);
    exchange.tickTimer = 0;
    return 1;
}

int ContinueExchange(Window dialog) {
    DatagramNotificationsOn(dialog);
    SendRequest(DatagramSocket, exchange.command, exchange.station);
    StartTickTimerIfIdle(dialog);
    exchange.busy = true;
    SetControlsEnabled(dialog, false);
    return 1;
}

int AdvanceProgressSlot(Window dialog) {
    exchange.progressCounter = exchange.progressEnd;
    exchange.progressEnd = static_cast<std::uint16_t>(exchange.progressEnd + exchange.progressIncrement);
    SetProgressPosition(dialog, exchange.progressCounter);
    return 1;
}

void ExchangeTick(Window dialog) {
    ++exchange.progressCounter;
    SetProgressPosition(dialog, exchange.progressCounter);
    if (exchange.countdown > 0) {
        --exchange.countdown;
        return;
    }
    exchange.countdown = exchange.retryTicks;
    if (exchange.retriesLeft > 0) {
        SendRequest(DatagramSocket, exchange.command, exchange.station);
        --exchange.retriesLeft;
        return;
    }
    StopExchange(dialog);
    DatagramNotificationsOff(dialog);
    if (exchange.phaseHandler) exchange.phaseHandler(dialog, EV_TIMEOUT);
}

void DispatchArrival(Window dialog) {
    if (!ReceiveReply(DatagramSocket)) return;
    if (exchange.collect || !exchange.busy || !exchange.phaseHandler) return;
    if (exchange.phaseHandler(dialog, EV_ARRIVAL) == 1) {
        StopExchange(dialog);
        DatagramNotificationsOff(dialog);
    }
}

void CancelExchange(Window dialog) {
    StopExchange(dialog);
    DatagramNotificationsOff(dialog);
    if (exchange.phaseHandler) exchange.phaseHandler(dialog, EV_CANCEL);
}

int CopyQueuedReply(int position, QueuedReply* reply) {
    if (!CopyReply(position, reply->bytes, MAX_DATAGRAM)) return 0;
    reply->header = ReadHeader(reply->bytes, MAX_DATAGRAM);
    reply->length = reply->header.headerLength + reply->header.payloadLength;
    // resultCode bytes beyond a 30- or 31-byte datagram's end count as zero.
    if (reply->length < HEADER_LENGTH) reply->header = ReadHeader(reply->bytes, reply->length);
    return 1;
}

int FindQueuedReply(CommandWord replyWord, const StationRecord* station, QueuedReply* reply) {
    for (int i = 0; CopyQueuedReply(i, reply); ++i)
        if (reply->header.commandWord == replyWord && reply->header.sourceId == station->stationId) return i;
    return -1;
}

void StoreModuleText(StationRecord* station, const QueuedReply& reply) {
    const int start = std::min<int>(reply.header.headerLength, reply.length);
    const int length = std::min({int{reply.header.payloadLength}, reply.length - start, MODULE_TEXT_SIZE});
    // A shorter text than the one before must not leave the old one's tail behind.
    std::memset(station->moduleText, 0, sizeof station->moduleText);
    std::memcpy(station->moduleText, reply.bytes + start, static_cast<std::size_t>(length));
}
