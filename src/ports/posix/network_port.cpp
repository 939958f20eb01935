#include "network_port.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>

#include "port_entries.h"
#include "posix_io.h"

namespace vellamoor {
namespace {

PortTable<NetworkPortEntry> table;

sockaddr_in socketAddress(uint32_t address, int32_t tcpPort) {
    sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(tcpPort));
    peer.sin_addr.s_addr = htonl(address);
    return peer;
}

// Waits for a non-blocking connect with poll (a JVM holds many descriptors,
// and select cannot watch one above 1023). A refused connection shows as
// ready; its pending error tells it apart from a real connection, and a peer
// address confirms one. Time-out 0 polls once, and a negative one fails the
// wait, as select does on Windows.
int32_t waitForConnection(int socket, int32_t timeoutMs) {
    if (timeoutMs < 0) return kNetworkWaitFailed;
    int ready = waitForEvents(socket, POLLIN | POLLOUT, timeoutMs);
    if (ready == 0) return kNetworkNotConnected;
    if (ready < 0) return kNetworkWaitFailed;
    int pendingError = 0;
    socklen_t length = sizeof pendingError;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &pendingError, &length) != 0 || pendingError != 0) {
        return kNetworkNotConnected;
    }
    sockaddr_in peer;
    socklen_t peerLength = sizeof peer;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return kNetworkNotConnected;
    return 0;
}

// One time-out bounds the connection wait and every later send and receive;
// 0 means no limit for these, as on Windows. A negative time-out reads as
// the unsigned count of milliseconds that Windows would take it for.
void setTransferTimeouts(int socket, int32_t timeoutMs) {
    const uint32_t ms = static_cast<uint32_t>(timeoutMs);
    timeval limit;
    limit.tv_sec = static_cast<time_t>(ms / 1000);
    limit.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

// Makes a connection to address:tcpPort within timeoutMs and leaves it
// blocking with the transfer time-outs set. Only a connect still in progress
// is waited for: one that fails at once (no route, network down, refused by
// a local rule) would show as ready to the wait, with no pending error.
int32_t connectWithin(int32_t timeoutMs, uint32_t address, int32_t tcpPort, UniqueFd& connection) {
    sockaddr_in peer = socketAddress(address, tcpPort);
    UniqueFd made(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!made.valid()) return kNetworkNoSocket;
    if (!setNonBlocking(made.get(), true)) return kNetworkModeSwitchFailed;
    if (connect(made.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return kNetworkNotConnected;
        int32_t waited = waitForConnection(made.get(), timeoutMs);
        if (waited != 0) return waited;
    }
    setTransferTimeouts(made.get(), timeoutMs);
    if (!setNonBlocking(made.get(), false)) return kNetworkModeSwitchFailed;
    connection.reset(made.release());
    return 0;
}

// A printer that closed the connection (many do after an idle minute) or
// reset it shows as readable, and a peek finds the end of the stream or an
// error; a peek that finds data leaves it where it is.
VELLAMOOR_PER_CALL NetworkLook lookAt(int socket) {
    pollfd watched{socket, POLLIN, 0};
    if (poll(&watched, 1, 0) <= 0) return NetworkLook::kOpen;
    char next;
    ssize_t peeked = recv(socket, &next, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0) return NetworkLook::kInputWaiting;
    if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return NetworkLook::kOpen;
    return NetworkLook::kClosed;
}

}  // namespace

PortTable<NetworkPortEntry>& networkPortTable() { return table; }

int32_t openNetworkPort(int32_t timeoutMs, uint32_t address, int32_t tcpPort) {
    UniqueFd connection;
    int32_t connected = connectWithin(timeoutMs, address, tcpPort, connection);
    if (connected != 0) return connected;
    uint32_t index = table.append(NetworkPortEntry{address, tcpPort, connection.get(), timeoutMs, tickMs()});
    if (index == 0) return kNetworkTableFull;
    connection.release();
    return static_cast<int32_t>(index);
}

VELLAMOOR_PER_CALL NetworkLook lookAtNetworkPort(PortIndex index, int32_t lookAgainAfterMs) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return NetworkLook::kClosed;
    const int64_t now = tickMs();
    if (now - entry->lastLookMs < lookAgainAfterMs) return NetworkLook::kOpen;
    const NetworkLook look = lookAt(entry->socket);
    if (look != NetworkLook::kClosed) entry->lastLookMs = now;
    return look;
}

bool reconnectNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return false;
    UniqueFd connection;
    if (connectWithin(entry->timeoutMs, entry->address, entry->tcpPort, connection) != 0) return false;
    close(entry->socket);
    entry->socket = connection.release();
    entry->lastLookMs = tickMs();
    return true;
}

// MSG_NOSIGNAL: a printer that dropped the connection must give an error,
// not a SIGPIPE that would end the JVM.
VELLAMOOR_PER_CALL int32_t sendNetworkPort(PortIndex index, const void* bytes, uint32_t count) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    const int socket = entry->socket;
    ssize_t sent = retryOnSignal([&] { return send(socket, bytes, count, MSG_NOSIGNAL); });
    return static_cast<int32_t>(sent);
}

VELLAMOOR_PER_CALL int32_t receiveNetworkPort(PortIndex index, void* buffer, uint32_t capacity) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    const int socket = entry->socket;
    ssize_t received = retryOnSignal([&] { return recv(socket, buffer, capacity, 0); });
    return static_cast<int32_t>(received);
}

VELLAMOOR_PER_CALL void drainNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return;
    char scrap[kDrainChunkBytes];
    for (int read = 0; read < kMaxDrainReads; ++read) {
        int waiting = 0;
        if (ioctl(entry->socket, FIONREAD, &waiting) != 0 || waiting <= 0) return;
        if (recv(entry->socket, scrap, sizeof scrap, MSG_DONTWAIT) <= 0) return;
    }
}

int32_t closeNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    const int socket = entry->socket;
    table.removeAt(index);
    return close(socket) == 0 ? kNetworkClosed : kNetworkCloseFailed;
}

}  // namespace vellamoor
