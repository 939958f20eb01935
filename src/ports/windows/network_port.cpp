#include "network_port.h"

// mstcpip.h builds on Windows Sockets 2 without including it.
#include <winsock2.h>
#include <mstcpip.h>

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

bool setNonBlocking(SOCKET socket) {
    u_long mode = 1;
    return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

// select's wait for waitMs (negative: no limit, a null time-out).
struct SelectWait {
    explicit SelectWait(int64_t waitMs) : unlimited(waitMs < 0) {
        limit.tv_sec = static_cast<long>(waitMs / 1000);
        limit.tv_usec = static_cast<long>((waitMs % 1000) * 1000);
    }
    timeval* get() { return unlimited ? nullptr : &limit; }

    bool unlimited;
    timeval limit;
};

// Waits for a non-blocking connect. Windows reports a failed connection
// (refused, say, by a printer that is starting up) in the exception set
// only, and a made one as writable; Wine and POSIX layers mark a refused
// socket readable instead. The pending error tells a refusal that shows as
// ready apart from a real connection.
int32_t waitForConnection(SOCKET socket, int32_t timeoutMs) {
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &readable);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    SelectWait wait(networkWaitLimit(timeoutMs));
    int ready = select(0, &readable, &writable, &failed, wait.get());
    if (ready == 0) return kNetworkNotConnected;
    if (ready == SOCKET_ERROR) return kNetworkWaitFailed;
    if (FD_ISSET(socket, &failed)) return kNetworkNotConnected;
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
// library therefore starts version 2.2 itself, once, and never stops it: the
// host may be using sockets of its own.
void startWinsockOnce() {
    static bool started = false;
    if (started) return;
    WSADATA details;
    started = WSAStartup(MAKEWORD(2, 2), &details) == 0;
}

// A printer switched off or unplugged sends neither a close nor a reset.
// Keepalive probes a quiet connection after the time-out, ten times (the
// count Windows sends) at a tenth of it, so that a vanished printer is found
// within twice the time-out of quiet and the look before the next send
// finds the connection broken. Time-out 0 leaves the system's own limits.
void watchForVanishing(SOCKET socket, int32_t timeoutMs) {
    if (timeoutMs == 0) return;
    tcp_keepalive probes;
    probes.onoff = 1;
    probes.keepalivetime = static_cast<u_long>(timeoutMs);
    probes.keepaliveinterval = static_cast<u_long>(timeoutMs < 10 ? 1 : timeoutMs / 10);
    DWORD returned = 0;
    WSAIoctl(socket, SIO_KEEPALIVE_VALS, &probes, sizeof probes, nullptr, 0, &returned, nullptr, nullptr);
}

// Makes a connection to address:tcpPort within timeoutMs (0: no limit,
// negative: refused) and leaves it non-blocking: every wait on it is the
// library's own select, so no send or receive ever times out inside Winsock,
// which would leave the socket in an undefined state. A connect that fails
// with anything but "in progress" fails at once.
int32_t connectWithin(int32_t timeoutMs, uint32_t address, int32_t tcpPort, UniqueSocket& connection) {
    if (timeoutMs < 0) return kNetworkWaitFailed;
    sockaddr_in peer = socketAddress(address, tcpPort);
    startWinsockOnce();
    UniqueSocket made(socket(AF_INET, SOCK_STREAM, 0));
    if (!made.valid()) return kNetworkNoSocket;
    if (!setNonBlocking(made.get())) return kNetworkModeSwitchFailed;
    if (connect(made.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return kNetworkNotConnected;
        int32_t waited = waitForConnection(made.get(), timeoutMs);
        if (waited != 0) return waited;
    }
    watchForVanishing(made.get(), timeoutMs);
    connection.reset(made.release());
    return 0;
}

// Waits until the socket is in the set select fills for reading or, with
// forRoom, for writing; at most waitMs (negative: no limit).
bool waitFor(SOCKET socket, bool forRoom, int64_t waitMs) {
    fd_set watched;
    FD_ZERO(&watched);
    FD_SET(socket, &watched);
    SelectWait wait(waitMs);
    return select(0, forRoom ? nullptr : &watched, forRoom ? &watched : nullptr, nullptr, wait.get()) == 1;
}

// Takes what the connection holds into the entry's input without waiting, at
// most reads receives, so a printer that keeps sending cannot hold the
// caller up. A look takes several, to reach a close behind the bytes; a
// data read one, which is all it needs. kClosed when the printer closed or
// reset the connection, or keepalive found it gone.
VELLAMOOR_PER_CALL NetworkLook takeWaiting(NetworkPortEntry& entry, int reads) {
    char chunk[kDrainChunkBytes];
    for (int read = 0; read < reads; ++read) {
        int n = recv(entry.socket, chunk, static_cast<int>(sizeof chunk), 0);
        if (n > 0) {
            entry.input.keep(reinterpret_cast<const uint8_t*>(chunk), static_cast<uint32_t>(n));
            continue;
        }
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return NetworkLook::kOpen;
        return NetworkLook::kClosed;
    }
    return NetworkLook::kOpen;
}

// A printer that closed the connection (many do after an idle minute), reset
// it or vanished shows as readable; so do bytes it sent.
VELLAMOOR_PER_CALL NetworkLook lookAt(NetworkPortEntry& entry) {
    if (entry.socket == INVALID_SOCKET) return NetworkLook::kClosed;
    if (!waitFor(entry.socket, false, 0)) return NetworkLook::kOpen;
    return takeWaiting(entry, kMaxDrainReads);
}

}  // namespace

PortTable<NetworkPortEntry>& networkPortTable() { return table; }

int32_t openNetworkPort(int32_t timeoutMs, uint32_t address, int32_t tcpPort) {
    UniqueSocket connection;
    int32_t connected = connectWithin(timeoutMs, address, tcpPort, connection);
    if (connected != 0) return connected;
    uint32_t index = table.append(NetworkPortEntry{address, tcpPort, connection.get(), timeoutMs, GetTickCount(), {}});
    if (index == 0) return kNetworkTableFull;
    connection.release();
    return static_cast<int32_t>(index);
}

VELLAMOOR_PER_CALL NetworkLook lookAtNetworkPort(PortIndex index, int32_t lookAgainAfterMs) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return NetworkLook::kClosed;
    const DWORD now = GetTickCount();
    if (now - entry->lastLookTick < static_cast<DWORD>(lookAgainAfterMs)) return NetworkLook::kOpen;
    const NetworkLook look = lookAt(*entry);
    if (look != NetworkLook::kClosed) entry->lastLookTick = now;
    return look;
}

