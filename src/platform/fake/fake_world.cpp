// The fake world's message loop in virtual time, and the reset to program start.
#include "platform/fake/fake_world.h"

#include <algorithm>
#include <limits>

#include "procedures/exchange.h"
#include "procedures/upload.h"
#include "protocol/endpoint.h"
#include "protocol/reply_queue.h"
#include "protocol/upload_channel.h"
#include "registry/catalogue.h"
#include "ui/display.h"
#include "ui/main_dialog.h"

namespace {

constexpr std::uint64_t NEVER = std::numeric_limits<std::uint64_t>::max();

FakeWorld* world = nullptr;

enum class EventKind { None, Datagram, Upload, Timer };

struct NextEvent {
    EventKind kind = EventKind::None;
    std::uint64_t atMs = NEVER;
    unsigned timerId = 0;
};

// Posted socket messages go before timers at the same moment: WM_TIMER is only
// delivered when nothing else waits.
NextEvent FindNextEvent() {
    FakeWorld& w = World();
    NextEvent next;
    if (w.datagramSubscribed && w.datagramOpen && !w.inbound.empty())
        next = {EventKind::Datagram, std::max(w.nowMs, w.inbound.front().atMs), 0};
    if (!w.uploadNotifications.empty() && w.uploadNotifications.front().atMs < next.atMs)
        next = {EventKind::Upload, w.uploadNotifications.front().atMs, 0};
    for (const auto& [id, timer] : w.timers)
        if (timer.nextMs < next.atMs) next = {EventKind::Timer, timer.nextMs, id};
    return next;
}

void DeliverUploadNotification() {
    FakeWorld& w = World();
    const FakeWorld::Posted posted = w.uploadNotifications.front();
    w.uploadNotifications.pop_front();
    if (posted.lParam == 0) {  // the connection can take data again
        for (FakeStream& s : w.streams) {
            if (s.handle != posted.socket) continue;
            s.writeBlocked = false;
            if (!s.closed && (s.mask & NOTIFY_WRITE)) MainDialogUploadSocket(w.dialog, NOTIFY_WRITE);
        }
        return;
    }
    MainDialogUploadSocket(w.dialog, posted.lParam);
}

void Deliver(const NextEvent& event) {
    FakeWorld& w = World();
    w.nowMs = event.atMs;
    switch (event.kind) {
        case EventKind::Datagram: {
            const int readBefore = w.datagramsRead;
            MainDialogDatagram(w.dialog);
            if (w.datagramsRead == readBefore) w.inbound.pop_front();  // never read: dropped
            break;
        }
        case EventKind::Upload:
            DeliverUploadNotification();
            break;
        case EventKind::Timer:
            w.timers[event.timerId].nextMs += w.timers[event.timerId].periodMs;
            MainDialogTimer(w.dialog, event.timerId);
            break;
        case EventKind::None:
            break;
    }
}

}  // namespace

FakeWorld& World() {
    if (!world) world = new FakeWorld();
    return *world;
}

void ResetWorld() {
    delete world;
    world = new FakeWorld();
    exchange = {};
    upload = {};
    ClearReplies();
    RemoveAllStations();
    DatagramSocket = NO_SOCKET;
    UploadChannel = NO_SOCKET;
    LocalStationId = {};
    FirmwareCatalogue = BuiltInCatalogue;
    FirmwareCatalogueSize = BuiltInCatalogueSize;
    LoadAppCaption();
}

void DeliverDatagram(std::vector<std::uint8_t> bytes, std::uint64_t delayMs) {
    FakeWorld& w = World();
    FakeWorld::Inbound inbound{w.nowMs + delayMs, std::move(bytes)};
    auto at = std::upper_bound(w.inbound.begin(), w.inbound.end(), inbound,
                               [](const auto& a, const auto& b) { return a.atMs < b.atMs; });
    w.inbound.insert(at, std::move(inbound));
}

FakeStream* CurrentStream() { return World().streams.empty() ? nullptr : &World().streams.back(); }

bool RunUntil(const std::function<bool()>& done, std::uint64_t maxMs) {
    FakeWorld& w = World();
    const std::uint64_t end = w.nowMs + maxMs;
    while (!(done && done())) {
        const NextEvent next = FindNextEvent();
        if (next.kind == EventKind::None || next.atMs > end) {
            w.nowMs = end;
            return done && done();
        }
        Deliver(next);
    }
    return true;
}

void RunFor(std::uint64_t ms) { RunUntil(nullptr, ms); }

void StartDialog() { MainDialogInit(World().dialog); }

void SelectLine(int line) {
    World().display.selectedLine = line;
    MainDialogCommand(World().dialog, StationListBox);
}

void TypePassword(const std::string& text) { World().display.password = text; }

void Press(int controlId) {
    // A disabled button sends nothing, as the dialog manager does.
    const auto& enabled = World().display.enabled;
    const auto it = enabled.find(controlId);
    if (it != enabled.end() && !it->second) return;
    MainDialogCommand(World().dialog, controlId);
}
