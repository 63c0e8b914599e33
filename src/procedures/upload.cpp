// Upload: connect (30 s watchdog), one chunk of at most 1024 bytes per write-ready
// notification (10 s watchdog each), shutdown and close, then the transfer result.
#include "procedures/upload.h"

#include <algorithm>

#include "app/firmware_image.h"
#include "procedures/exchange.h"
#include "procedures/verification.h"
#include "protocol/upload_channel.h"
#include "ui/display.h"

UploadState upload = {};

static void StopWatchdog(Window dialog) {
    if (upload.watchdogTimer != 0) KillWindowTimer(dialog, upload.watchdogTimer);
    upload.watchdogTimer = 0;
}

static void StartWatchdog(Window dialog, unsigned ms) {
    upload.watchdogTimer = SetWindowTimer(dialog, WATCHDOG_TIMER_ID, ms);
}

static void AskTransferResult(Window dialog) {
    StartExchange(dialog, 3000, 3000, DISPATCH, 3, CMD_TRANSFER_RESULT, upload.uploadTarget, TransferResultHandler);
}

int StartUpload(Window dialog, StationRecord* station) {
    // A connection that a user abort left open goes before a new one opens.
    CloseUploadChannel();
    SetControlsEnabled(dialog, false);
    upload.bytesRemaining = firmwareImage.count;
    upload.chunkCount = 0;
    upload.uploadTarget = station;
    upload.updateState = US_CONNECTING;
    upload.readPosition = firmwareImage.bytes;
    SetProgressRange(dialog, static_cast<std::uint16_t>(firmwareImage.count / CHUNK_SIZE));
    ShowStatus(dialog, 19);
    StartWatchdog(dialog, CONNECT_WATCHDOG_MS);
    return OpenUploadChannel(station, dialog);
}

static bool ConnectionInUse() {
    const UpdateState s = upload.updateState;
    return s == US_CONNECTING || s == US_SENDING || s == US_CLOSING;
}

void UploadSocketEvent(Window dialog, std::uint32_t lParam) {
    if (!ConnectionInUse()) return;
    StopWatchdog(dialog);
    const std::uint32_t event = lParam & 0xFFFF;
    const std::uint32_t error = lParam >> 16;
    if (error != 0) {
        AbortUploadOnError(dialog, lParam);
        return;
    }
    switch (event) {
        case NOTIFY_CONNECT:
            if (upload.updateState != US_CONNECTING) return;
            ShowStatus(dialog, 15);
            upload.updateState = US_SENDING;
            break;
        case NOTIFY_WRITE:
            if (upload.updateState != US_SENDING) return;
            break;
        case NOTIFY_CLOSE:
            // Closed before it was made: with the watchdog stopped, nothing else would
            // end the attempt.
            if (upload.updateState == US_SENDING || upload.updateState == US_CONNECTING)
                AbortUploadOnError(dialog, lParam);
            return;
        default:
            return;
    }
    if (PumpChunk(dialog) == 1) {
        upload.updateState = US_CLOSING;
        FinishUploadSending();
        CloseUploadChannel();
        RequestTransferResult(dialog);
    }
}

int PumpChunk(Window dialog) {
    if (upload.bytesRemaining == 0) return 1;
    const int length = static_cast<int>(std::min<std::uint32_t>(upload.bytesRemaining, CHUNK_SIZE));
    const int accepted = SendUploadChunk(upload.readPosition, length, dialog);
    // Nothing accepted: the same bytes go again at the next write-ready notification.
    if (accepted > 0) {
        const auto n = static_cast<std::uint32_t>(std::min(accepted, length));
        ++upload.chunkCount;
        SetProgressPosition(dialog, static_cast<std::uint16_t>(upload.chunkCount));
        upload.readPosition += n;
        upload.bytesRemaining -= n;
    }
    StartWatchdog(dialog, CHUNK_WATCHDOG_MS);
    return 0;
}

int RequestTransferResult(Window dialog) {
    upload.updateState = US_AWAIT_RESULT;
    AskTransferResult(dialog);
    return 1;
}

void UploadWatchdog(Window dialog) {
    StopWatchdog(dialog);
    switch (upload.updateState) {
        case US_IDLE:
            return;
        case US_CONNECTING:
            AbortUploadOnError(dialog, NOTIFY_CONNECT);
            return;
        case US_SENDING:
            AbortUploadOnError(dialog, NOTIFY_WRITE);
            return;
        default:
            AbortUploadOnError(dialog, NOTIFY_CLOSE);
            return;
    }
}

int AbortUploadOnError(Window dialog, std::uint32_t event) {
    if (upload.updateState == US_IDLE || upload.updateState == US_ERROR_ABORT) return 0;
    upload.updateState = US_ERROR_ABORT;
    CloseUploadChannel();
    if ((event & 0xFFFF) == NOTIFY_WRITE) {
        ShowStatus(dialog, 25);
        AskTransferResult(dialog);
        return 1;
    }
    ShowStatusWithText(dialog, 12, 17);
    SetControlsEnabled(dialog, true);
    upload.updateState = US_IDLE;
    return 1;
}

void AbortUploadByUser(Window dialog) {
    upload.updateState = US_USER_ABORT;
    StopWatchdog(dialog);
    // Nothing more is sent; the connection is closed once the transfer result is known.
    StopUploadNotifications(dialog);
    ShowStatus(dialog, 26);
    AskTransferResult(dialog);
}
