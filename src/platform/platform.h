// The one seam between the portable core and the outside world.
// The core calls only these functions; src/platform/win32 implements them for the
// product and src/platform/fake for the tests (chosen at link time).
#pragma once

#include <cstdint>

// A window of the host: the main dialog (opaque to the core).
using Window = void*;

// A socket handle; NO_SOCKET is the invalid value.
using SocketHandle = std::uintptr_t;
constexpr SocketHandle NO_SOCKET = ~static_cast<SocketHandle>(0);

// Messages the host posts to the main dialog for socket readiness.
constexpr unsigned WM_STATION_DATAGRAM = 1101;
constexpr unsigned WM_UPLOAD_SOCKET = 1102;

// Upload connection events, as carried in the low 16 bits of a WM_UPLOAD_SOCKET
// notification (the high 16 bits carry the error code). Same values as Winsock's.
constexpr unsigned NOTIFY_WRITE = 0x02;
constexpr unsigned NOTIFY_CONNECT = 0x10;
constexpr unsigned NOTIFY_CLOSE = 0x20;

// --- Timers on a window. SetWindowTimer returns the timer's identifier, 0 on failure.
unsigned SetWindowTimer(Window window, unsigned id, unsigned periodMs);
void KillWindowTimer(Window window, unsigned id);

// --- Socket library. StartSocketLibrary returns 1 when started (version 1.1).
int StartSocketLibrary();
void EndSocketLibrary();
void CloseSocketHandle(SocketHandle socket);

// --- Datagram socket (UDP). Addresses are host-order numbers, first octet most significant.
SocketHandle CreateDatagramSocket();
int AllowBroadcast(SocketHandle socket);  // 1 on success
int BindToAnyPort(SocketHandle socket);   // 1 on success
// Sends one datagram; the outcome is of no interest to the core.
void SendDatagramTo(SocketHandle socket, const std::uint8_t* bytes, int length,
                    std::uint32_t ipAddress, std::uint16_t port);
// Receives one waiting datagram of at most capacity bytes. Returns its length, or -1
// when nothing could be received (nothing waiting, error, or longer than capacity).
int ReceiveDatagramBytes(SocketHandle socket, std::uint8_t* buffer, int capacity);
// Read readiness as WM_STATION_DATAGRAM to window; Unsubscribe stops it (message 0).
void SubscribeDatagrams(SocketHandle socket, Window window);
void UnsubscribeDatagrams(SocketHandle socket, Window window);

// --- Upload socket (TCP).
SocketHandle CreateStreamSocket();
// Asks for WM_UPLOAD_SOCKET to window on the NOTIFY_* events in mask; a mask of 0
// stops every notification of the socket (message 0).
int SelectStreamEvents(SocketHandle socket, Window window, unsigned mask);
// Starts connecting without blocking; the outcome comes as NOTIFY_CONNECT.
int ConnectStream(SocketHandle socket, std::uint32_t ipAddress, std::uint16_t port);
// Returns the number of bytes the system accepted, or -1 when it accepted none.
int SendStream(SocketHandle socket, const std::uint8_t* bytes, int length);
void ShutdownStreamSending(SocketHandle socket);

// --- This PC.
// Hardware address of the first network adapter; 1 when it could be read.
int ReadAdapterAddress(std::uint8_t address[6]);
unsigned LocalTimeMilliseconds();  // milliseconds field of the local time, 0..999
void SeedRandom(unsigned seed);    // the standard library's generator
int NextRandom();
// This PC's IPv4 address (first address of its host name), 0 when unknown.
std::uint32_t QueryHostAddress();

// --- Texts. Copies text id, in code page 932, into buffer (at most capacity - 1
// bytes and a terminating zero; the core asks with room for the whole text).
// Returns the number of bytes copied, 0 when there is no such text.
int LoadTextResource(unsigned id, char* buffer, int capacity);

// --- Display elements of the dialog, by control id. Texts are code page 932.
void SetControlText(Window dialog, int controlId, const char* text);
void EnableControl(Window dialog, int controlId, int enable);
void SetProgressRange(Window dialog, std::uint16_t high);  // range 0..high
void SetProgressPosition(Window dialog, std::uint16_t position);
void ClearListLines(Window dialog);
int AppendListLine(Window dialog, const char* text);  // index of the new line, -1 on failure
int SelectedListLine(Window dialog);                  // -1 when no line is selected
void ClearListSelection(Window dialog);
// The password as typed, in code page 932, zero-terminated within capacity bytes.
void ReadPasswordText(Window dialog, char* buffer, int capacity);
void LimitPasswordLength(Window dialog, int characters);
void FocusControl(Window dialog, int controlId);
void CenterDialogOnOwner(Window dialog);
void EndDialogWindow(Window dialog, int result);
// Yes/No question with the exclamation icon; 1 for Yes.
int AskYesNo(Window owner, const char* text, const char* caption);
