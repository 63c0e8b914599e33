// The firmware upload over the upload channel, with its watchdogs and aborts.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "registry/station_list.h"

using UpdateState = std::int32_t;
constexpr UpdateState US_IDLE = 0;
constexpr UpdateState US_CONNECTING = 1;
constexpr UpdateState US_SENDING = 2;
constexpr UpdateState US_AWAIT_RESULT = 3;
constexpr UpdateState US_USER_ABORT = 4;
constexpr UpdateState US_ERROR_ABORT = 5;
constexpr UpdateState US_CLOSING = 6;

constexpr int CHUNK_SIZE = 1024;
constexpr unsigned WATCHDOG_TIMER_ID = 1;
constexpr unsigned CONNECT_WATCHDOG_MS = 30000;
constexpr unsigned CHUNK_WATCHDOG_MS = 10000;

struct UploadState {
    UpdateState updateState;
    std::uint32_t bytesRemaining;
    const std::uint8_t* readPosition;
    std::int32_t chunkCount;
    StationRecord* uploadTarget;
    unsigned watchdogTimer;
};

extern UploadState upload;

int StartUpload(Window dialog, StationRecord* station);
void UploadSocketEvent(Window dialog, std::uint32_t lParam);
void UploadWatchdog(Window dialog);
void AbortUploadByUser(Window dialog);
int PumpChunk(Window dialog);
int AbortUploadOnError(Window dialog, std::uint32_t event);
int RequestTransferResult(Window dialog);
