// A deterministic world behind the platform seam, for the tests: a virtual clock
// that fires timers, an in-memory network with scriptable peers, a recorded display
// and scripted answers to questions. Everything is delivered to the core through the
// same entry points the Win32 dialog procedure calls.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

struct SentDatagram {
    std::vector<std::uint8_t> bytes;
    std::uint32_t ipAddress;
    std::uint16_t port;
    std::uint64_t atMs;
};

// A peer on the in-memory network: sees every datagram this PC sends and every
// upload connection made to its address.
struct FakePeer {
    virtual ~FakePeer() = default;
    virtual void OnDatagram(const SentDatagram& datagram) = 0;
    virtual std::uint32_t Address() const = 0;
    // Upload connection. Connect returns false to refuse; Receive returns how many
    // of the offered bytes it takes (0: would block; -1: stalled for good).
    virtual bool AcceptsConnection() { return true; }
    virtual bool AnswersConnection() { return true; }
    virtual int Receive(const std::uint8_t*, int length) { return length; }
    virtual bool ClosesNow() { return false; }
    virtual void OnShutdown() {}
    // How long after a send the connection reports that it can take more.
    virtual std::uint64_t WriteReadyDelayMs() { return 0; }
};

struct FakeStream {
    SocketHandle handle = NO_SOCKET;
    unsigned mask = 0;
    bool connected = false;
    bool closed = false;        // closed by this PC
    bool peerClosed = false;
    bool shutdownSent = false;
    bool writeBlocked = false;  // last send would block; write-ready follows later
    bool stalled = false;
    FakePeer* peer = nullptr;
    std::uint32_t ipAddress = 0;
    std::uint16_t port = 0;
    std::vector<std::uint8_t> received;  // what the peer took, in order
    std::vector<int> sendLengths;        // length offered by every send call
};

struct FakeDisplay {
    std::vector<std::string> statusHistory;        // every StatusPane text, in order
    std::map<int, std::string> controlText;        // last text per control
    std::map<int, bool> enabled;                   // missing: enabled
    std::vector<std::string> enableLog;            // "id:0/1" in call order
    std::uint16_t progressHigh = 0;
    std::uint16_t progressPosition = 0;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> progressRanges;  // (time tick, high)
    std::vector<std::string> listLines;
    int selectedLine = -1;
    std::string password;  // code page 932 bytes as typed
    int passwordLimit = 0;
    int focus = 0;
    bool centred = false;
    bool ended = false;
    int endResult = -1;
    std::vector<std::string> questions;
    std::deque<int> answers;  // 1 Yes, 0 No; empty: No
};

struct FakeWorld {
    std::uint64_t nowMs = 0;
    Window dialog = reinterpret_cast<Window>(0x1000);

    // Timers: id -> (period, next firing).
    struct Timer {
        unsigned periodMs;
        std::uint64_t nextMs;
    };
    std::map<unsigned, Timer> timers;
    std::vector<std::pair<std::uint64_t, unsigned>> timerSets;  // (time, period)

    // Socket library and datagram socket.
    bool failLibraryStart = false, failDatagramSocket = false, failBroadcast = false;
    int libraryStarts = 0, libraryEnds = 0;
    SocketHandle datagramSocket = NO_SOCKET;
    bool datagramOpen = false;
    bool datagramSubscribed = false;
    std::vector<SentDatagram> sent;
    struct Inbound {
        std::uint64_t atMs;
        std::vector<std::uint8_t> bytes;
    };
    std::deque<Inbound> inbound;  // by delivery time
    int datagramsRead = 0;
    std::vector<FakePeer*> peers;

    // Upload sockets, by handle; the newest is the current one.
    bool failStreamSocket = false;
    std::vector<FakeStream> streams;
    struct Posted {
        std::uint64_t atMs;
        SocketHandle socket;
        std::uint32_t lParam;
    };
    std::deque<Posted> uploadNotifications;

    // This PC.
    bool adapterReadable = true;
    std::uint8_t adapterAddress[6] = {0x00, 0x16, 0x01, 0x02, 0x03, 0x04};
    unsigned localMilliseconds = 123;
    std::uint32_t hostAddress = 0xC0000201;  // 192.0.2.1

    FakeDisplay display;
    std::function<void()> onQuestion;  // runs while the question box is open
};

FakeWorld& World();
// A fresh world; the core's module state is reset too (as at program start).
void ResetWorld();

// Puts a datagram on the wire towards this PC, delivered after delayMs.
void DeliverDatagram(std::vector<std::uint8_t> bytes, std::uint64_t delayMs = 0);
FakeStream* CurrentStream();

// Runs the dialog's message loop in virtual time: timers, datagram readiness and
// upload notifications, in time order. RunFor stops after ms; RunUntil when done()
// holds (checked after every event) or after maxMs. Returns whether done() held.
void RunFor(std::uint64_t ms);
bool RunUntil(const std::function<bool()>& done, std::uint64_t maxMs);

// The dialog's controls as a person would use them.
void StartDialog();
void SelectLine(int line);
void TypePassword(const std::string& text);
void Press(int controlId);