bool reconnectNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return false;
    if (entry->socket != INVALID_SOCKET) closesocket(entry->socket);
    entry->socket = INVALID_SOCKET;
    UniqueSocket connection;
    if (connectWithin(entry->timeoutMs, entry->address, entry->tcpPort, connection) != 0) return false;
    entry->socket = connection.release();
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
    if (!waitFor(entry->socket, true, networkWaitLimit(entry->timeoutMs))) return 0;
    int sent = send(entry->socket, static_cast<const char*>(bytes), static_cast<int>(count), 0);
    if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    return sent;
}

VELLAMOOR_PER_CALL int32_t takeNetworkInput(PortIndex index, void* buffer, uint32_t capacity, int32_t waitMs) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kDataPathGone;
    const DWORD start = GetTickCount();
    while (entry->input.count == 0) {
        if (entry->socket == INVALID_SOCKET) return kDataPathGone;
        const int64_t waited = GetTickCount() - start;
        if (waitMs >= 0 && waited > waitMs) return kDataPathNothingCame;
        if (!waitFor(entry->socket, false, waitMs < 0 ? -1 : waitMs - waited)) return kDataPathNothingCame;
        if (takeWaiting(*entry, 1) == NetworkLook::kClosed && entry->input.count == 0) return kDataPathGone;
    }
    return static_cast<int32_t>(entry->input.take(buffer, capacity));
}

int32_t closeNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    const SOCKET socket = entry->socket;
    table.removeAt(index);
    if (socket == INVALID_SOCKET) return kNetworkClosed;
    return closesocket(socket) == 0 ? kNetworkClosed : kNetworkCloseFailed;
}

}  // namespace vellamoor
