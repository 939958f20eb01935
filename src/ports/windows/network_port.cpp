#include "network_port.h"

#include <cstring>

#include "port_entries.h"
#include "unique_resource.h"

namespace vellamoor {
namespace {

PortTable<NetworkPortEntry> table;

struct SocketTraits {
    using Value = SOCKET;
    static SOCKET empty() { return INVALID_SOCKET; }
    static bool valid(SOCKET socket) { return socket != INVALID_SOCKET; }
    static void close(SOCKET socket) { closesocket(socket); }
};

using UniqueSocket = UniqueResource<SocketTraits>;

sockaddr_in socketAddress(uint32_t address, int32_t tcpPort) {
    sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(tcpPort));
    const unsigned char octets[4] = {
        static_cast<unsigned char>(address >> 24), static_cast<unsigned char>(address >> 16),
        static_cast<unsigned char>(address >> 8), static_cast<unsigned char>(address)};
    std::memcpy(&peer.sin_addr, octets, sizeof octets);
    return peer;
}

bool setNonBlocking(SOCKET socket, bool nonBlocking) {
    u_long mode = nonBlocking ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

// Waits for a non-blocking connect. Windows reports a refused connection only
// in the exception set, which is not watched, so there it runs into the
// time-out. Wine and POSIX layers instead mark a refused socket readable at
// once; the pending error tells that apart from a real connection.
int32_t waitForConnection(SOCKET socket, int32_t timeoutMs) {
    fd_set readable;
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(socket, &readable);
    FD_SET(socket, &writable);
    timeval wait;
    wait.tv_sec = timeoutMs / 1000;
    wait.tv_usec = (timeoutMs % 1000) * 1000;
    int ready = select(0, &readable, &writable, nullptr, &wait);
    if (ready == 0) return kNetworkNotConnected;
    if (ready == SOCKET_ERROR) return kNetworkWaitFailed;
    int pendingError = 0;
    int length = sizeof pendingError;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pendingError), &length) != 0 ||
        pendingError != 0) {
        return kNetworkNotConnected;
    }
    return 0;
}

// A JVM need not have started Windows Sockets before the first network open,
// and without it every socket call fails although the printer is there. The
// library therefore starts version 1.1 itself, once, and never stops it: the
// host may be using sockets of its own.
void startWinsockOnce() {
    static bool started = false;
    if (started) return;
    WSADATA details;
    started = WSAStartup(MAKEWORD(1, 1), &details) == 0;
}

// One time-out bounds the connection wait and every later send and receive.
void setTransferTimeouts(SOCKET socket, int32_t timeoutMs) {
    const char* value = reinterpret_cast<const char*>(&timeoutMs);
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, value, sizeof timeoutMs);
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, value, sizeof timeoutMs);
}

// Makes a connection to address:tcpPort within timeoutMs and leaves it
// blocking with the transfer time-outs set. A connect that fails with
// anything but "in progress" fails at once; otherwise the wait tells the
// outcome.
int32_t connectWithin(int32_t timeoutMs, uint32_t address, int32_t tcpPort, UniqueSocket& connection) {
    sockaddr_in peer = socketAddress(address, tcpPort);
    startWinsockOnce();
    UniqueSocket made(socket(AF_INET, SOCK_STREAM, 0));
    if (!made.valid()) return kNetworkNoSocket;
    if (!setNonBlocking(made.get(), true)) return kNetworkModeSwitchFailed;
    if (connect(made.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return kNetworkNotConnected;
        int32_t waited = waitForConnection(made.get(), timeoutMs);
        if (waited != 0) return waited;
    }
    setTransferTimeouts(made.get(), timeoutMs);
    if (!setNonBlocking(made.get(), false)) return kNetworkModeSwitchFailed;
    connection.reset(made.release());
    return 0;
}

// Waits until the connection can take more bytes, at most timeoutMs (0: no
// limit, as for the socket's own time-outs).
bool waitForRoom(SOCKET socket, int32_t timeoutMs) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket, &writable);
    timeval wait;
    wait.tv_sec = timeoutMs / 1000;
    wait.tv_usec = (timeoutMs % 1000) * 1000;
    return select(0, nullptr, &writable, nullptr, timeoutMs == 0 ? nullptr : &wait) == 1;
}

