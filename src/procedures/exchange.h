// The exchange engine: one outstanding request, re-sent on a fixed schedule of
// 100 ms ticks, with time-out, progress, and a phase handler told what happened.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "protocol/datagram.h"
#include "registry/station_list.h"

using ExchangeEvent = std::int32_t;
constexpr ExchangeEvent EV_ARRIVAL = 0;
constexpr ExchangeEvent EV_CANCEL = 1;
constexpr ExchangeEvent EV_TIMEOUT = -1;

// Returns 1 when its exchange is finished (on EV_ARRIVAL), else 0.
using PhaseHandler = int (*)(Window dialog, ExchangeEvent event);

constexpr unsigned TICK_TIMER_ID = 1;
constexpr unsigned TICK_MS = 100;

struct ExchangeEngine {
    bool busy;
    bool collect;
    CommandWord command;
    StationRecord* station;
    std::int32_t catalogueIndex;
    std::uint32_t retriesLeft;
    std::uint32_t countdown;
    std::uint32_t retryTicks;
    std::uint16_t progressCounter;
    std::uint16_t progressEnd;
    std::uint16_t progressIncrement;
    PhaseHandler phaseHandler;
    Window dialog;
    unsigned tickTimer;
};

extern ExchangeEngine exchange;

constexpr int COLLECT = 1;
constexpr int DISPATCH = 0;

// 1 when a new exchange was started, 0 when the running one took the new parameters.
int StartExchange(Window dialog, std::uint32_t firstWaitMs, std::uint32_t retryIntervalMs, int collect,
                  std::uint32_t sendings, CommandWord command, StationRecord* station, PhaseHandler handler);
int StopExchange(Window dialog);
int ContinueExchange(Window dialog);
int AdvanceProgressSlot(Window dialog);
void ExchangeTick(Window dialog);
void DispatchArrival(Window dialog);
void CancelExchange(Window dialog);

// Header of a datagram copied out of the reply queue, and its length.
struct QueuedReply {
    std::uint8_t bytes[MAX_DATAGRAM];
    DatagramHeader header;
    int length;
};
// Copies the entry at position into reply; 1 when there was one.
int CopyQueuedReply(int position, QueuedReply* reply);
// Position of the first queued reply with this word from this station, -1 if none.
int FindQueuedReply(CommandWord replyWord, const StationRecord* station, QueuedReply* reply);
// Replaces moduleText by the reply's payload, at most MODULE_TEXT_SIZE bytes.
void StoreModuleText(StationRecord* station, const QueuedReply& reply);
