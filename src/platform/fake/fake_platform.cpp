// The platform seam as the tests see it: every call lands in the FakeWorld.
#include <algorithm>
#include <cstring>

#include "platform/fake/fake_world.h"
#include "ui/display.h"

namespace {

constexpr std::uint32_t WSAECONNREFUSED = 10061;

struct TableText {
    unsigned id;
    const char* text;
};
const TableText textTable[] = {
#include "texts_cp932.inc"
};

void PostUpload(SocketHandle socket, std::uint32_t lParam, std::uint64_t delayMs) {
    FakeWorld& w = World();
    const FakeWorld::Posted posted{w.nowMs + delayMs, socket, lParam};
    auto at = std::upper_bound(w.uploadNotifications.begin(), w.uploadNotifications.end(), posted,
                               [](const auto& a, const auto& b) { return a.atMs < b.atMs; });
    w.uploadNotifications.insert(at, posted);
}

FakeStream* StreamOf(SocketHandle socket) {
    for (auto& s : World().streams)
        if (s.handle == socket) return &s;
    return nullptr;
}

FakePeer* PeerAt(std::uint32_t ipAddress) {
    for (FakePeer* p : World().peers)
        if (p->Address() == ipAddress) return p;
    return nullptr;
}

}  // namespace

unsigned SetWindowTimer(Window, unsigned id, unsigned periodMs) {
    FakeWorld& w = World();
    w.timers[id] = {periodMs, w.nowMs + periodMs};
    w.timerSets.emplace_back(w.nowMs, periodMs);
    return id;
}

void KillWindowTimer(Window, unsigned id) { World().timers.erase(id); }

int StartSocketLibrary() {
    ++World().libraryStarts;
    return World().failLibraryStart ? 0 : 1;
}

void EndSocketLibrary() { ++World().libraryEnds; }

void CloseSocketHandle(SocketHandle socket) {
    FakeWorld& w = World();
    if (socket == w.datagramSocket) {
        w.datagramOpen = false;
        w.datagramSubscribed = false;
    }
    if (FakeStream* s = StreamOf(socket)) s->closed = true;
}

SocketHandle CreateDatagramSocket() {
    FakeWorld& w = World();
    if (w.failDatagramSocket) return NO_SOCKET;
    w.datagramSocket = 7;
    w.datagramOpen = true;
    return w.datagramSocket;
}

int AllowBroadcast(SocketHandle) { return World().failBroadcast ? 0 : 1; }
int BindToAnyPort(SocketHandle) { return 1; }

void SendDatagramTo(SocketHandle socket, const std::uint8_t* bytes, int length, std::uint32_t ipAddress,
                    std::uint16_t port) {
    FakeWorld& w = World();
    if (socket != w.datagramSocket || !w.datagramOpen) return;
    // Broadcasts need the broadcast permission.
    if (ipAddress == 0xFFFFFFFF && w.failBroadcast) return;
    SentDatagram sent{std::vector<std::uint8_t>(bytes, bytes + length), ipAddress, port, w.nowMs};
    w.sent.push_back(sent);
    for (FakePeer* peer : std::vector<FakePeer*>(w.peers)) peer->OnDatagram(sent);
}

int ReceiveDatagramBytes(SocketHandle socket, std::uint8_t* buffer, int capacity) {
    FakeWorld& w = World();
    if (socket != w.datagramSocket || !w.datagramOpen) return -1;
    if (w.inbound.empty() || w.inbound.front().atMs > w.nowMs) return -1;
    const std::vector<std::uint8_t> bytes = std::move(w.inbound.front().bytes);
    w.inbound.pop_front();
    ++w.datagramsRead;
    if (static_cast<int>(bytes.size()) > capacity) return -1;
    std::copy(bytes.begin(), bytes.end(), buffer);
    return static_cast<int>(bytes.size());
}

void SubscribeDatagrams(SocketHandle socket, Window) {
    if (socket == World().datagramSocket && World().datagramOpen) World().datagramSubscribed = true;
}

void UnsubscribeDatagrams(SocketHandle socket, Window) {
    if (socket == World().datagramSocket) World().datagramSubscribed = false;
}

SocketHandle CreateStreamSocket() {
    FakeWorld& w = World();
    if (w.failStreamSocket) return NO_SOCKET;
    FakeStream stream;
    stream.handle = 100 + w.streams.size();
    w.streams.push_back(stream);
    return stream.handle;
}

int SelectStreamEvents(SocketHandle socket, Window, unsigned mask) {
    FakeStream* s = StreamOf(socket);
    if (!s || s->closed) return -1;
    s->mask = mask;
    const bool writable = s->connected && !s->writeBlocked && !s->stalled && !s->peerClosed;
    if ((mask & NOTIFY_WRITE) && writable) PostUpload(socket, NOTIFY_WRITE, s->peer->WriteReadyDelayMs());
    return 0;
}

