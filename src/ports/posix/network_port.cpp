#include "network_port.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
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
// address confirms one.
int32_t waitForConnection(int socket, int32_t timeoutMs) {
    int ready = waitForEvents(socket, POLLIN | POLLOUT, networkWaitLimit(timeoutMs));
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

// A printer switched off or unplugged sends neither a close nor a reset, and
// the local stack would take sends for a quarter of an hour, each reported
// written. TCP_USER_TIMEOUT ends the connection once sent bytes went
// unacknowledged for the time-out; keepalive probes a quiet connection after
// the time-out (whole seconds, at least one), so that the look before the
// next send finds it gone. Time-out 0 leaves the system's own limits.
void watchForVanishing(int socket, int32_t timeoutMs) {
    if (timeoutMs == 0) return;
    const int on = 1;
    const int idleSeconds = timeoutMs < 1000 ? 1 : timeoutMs / 1000;
    const unsigned int unacknowledgedMs = static_cast<unsigned int>(timeoutMs);
    setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &idleSeconds, sizeof idleSeconds);
    setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
}

// Makes a connection to address:tcpPort within timeoutMs and leaves it
// non-blocking: every wait on it is the library's own poll, against a
// deadline. Only a connect still in progress is waited for: one that fails
// at once (no route, network down, refused by a local rule) would show as
// ready to the wait, with no pending error.
int32_t connectWithin(int32_t timeoutMs, uint32_t address, int32_t tcpPort, UniqueFd& connection) {
    if (timeoutMs < 0) return kNetworkWaitFailed;
    sockaddr_in peer = socketAddress(address, tcpPort);
    UniqueFd made(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!made.valid()) return kNetworkNoSocket;
    if (!setNonBlocking(made.get(), true)) return kNetworkModeSwitchFailed;
    if (connect(made.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return kNetworkNotConnected;
        int32_t waited = waitForConnection(made.get(), timeoutMs);
        if (waited != 0) return waited;
    }
    watchForVanishing(made.get(), timeoutMs);
    connection.reset(made.release());
    return 0;
}

// Takes what the connection holds into the entry's input without waiting, at
// most reads receives, so a printer that keeps sending cannot hold the
// caller up. A look takes several, to reach a close behind the bytes; a
// data read one, which is all it needs. kClosed when the printer closed or
// reset the connection or it vanished (its pending error, ETIMEDOUT, shows
// here).
VELLAMOOR_PER_CALL NetworkLook takeWaiting(NetworkPortEntry& entry, int reads) {
    uint8_t chunk[kDrainChunkBytes];
    for (int read = 0; read < reads; ++read) {
        ssize_t n = recv(entry.socket, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            entry.input.keep(chunk, static_cast<uint32_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return NetworkLook::kOpen;
        return NetworkLook::kClosed;
    }
    return NetworkLook::kOpen;
}

// A printer that closed the connection (many do after an idle minute), reset
// it or vanished shows as readable or in error; so do bytes it sent.
VELLAMOOR_PER_CALL NetworkLook lookAt(NetworkPortEntry& entry) {
    if (entry.socket < 0) return NetworkLook::kClosed;
    pollfd watched{entry.socket, POLLIN, 0};
    if (poll(&watched, 1, 0) <= 0) return NetworkLook::kOpen;
    return takeWaiting(entry, kMaxDrainReads);
}

}  // namespace

PortTable<NetworkPortEntry>& networkPortTable() { return table; }

int32_t openNetworkPort(int32_t timeoutMs, uint32_t address, int32_t tcpPort) {
    UniqueFd connection;
    int32_t connected = connectWithin(timeoutMs, address, tcpPort, connection);
    if (connected != 0) return connected;
    uint32_t index = table.append(NetworkPortEntry{address, tcpPort, connection.get(), timeoutMs, tickMs(), {}});
    if (index == 0) return kNetworkTableFull;
    connection.release();
    return static_cast<int32_t>(index);
}

VELLAMOOR_PER_CALL NetworkLook lookAtNetworkPort(PortIndex index, int32_t lookAgainAfterMs) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return NetworkLook::kClosed;
    const int64_t now = tickMs();
    if (now - entry->lastLookMs < lookAgainAfterMs) return NetworkLook::kOpen;
    const NetworkLook look = lookAt(*entry);
    if (look != NetworkLook::kClosed) entry->lastLookMs = now;
    return look;
}

bool reconnectNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return false;
    if (entry->socket >= 0) close(entry->socket);
    entry->socket = -1;
    UniqueFd connection;
    if (connectWithin(entry->timeoutMs, entry->address, entry->tcpPort, connection) != 0) return false;
    entry->socket = connection.release();
    entry->lastLookMs = tickMs();
    return true;
}

// Sends until the connection took every byte or the time-out, counted from
// the start of the call, passed. The clock is read only once a wait is
// needed. MSG_NOSIGNAL: a printer that dropped the connection must give an
// error, not a SIGPIPE that would end the JVM.
VELLAMOOR_PER_CALL int32_t sendNetworkPort(PortIndex index, const void* bytes, uint32_t count) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    const uint8_t* next = static_cast<const uint8_t*>(bytes);
    uint32_t sent = 0;
    int64_t deadline = 0;
    while (sent < count) {
        ssize_t n = send(entry->socket, next + sent, count - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return sent > 0 ? static_cast<int32_t>(sent) : -1;
        if (deadline == 0) deadline = deadlineAfter(networkWaitLimit(entry->timeoutMs));
        if (waitForEventsUntil(entry->socket, POLLOUT, deadline) <= 0) break;
    }
    return static_cast<int32_t>(sent);
}

VELLAMOOR_PER_CALL int32_t takeNetworkInput(PortIndex index, void* buffer, uint32_t capacity, int32_t waitMs) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kDataPathGone;
    const int64_t deadline = entry->input.count > 0 ? 0 : deadlineAfter(waitMs);
    while (entry->input.count == 0) {
        if (entry->socket < 0) return kDataPathGone;
        const int ready = waitForEventsUntil(entry->socket, POLLIN, deadline);
        if (ready == 0) return kDataPathNothingCame;
        if (ready < 0) return kDataPathGone;
        if (takeWaiting(*entry, 1) == NetworkLook::kClosed && entry->input.count == 0) return kDataPathGone;
    }
    return static_cast<int32_t>(entry->input.take(buffer, capacity));
}

int32_t closeNetworkPort(PortIndex index) {
    NetworkPortEntry* entry = table.entryAt(index);
    if (entry == nullptr) return kNetworkNoEntry;
    const int socket = entry->socket;
    table.removeAt(index);
    if (socket < 0) return kNetworkClosed;
    return close(socket) == 0 ? kNetworkClosed : kNetworkCloseFailed;
}

}  // namespace vellamoor