// A receive that ran into its time-out marks the connection: it is made
// again before its next use.
int noteTimeout(NetworkPortEntry& entry, int result) {
    if (result == SOCKET_ERROR && WSAGetLastError() == WSAETIMEDOUT) entry.timedOut = true;
    return result;
}

// A printer that closed the connection (many do after an idle minute) or
// reset it shows as readable, and a peek finds the end of the stream or an
// error; a peek that finds data leaves it where it is.
VELLAMOOR_PER_CALL NetworkLook lookAt(SOCKET socket) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval noWait = {0, 0};
    if (select(0, &readable, nullptr, nullptr, &noWait) != 1) return NetworkLook::kOpen;
    // select said readable, so this peek does not block.
    char next;
    return recv(socket, &next, 1, MSG_PEEK) <= 0 ? NetworkLook::kClosed : NetworkLook::kInputWaiting;
}

}  // namespace

PortTable<NetworkPortEntry>& networkPortTable() { return table; }

int32_t openNetworkPort(int32_t timeoutMs, uint32_t address, int32_t tcpPort) {
    UniqueSocket connection;
    int32_t connected = connectWithin(timeoutMs, address, tcpPort, connection);
    if (connected != 0) return connected;
    uint32_t index =
        table.append(NetworkPortEntry{address, tcpPort, connection.get(), timeoutMs, false, GetTickCount()});
    if (index == 0) return kNetworkTableFull;
    connection.release();
    return static_cast<int32_t>(index);
}

// Windows documents a socket whose receive timed out as being in an
// undefined state, so such a socket is not used again.
VELLAMOOR_PER_CALL NetworkLook lookAtNetworkPort(PortIndex index, int32_t lookAgainAfterMs) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->timedOut) return NetworkLook::kClosed;
    const DWORD now = GetTickCount();
    if (now - entry->lastLookTick < static_cast<DWORD>(lookAgainAfterMs)) return NetworkLook::kOpen;
    const NetworkLook look = lookAt(entry->socket);
    if (look != NetworkLook::kClosed) entry->lastLookTick = now;
    return look;
}

bool reconnectNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return false;
    UniqueSocket connection;
    if (connectWithin(entry->timeoutMs, entry->address, entry->tcpPort, connection) != 0) return false;
    closesocket(entry->socket);
    entry->socket = connection.release();
    entry->timedOut = false;
    entry->lastLookTick = GetTickCount();
    return true;
}

// A blocking send that runs into its time-out reports an error, not how much
// of the job the connection took, and a caller would then send all of it
// again and print part of it twice. So the library waits for room itself and
// sends once on the non-blocking socket, which takes what fits and says how
// much. Waiting longer than the time-out sends nothing and reports 0.
VELLAMOOR_PER_CALL int32_t sendNetworkPort(PortIndex index, const void* bytes, uint32_t count) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    if (!waitForRoom(entry->socket, entry->timeoutMs)) return 0;
    if (!setNonBlocking(entry->socket, true)) return SOCKET_ERROR;
    int sent = send(entry->socket, static_cast<const char*>(bytes), static_cast<int>(count), 0);
    const int error = WSAGetLastError();
    if (!setNonBlocking(entry->socket, false)) entry->timedOut = true;  // made again before its next use
    if (sent == SOCKET_ERROR && error == WSAEWOULDBLOCK) return 0;
    return sent;
}

VELLAMOOR_PER_CALL int32_t receiveNetworkPort(PortIndex index, void* buffer, uint32_t capacity) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    return noteTimeout(*entry, recv(entry->socket, static_cast<char*>(buffer), static_cast<int>(capacity), 0));
}

VELLAMOOR_PER_CALL void drainNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return;
    char scrap[kDrainChunkBytes];
    for (int read = 0; read < kMaxDrainReads; ++read) {
        u_long waiting = 0;
        if (ioctlsocket(entry->socket, FIONREAD, &waiting) != 0 || waiting == 0) return;
        // FIONREAD said the bytes are there, so this recv does not block.
        int wanted = waiting < sizeof scrap ? static_cast<int>(waiting) : static_cast<int>(sizeof scrap);
        if (recv(entry->socket, scrap, wanted, 0) <= 0) return;
    }
}

int32_t closeNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    int closed = closesocket(entry->socket);
    table.removeAt(index);
    return closed == 0 ? kNetworkClosed : kNetworkCloseFailed;
}

}  // namespace vellamoor