int ConnectStream(SocketHandle socket, std::uint32_t ipAddress, std::uint16_t port) {
    FakeStream* s = StreamOf(socket);
    if (!s) return -1;
    s->ipAddress = ipAddress;
    s->port = port;
    s->peer = port == 22359 ? PeerAt(ipAddress) : nullptr;
    if (!s->peer || !s->peer->AnswersConnection()) return -1;  // no outcome: the watchdog decides
    if (!s->peer->AcceptsConnection()) {
        PostUpload(socket, NOTIFY_CONNECT | (WSAECONNREFUSED << 16), 1);
        return -1;
    }
    s->connected = true;
    PostUpload(socket, NOTIFY_CONNECT, 1);
    return -1;  // would block, as on a socket that does not block
}

int SendStream(SocketHandle socket, const std::uint8_t* bytes, int length) {
    FakeStream* s = StreamOf(socket);
    if (!s) return -1;
    s->sendLengths.push_back(length);
    if (!s->connected || s->closed || s->peerClosed || s->stalled || s->writeBlocked) return -1;
    const int taken = s->peer->Receive(bytes, length);
    if (taken < 0) {
        s->stalled = true;
        return -1;
    }
    if (taken == 0) {
        // Full for now: write readiness is reported again a little later.
        s->writeBlocked = true;
        PostUpload(socket, 0, 20);  // marker: unblock, see the message loop
        return -1;
    }
    s->received.insert(s->received.end(), bytes, bytes + taken);
    if (s->peer->ClosesNow()) {
        s->peerClosed = true;
        PostUpload(socket, NOTIFY_CLOSE, 1);
    }
    return taken;
}

void ShutdownStreamSending(SocketHandle socket) {
    FakeStream* s = StreamOf(socket);
    if (!s || s->closed) return;
    s->shutdownSent = true;
    if (s->peer) s->peer->OnShutdown();
}

int ReadAdapterAddress(std::uint8_t address[6]) {
    if (!World().adapterReadable) return 0;
    std::memcpy(address, World().adapterAddress, 6);
    return 1;
}

unsigned LocalTimeMilliseconds() { return World().localMilliseconds; }

// A fixed linear congruential generator: the same seed gives the same bytes.
static unsigned randomState = 1;
void SeedRandom(unsigned seed) { randomState = seed; }
int NextRandom() {
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int>((randomState >> 16) & 0x7FFF);
}

std::uint32_t QueryHostAddress() { return World().hostAddress; }

int LoadTextResource(unsigned id, char* buffer, int capacity) {
    for (const TableText& t : textTable) {
        if (t.id != id) continue;
        const int length = std::min(static_cast<int>(std::strlen(t.text)), capacity - 1);
        std::memcpy(buffer, t.text, static_cast<std::size_t>(length));
        buffer[length] = '\0';
        return length;
    }
    return 0;
}

void SetControlText(Window, int controlId, const char* text) {
    FakeDisplay& d = World().display;
    d.controlText[controlId] = text;
    if (controlId == StatusPane) d.statusHistory.emplace_back(text);
}

void EnableControl(Window, int controlId, int enable) {
    FakeDisplay& d = World().display;
    d.enabled[controlId] = enable != 0;
    d.enableLog.push_back(std::to_string(controlId) + ":" + std::to_string(enable));
}

void SetProgressRange(Window, std::uint16_t high) {
    FakeDisplay& d = World().display;
    d.progressHigh = high;
    d.progressRanges.emplace_back(static_cast<std::uint16_t>(World().nowMs / 100), high);
}

void SetProgressPosition(Window, std::uint16_t position) { World().display.progressPosition = position; }

void ClearListLines(Window) {
    World().display.listLines.clear();
    World().display.selectedLine = -1;
}

int AppendListLine(Window, const char* text) {
    World().display.listLines.emplace_back(text);
    return static_cast<int>(World().display.listLines.size()) - 1;
}

int SelectedListLine(Window) { return World().display.selectedLine; }
void ClearListSelection(Window) { World().display.selectedLine = -1; }

void ReadPasswordText(Window, char* buffer, int capacity) {
    const std::string& typed = World().display.password;
    const int length = std::min(static_cast<int>(typed.size()), capacity - 1);
    std::memcpy(buffer, typed.data(), static_cast<std::size_t>(length));
    buffer[length] = '\0';
}

void LimitPasswordLength(Window, int characters) { World().display.passwordLimit = characters; }
void FocusControl(Window, int controlId) { World().display.focus = controlId; }
void CenterDialogOnOwner(Window) { World().display.centred = true; }

void EndDialogWindow(Window, int result) {
    World().display.ended = true;
    World().display.endResult = result;
}

int AskYesNo(Window, const char* text, const char*) {
    FakeDisplay& d = World().display;
    d.questions.emplace_back(text);
    if (World().onQuestion) World().onQuestion();
    if (d.answers.empty()) return 0;
    const int answer = d.answers.front();
    d.answers.pop_front();
    return answer;
}
