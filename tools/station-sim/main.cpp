// station-sim: plays KVZ-3170 access points on UDP/TCP port 22359 for trying the
// update utility out. Linux only (poll, BSD sockets); run it inside a lab namespace.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "image_check.h"
#include "sim_options.h"
#include "station_logic.h"

namespace {

enum Power { POWER_RUNNING, POWER_RESTARTING, POWER_OFF };
enum UploadPhase { UPLOAD_NONE, UPLOAD_LISTENING, UPLOAD_RECEIVING, UPLOAD_STALLED, UPLOAD_DONE, UPLOAD_BROKEN };

// A transfer-result request that came while the image was still arriving.
constexpr double RESULT_HOLD_IDLE = 0.5;  // answered once the upload has been idle this long
constexpr double RESULT_HOLD_MAX = 2.0;   // or at the latest after this long

struct Upload {
    UploadPhase phase = UPLOAD_NONE;
    int listenFd = -1;
    int connFd = -1;
    std::uint32_t announcedSize = 0;
    std::vector<std::uint8_t> bytes;
    ImageVerdict verdict{false, ""};
    double lastData = 0;
    double tokens = 0;
    double lastRefill = 0;
};

struct HeldResult {
    bool active = false;
    sockaddr_in to{};
    StationId requester{};
    double since = 0;
};

struct Station {
    StationConfig config;
    int udpFd = -1;
    std::string identity;
    std::uint32_t lastSeed = 0;
    Power power = POWER_RUNNING;
    double restartAt = 0;
    Upload upload;
    HeldResult held;
    SeriesDropper dropper;
    std::mt19937 random;
};

struct DelayedReply {
    double at;
    Station* station;
    sockaddr_in to;
    std::vector<std::uint8_t> bytes;
};

volatile std::sig_atomic_t stopSignal = 0;
double startTime = 0;
std::vector<DelayedReply> delayedReplies;

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void Log(const Station* station, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    char line[1200];
    if (station)
        std::snprintf(line, sizeof line, "station-sim %8.3f %s %s: %s\n", Now() - startTime,
                      station->config.name.c_str(), FormatAddress(station->config.ipAddress).c_str(), text);
    else
        std::snprintf(line, sizeof line, "station-sim %8.3f %s\n", Now() - startTime, text);
    std::fputs(line, stderr);
}

std::string Peer(const sockaddr_in& address) {
    return FormatAddress(ntohl(address.sin_addr.s_addr)) + ":" + std::to_string(ntohs(address.sin_port));
}

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

void CloseFd(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

int BindSocket(int type, std::uint32_t ipAddress, int receiveBuffer) {
    int fd = socket(AF_INET, type, 0);
    if (fd < 0) return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Set before listen so that the accepted connection advertises the small window.
    if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(STATION_PORT);
    address.sin_addr.s_addr = htonl(ipAddress);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (type == SOCK_STREAM && listen(fd, 1) != 0)) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    SetNonBlocking(fd);
    return fd;
}

void SendReply(Station& station, const sockaddr_in& to, std::vector<std::uint8_t> bytes) {
    if (station.config.delayMs > 0) {
        delayedReplies.push_back({Now() + station.config.delayMs / 1000.0, &station, to, std::move(bytes)});
        return;
    }
    sendto(station.udpFd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void EndUpload(Station& station) {
    CloseFd(&station.upload.listenFd);
    CloseFd(&station.upload.connFd);
    station.upload.phase = UPLOAD_NONE;
    station.held.active = false;
}

void LogImageEnd(Station& station, const char* how) {
    Upload& up = station.upload;
    Log(&station, "upload %s: received %zu of %u bytes, %s, sha256 %s", how, up.bytes.size(), up.announcedSize,
        up.verdict.detail.c_str(), Sha256Hex(up.bytes.data(), up.bytes.size()).c_str());
}

void BeginRestart(Station& station) {
    EndUpload(station);
    if (station.config.restart == RESTART_NEVER) {
        station.power = POWER_OFF;
        Log(&station, "writing the image; this station will not come back (restart=never)");
        return;
    }
    station.power = POWER_RESTARTING;
    station.restartAt = Now() + station.config.restartDelay;
    Log(&station, "writing the image and restarting: silent for %.1f s", station.config.restartDelay);
}

// Answers a transfer-result request from what the upload has become.
void AnswerTransferResult(Station& station, const sockaddr_in& to, const StationId& requester) {
    std::int32_t result = RESULT_FAILED;
    std::string why;
    if (station.config.forceTransferResult) {
        result = station.config.transferResult;
        why = "result set by option";
    } else {
        switch (station.upload.phase) {
            case UPLOAD_DONE:
                result = station.upload.verdict.whole ? RESULT_OK : RESULT_FAILED;
                why = station.upload.verdict.whole ? "image arrived whole" : "image broken: " + station.upload.verdict.detail;
                break;
            case UPLOAD_NONE: why = "no update under way"; break;
            case UPLOAD_LISTENING: why = "no upload connection was made"; break;
            case UPLOAD_RECEIVING: why = "the upload did not end"; break;
            case UPLOAD_STALLED: why = "the upload was stalled"; break;
            case UPLOAD_BROKEN: why = "the upload was broken off"; break;
        }
    }
    Log(&station, "CMD_TRANSFER_RESULT from %s: replied 0xC53A result 0x%08x (%s)", Peer(to).c_str(),
        static_cast<std::uint32_t>(result), why.c_str());
    SendReply(station, to, BuildReply(station.config, REPLY_TRANSFER_RESULT, requester, result, {}));
    station.held.active = false;
    if (result == RESULT_OK)
        BeginRestart(station);
    else if (station.upload.phase != UPLOAD_NONE) {
        if (station.upload.phase == UPLOAD_RECEIVING || station.upload.phase == UPLOAD_STALLED)
            Log(&station, "update abandoned: upload connection closed");
        EndUpload(station);
    }
}

void AcceptUpdate(Station& station, std::uint32_t imageSize) {
    Upload& up = station.upload;
    if (up.phase == UPLOAD_LISTENING || up.phase == UPLOAD_RECEIVING) return;  // a repeated request
    EndUpload(station);
    up.listenFd = BindSocket(SOCK_STREAM, station.config.ipAddress, station.config.receiveBuffer);
    if (up.listenFd < 0) {
        Log(&station, "cannot listen on TCP %s:%u: %s", FormatAddress(station.config.ipAddress).c_str(), STATION_PORT,
            std::strerror(errno));
        return;
    }
    up.phase = UPLOAD_LISTENING;
    up.announcedSize = imageSize;
    up.bytes.clear();
    up.bytes.reserve(imageSize);
    Log(&station, "listening on TCP port %u for the image", STATION_PORT);
}

void HandleRequest(Station& station, const StationRequest& request, const sockaddr_in& from) {
    const bool broadcastId = request.destinationId == BROADCAST_STATION_ID;
    // Finds to all and finds to this station are told apart in the log.
    std::string label = CommandName(request.commandWord);
    if (request.commandWord == CMD_FIND) label += broadcastId ? " (to all)" : " (to this station)";
    const char* name = label.c_str();
    if (station.power != POWER_RUNNING) {
        Log(&station, "%s from %s ignored: %s", name, Peer(from).c_str(),
            station.power == POWER_OFF ? "switched off" : "restarting");
        return;
    }
    const double now = Now();
    if (station.dropper.Drop(request, now)) {
        Log(&station, "%s from %s dropped (sending %d of its series, drop-first=%d)", name, Peer(from).c_str(),
            station.dropper.position, station.config.dropFirst);
        return;
    }
    if (station.config.dropRate > 0 &&
        std::uniform_real_distribution<double>(0.0, 1.0)(station.random) < station.config.dropRate) {
        Log(&station, "%s from %s dropped at random (drop-rate=%.2f)", name, Peer(from).c_str(), station.config.dropRate);
        return;
    }
    switch (request.commandWord) {
        case CMD_FIND: {
            std::uint32_t seed = station.config.freshSeed ? static_cast<std::uint32_t>(station.random()) : station.config.seed;
            station.lastSeed = seed;
            Log(&station, "%s from %s: replied 0xC03F version 0x%05x identity \"%s\" seed 0x%08x", name,
                Peer(from).c_str(), station.config.replyVersion,
                station.identity.c_str(), seed);
            SendReply(station, from, BuildDiscoveryReply(station.config, station.identity, seed, request.sourceId));
            break;
        }
        case CMD_UPDATE_REQUEST:
        case CMD_UPDATE_REQUEST_EX: {
            UpdateDecision decision = DecideUpdateRequest(station.config, station.lastSeed, request);
            if (!decision.understood) {
                Log(&station, "%s from %s: %s", name, Peer(from).c_str(), decision.detail.c_str());
                break;
            }
            CommandWord reply = request.commandWord == CMD_UPDATE_REQUEST_EX ? REPLY_UPDATE_REQUEST_EX : REPLY_UPDATE_REQUEST;
            Log(&station, "%s from %s: %s; replied 0x%04X result 0x%08x", name, Peer(from).c_str(),
                decision.detail.c_str(), reply, static_cast<std::uint32_t>(decision.result));
            if (decision.result == RESULT_OK) AcceptUpdate(station, decision.imageSize);
            SendReply(station, from, BuildReply(station.config, reply, request.sourceId, decision.result, {}));
            break;
        }
        case CMD_TRANSFER_RESULT:
            if (station.upload.phase == UPLOAD_RECEIVING && !station.config.forceTransferResult) {
                if (!station.held.active) {
                    station.held.since = now;
                    Log(&station, "CMD_TRANSFER_RESULT from %s while the image is arriving: answer held back",
                        Peer(from).c_str());
                }
                station.held.active = true;
                station.held.to = from;
                station.held.requester = request.sourceId;
                break;
            }
            AnswerTransferResult(station, from, request.sourceId);
            break;
        case CMD_MODULE_INFO: {
            if (!station.config.hasModule) {
                Log(&station, "CMD_MODULE_INFO from %s ignored: no module", Peer(from).c_str());
                break;
            }
            std::uint32_t selector = request.payload.size() >= 4 ? request.payload[0] : 0;
            std::vector<std::uint8_t> text(station.config.moduleText.begin(), station.config.moduleText.end());
            text.push_back(0);
            Log(&station, "CMD_MODULE_INFO (selector %u) from %s: replied 0xC639 result 0x%08x text \"%s\"", selector,
                Peer(from).c_str(), static_cast<std::uint32_t>(station.config.moduleResult),
                station.config.moduleText.c_str());
            SendReply(station, from, BuildReply(station.config, REPLY_MODULE_INFO, request.sourceId,
                                                station.config.moduleResult, text));
            break;
        }
        default:
            Log(&station, "request 0x%04X from %s ignored: unknown", request.commandWord, Peer(from).c_str());
    }
}

// One datagram from a socket; for the wildcard socket every station looks at it.
void ReceiveOn(int fd, std::vector<Station>& stations, Station* only) {
    std::uint8_t buffer[2048];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) return;
    StationRequest request = ReadStationRequest(buffer, static_cast<int>(n));
    if (!request.valid) {
        Log(only, "datagram of %zd bytes from %s ignored: %s", n, Peer(from).c_str(), request.reason.c_str());
        return;
    }
    for (Station& station : stations) {
        if (only && only != &station) continue;
        if (IsAddressedTo(request, station.config.stationId)) HandleRequest(station, request, from);
    }
}

void AcceptConnection(Station& station) {
    Upload& up = station.upload;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    int fd = accept(up.listenFd, reinterpret_cast<sockaddr*>(&from), &length);
    if (fd < 0) return;
    SetNonBlocking(fd);
    CloseFd(&up.listenFd);  // one connection per update
    up.connFd = fd;
    up.phase = UPLOAD_RECEIVING;
    up.lastData = up.lastRefill = Now();
    up.tokens = 0;
    int buffer = 0;
    socklen_t size = sizeof buffer;
    getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, &size);
    Log(&station, "upload connection from %s (receive buffer %d bytes%s)", Peer(from).c_str(), buffer,
        station.config.receiveRate ? (", rate " + std::to_string(station.config.receiveRate) + " B/s").c_str() : "");
    if (station.config.stallAfter == 0) {
        up.phase = UPLOAD_STALLED;
        Log(&station, "upload stalled after 0 bytes: reading stopped, connection kept open");
    }
}

// How many bytes the upload may read now; 0 means wait.
long ReadAllowance(Station& station, double now) {
    Upload& up = station.upload;
    long allowance = 65536;
    if (station.config.receiveRate > 0) {
        double capacity = std::max(1.0, station.config.receiveRate / 20.0);
        up.tokens = std::min(capacity, up.tokens + (now - up.lastRefill) * station.config.receiveRate);
        up.lastRefill = now;
        allowance = static_cast<long>(up.tokens);
    }
    long received = static_cast<long>(up.bytes.size());
    if (station.config.stallAfter >= 0) allowance = std::min(allowance, station.config.stallAfter - received);
    if (station.config.closeAfter >= 0) allowance = std::min(allowance, station.config.closeAfter - received);
    return std::max(0L, allowance);
}

void ReadUpload(Station& station) {
    Upload& up = station.upload;
    double now = Now();
    long allowance = ReadAllowance(station, now);
    if (allowance == 0) return;
    std::uint8_t buffer[65536];
    ssize_t n = recv(up.connFd, buffer, static_cast<std::size_t>(allowance), 0);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        up.verdict = {false, std::string("connection error: ") + std::strerror(errno)};
        CloseFd(&up.connFd);
        up.phase = UPLOAD_BROKEN;
        LogImageEnd(station, "broken off");
        return;
    }
    if (n == 0) {
        CloseFd(&up.connFd);
        up.verdict = CheckReceivedImage(up.bytes, up.announcedSize);
        up.phase = UPLOAD_DONE;
        LogImageEnd(station, "ended");
        return;
    }
    up.bytes.insert(up.bytes.end(), buffer, buffer + n);
    up.tokens -= n;
    up.lastData = now;
    long received = static_cast<long>(up.bytes.size());
    if (station.config.closeAfter >= 0 && received >= station.config.closeAfter) {
        CloseFd(&up.connFd);
        up.phase = UPLOAD_BROKEN;
        up.verdict = {false, "connection closed by this station (close-after)"};
        LogImageEnd(station, "closed by this station");
    } else if (station.config.stallAfter >= 0 && received >= station.config.stallAfter) {
        up.phase = UPLOAD_STALLED;
        Log(&station, "upload stalled after %ld bytes: reading stopped, connection kept open", received);
    }
}

