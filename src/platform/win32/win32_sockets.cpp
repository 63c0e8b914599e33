// Win32 implementation of the seam's socket services over Windows Sockets 1.1: the
// datagram socket of the station protocol, the upload connection, and this PC's host
// address. Readiness is posted to the main dialog with WSAAsyncSelect. Needs WSOCK32.
#include <winsock.h>

#include "platform/platform.h"

namespace {

constexpr WORD WINSOCK_VERSION_1_1 = 0x0101;
// Shutdown of the sending direction (SD_SEND, not declared by winsock.h).
constexpr int SHUTDOWN_SENDING = 1;
constexpr int HOST_NAME_BUFFER = 256;

SOCKET AsSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }
HWND AsWindow(Window window) { return static_cast<HWND>(window); }

// The peer address from a host-order number (first octet most significant) and port.
sockaddr_in PeerAddress(std::uint32_t ipAddress, std::uint16_t port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(ipAddress);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

static_assert(NO_SOCKET == static_cast<SocketHandle>(INVALID_SOCKET),
              "the seam's invalid socket is Winsock's");

// --- Socket library.

int StartSocketLibrary() {
    WSADATA data;
    return WSAStartup(WINSOCK_VERSION_1_1, &data) == 0 ? 1 : 0;
}

void EndSocketLibrary() { WSACleanup(); }

void CloseSocketHandle(SocketHandle socket) { closesocket(AsSocket(socket)); }

// --- Datagram socket.

SocketHandle CreateDatagramSocket() {
    return static_cast<SocketHandle>(::socket(AF_INET, SOCK_DGRAM, 0));
}

int AllowBroadcast(SocketHandle socket) {
    const int allow = 1;
    return setsockopt(AsSocket(socket), SOL_SOCKET, SO_BROADCAST,
                      reinterpret_cast<const char*>(&allow), sizeof allow) == 0
               ? 1
               : 0;
}

int BindToAnyPort(SocketHandle socket) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = 0;
    return bind(AsSocket(socket), reinterpret_cast<const sockaddr*>(&address),
                sizeof address) == 0
               ? 1
               : 0;
}

void SendDatagramTo(SocketHandle socket, const std::uint8_t* bytes, int length,
                    std::uint32_t ipAddress, std::uint16_t port) {
    const sockaddr_in peer = PeerAddress(ipAddress, port);
    sendto(AsSocket(socket), reinterpret_cast<const char*>(bytes), length, 0,
           reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

int ReceiveDatagramBytes(SocketHandle socket, std::uint8_t* buffer, int capacity) {
    sockaddr_in sender = {};
    int senderLength = sizeof sender;
    // A datagram longer than the buffer fails with WSAEMSGSIZE, and so gives -1 too.
    const int received = recvfrom(AsSocket(socket), reinterpret_cast<char*>(buffer), capacity,
                                  0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    return received == SOCKET_ERROR ? -1 : received;
}

void SubscribeDatagrams(SocketHandle socket, Window window) {
    WSAAsyncSelect(AsSocket(socket), AsWindow(window), WM_STATION_DATAGRAM, FD_READ);
}

void UnsubscribeDatagrams(SocketHandle socket, Window window) {
    WSAAsyncSelect(AsSocket(socket), AsWindow(window), 0, 0);
}

// --- Upload socket.

SocketHandle CreateStreamSocket() {
    return static_cast<SocketHandle>(::socket(AF_INET, SOCK_STREAM, 0));
}

int SelectStreamEvents(SocketHandle socket, Window window, unsigned mask) {
    const unsigned message = mask == 0 ? 0 : WM_UPLOAD_SOCKET;
    return WSAAsyncSelect(AsSocket(socket), AsWindow(window), message,
                          static_cast<long>(mask)) == 0
               ? 1
               : 0;
}

int ConnectStream(SocketHandle socket, std::uint32_t ipAddress, std::uint16_t port) {
    const sockaddr_in peer = PeerAddress(ipAddress, port);
    return connect(AsSocket(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

int SendStream(SocketHandle socket, const std::uint8_t* bytes, int length) {
    const int sent = send(AsSocket(socket), reinterpret_cast<const char*>(bytes), length, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

void ShutdownStreamSending(SocketHandle socket) {
    shutdown(AsSocket(socket), SHUTDOWN_SENDING);
}

// --- This PC's address: the first address of its own host name.

std::uint32_t QueryHostAddress() {
    char name[HOST_NAME_BUFFER];
    if (gethostname(name, sizeof name) != 0) {
        return 0;
    }
    const hostent* host = gethostbyname(name);
    if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(host->h_addr_list[0]);
    return static_cast<std::uint32_t>(bytes[0]) << 24 |
           static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}