void RunTimers(std::vector<Station>& stations) {
    double now = Now();
    for (std::size_t i = 0; i < delayedReplies.size();) {
        DelayedReply& reply = delayedReplies[i];
        if (reply.at <= now) {
            sendto(reply.station->udpFd, reply.bytes.data(), reply.bytes.size(), 0,
                   reinterpret_cast<const sockaddr*>(&reply.to), sizeof reply.to);
            delayedReplies.erase(delayedReplies.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
    for (Station& station : stations) {
        if (station.power == POWER_RESTARTING && now >= station.restartAt) {
            station.power = POWER_RUNNING;
            if (station.config.restart == RESTART_NEW) station.identity = station.config.newIdentity;
            station.dropper = SeriesDropper{station.config.dropFirst, {}, -1e9, 0};
            Log(&station, "running again as \"%s\"", station.identity.c_str());
        }
        HeldResult& held = station.held;
        if (held.active && (station.upload.phase != UPLOAD_RECEIVING || now - station.upload.lastData >= RESULT_HOLD_IDLE ||
                            now - held.since >= RESULT_HOLD_MAX)) {
            sockaddr_in to = held.to;
            StationId requester = held.requester;
            AnswerTransferResult(station, to, requester);
        }
    }
}

void OnSignal(int) { stopSignal = 1; }

std::string FlagsText(const StationConfig& c) {
    std::string text;
    if (c.updatable) text += " updatable";
    if (c.updating) text += " updating";
    if (c.extended) text += " extended";
    if (c.hasModule) text += " module";
    return text.empty() ? " none" : text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    SimOptions options;
    std::string error = ParseOptions(args, &options);
    if (!error.empty()) {
        std::fprintf(stderr, "station-sim: %s\nTry 'station-sim --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(HelpText(), stdout);
        return 0;
    }
    startTime = Now();
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::vector<Station> stations(options.stations.size());
    for (std::size_t i = 0; i < stations.size(); ++i) {
        Station& s = stations[i];
        s.config = options.stations[i];
        s.identity = s.config.identity;
        s.lastSeed = s.config.seed;
        s.dropper.dropFirst = s.config.dropFirst;
        s.random.seed(options.randomSeed + static_cast<std::uint32_t>(i) * 7919u);
        s.udpFd = BindSocket(SOCK_DGRAM, s.config.ipAddress, 0);
        if (s.udpFd < 0) {
            std::fprintf(stderr, "station-sim: cannot bind UDP %s:%u: %s (is the address configured on this host?)\n",
                         FormatAddress(s.config.ipAddress).c_str(), STATION_PORT, std::strerror(errno));
            return 1;
        }
        Log(&s, "id %s version 0x%05x model %u identity \"%s\" product \"%s\" flags%s", FormatStationId(s.config.stationId).c_str(),
            s.config.replyVersion, s.config.modelCode, s.identity.c_str(), s.config.productName.c_str(),
            FlagsText(s.config).c_str());
    }
    // Requests to 255.255.255.255 reach only a socket bound to the wildcard address.
    int broadcastFd = BindSocket(SOCK_DGRAM, INADDR_ANY, 0);
    if (broadcastFd < 0) {
        std::fprintf(stderr, "station-sim: cannot bind UDP 0.0.0.0:%u: %s\n", STATION_PORT, std::strerror(errno));
        return 1;
    }
    Log(nullptr, "ready: %zu station(s) on UDP port %u", stations.size(), STATION_PORT);

    while (!stopSignal) {
        std::vector<pollfd> fds;
        std::vector<std::pair<Station*, int>> owners;  // kind: 0 datagram, 1 listener, 2 upload
        fds.push_back({broadcastFd, POLLIN, 0});
        owners.push_back({nullptr, 0});
        int timeoutMs = 100;
        double now = Now();
        for (Station& s : stations) {
            fds.push_back({s.udpFd, POLLIN, 0});
            owners.push_back({&s, 0});
            if (s.upload.listenFd >= 0) {
                fds.push_back({s.upload.listenFd, POLLIN, 0});
                owners.push_back({&s, 1});
            }
            if (s.upload.connFd >= 0 && s.upload.phase == UPLOAD_RECEIVING) {
                if (ReadAllowance(s, now) > 0) {
                    fds.push_back({s.upload.connFd, POLLIN, 0});
                    owners.push_back({&s, 2});
                } else {
                    timeoutMs = std::min(timeoutMs, 10);
                }
            }
            if (s.held.active) timeoutMs = std::min(timeoutMs, 20);
        }
        for (const DelayedReply& reply : delayedReplies)
            timeoutMs = std::min(timeoutMs, std::max(0, static_cast<int>((reply.at - now) * 1000) + 1));
        int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready > 0) {
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLERR | POLLHUP))) continue;
                Station* s = owners[i].first;
                switch (owners[i].second) {
                    case 0: ReceiveOn(fds[i].fd, stations, s); break;
                    case 1: if (s->upload.listenFd == fds[i].fd) AcceptConnection(*s); break;
                    case 2: if (s->upload.connFd == fds[i].fd && s->upload.phase == UPLOAD_RECEIVING) ReadUpload(*s); break;
                }
            }
        }
        RunTimers(stations);
    }
    Log(nullptr, "stopping on signal");
    for (Station& s : stations) {
        EndUpload(s);
        CloseFd(&s.udpFd);
    }
    close(broadcastFd);
    return 0;
}
