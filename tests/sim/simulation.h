#pragma once

// A scriptable stand-in for the Win32 calls the library makes. Tests script
// devices, interfaces and network peers, inject failures per call, read the
// call log, and check the ledger for anything left open. Nothing sleeps:
// time-outs advance a virtual clock.

#include <mstcpip.h>
#include <setupapi.h>
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

// A first-in, first-out queue that takes no memory until something is
// queued. The fuzzer builds a fresh world for every input, and a std::deque
// allocates even while empty.
template <typename T>
class Queue {
public:
    Queue() = default;
    Queue(std::initializer_list<T> items) : items_(items) {}

    bool empty() const { return head_ == items_.size(); }
    T& front() { return items_[head_]; }
    typename std::vector<T>::const_iterator begin() const { return items_.begin() + head_; }
    typename std::vector<T>::const_iterator end() const { return items_.end(); }

    template <typename... Arguments>
    void emplace_back(Arguments&&... arguments) {
        items_.emplace_back(std::forward<Arguments>(arguments)...);
    }
    void push_back(T item) { items_.push_back(std::move(item)); }
    void push_front(T item) {
        if (head_ == 0) items_.insert(items_.begin(), std::move(item));
        else items_[--head_] = std::move(item);
    }
    // Taken items are dropped once the queue is empty.
    void pop_front() {
        if (++head_ < items_.size()) return;
        items_.clear();
        head_ = 0;
    }

private:
    std::vector<T> items_;
    size_t head_ = 0;
};

struct SerialDevice {
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    std::vector<DWORD> purges;
    // What reached the printer. A write completes once the driver has taken
    // the bytes; they then leave at the line's speed (10 bits a byte), and a
    // PURGE_TXCLEAR drops those still in the driver from the tail of this.
    Bytes written;
    size_t unsent = 0;
    uint64_t unsentSince = 0;
    std::vector<Bytes> writes;
    // Bytes from the printer, each with the virtual time it arrives at.
    Queue<std::pair<uint64_t, uint8_t>> incoming;
    // Plays the printer: called after every write with the bytes written.
    std::function<void(SerialDevice&, const Bytes&)> respond;

    void answer(const Bytes& bytes, uint64_t delayMs = 0);
};

// Completes: the bytes arrive in the next USB frame (afterMs, at least 1 ms).
enum class ReadKind { Completes, Fails, Pends };

// One ReadFile on a USB read handle. A pending read that is cancelled before
// its bytes arrive leaves them with the printer, which hands them to the next
// read at the time they were due: a late answer is not lost, it comes later.
struct UsbRead {
    ReadKind kind;
    Bytes bytes;
    uint64_t afterMs = 0;   // Pends: completes this long after the read began
    bool never = false;     // Pends: never completes by itself
    DWORD error = ERROR_GEN_FAILURE;
    bool completesOnCancel = false;  // Pends: the bytes land while CancelIo is issued
    uint64_t dueAt = 0;              // set when a cancelled read goes back to the printer
};

struct UsbDevice {
    std::vector<bool> writeOpens;  // outcome of each write-handle attempt; missing ones succeed
    std::vector<bool> readOpens;   // the same for read handles
    Bytes written;
    Queue<UsbRead> reads;          // outcome of each ReadFile on a read handle; none: pends forever
    std::function<void(UsbDevice&, const Bytes&)> respond;
};

struct DeviceInterface {
    std::wstring path;
    DWORD flags = SPINT_ACTIVE;
    bool detailFails = false;
    bool reportsNoSize = false;
};

enum class Connect {
    Immediately,     // connect() succeeds on the spot
    ReadyAfter,      // select() sees it writable after readyAfterMs
    NeverReady,      // no answer at all: nothing within any wait
    // Refused, as Windows reports it: select() puts the socket in the
    // exception set at once, with a pending WSAECONNREFUSED, and in no other
    // set; a select that does not watch the exception set waits its time out.
    Refused,
    RefusedReadable, // select() returns at once with a pending WSAECONNREFUSED, as Wine often does
};

struct Peer {
    Connect connect = Connect::ReadyAfter;
    uint64_t readyAfterMs = 5;
    int sendLimit = -1;           // accept at most this many bytes per send
    // Bytes the printer still takes before it stops reading (out of paper,
    // say): then a blocking send waits out SO_SNDTIMEO and fails, a
    // non-blocking one would block, and select finds no room. -1: no limit.
    int window = -1;
    bool closedByPeer = false;    // recv returns 0 once nothing is left to read
    // A print server that serves this many connections at a time and refuses
    // another (Connect::Refused) while they last. -1: no limit.
    int sessions = -1;
    // Switched off or unplugged at this virtual time: no close, no reset,
    // nothing comes back; sends are still taken by the local stack and lost.
    // New connections get no answer. 0: present.
    uint64_t vanishedAt = 0;
    uint64_t replyDelayMs = 0;    // how long a scripted reply takes to arrive
    Bytes received;               // everything the library sent
    Queue<Bytes> replies;         // scripted answers: each send releases the next one
    // Bytes on their way to the library, each chunk with the virtual time it
    // arrives at. A recv that times out leaves them there for the next recv.
    Queue<std::pair<uint64_t, Bytes>> incoming;
    std::function<void(Peer&, const Bytes&)> respond;

    void answer(const Bytes& bytes, uint64_t delayMs = 0);
};

struct SocketState {
    std::string peer;
    bool nonBlocking = false;
    int pendingError = 0;
    bool connected = false;
    // The peer closed this connection (FIN): it reads as readable and recv
    // gives 0. The first send after it is taken and lost, as the peer
    // answers it with a reset; later sends and receives fail.
    bool closedByPeer = false;
    bool reset = false;
    bool refused = false;  // the connect was refused (Connect::Refused, or the peer's sessions were taken)
    int32_t sendTimeoutMs = 0;
    int32_t receiveTimeoutMs = 0;
    // SIO_KEEPALIVE_VALS: probes after keepaliveTimeMs of quiet, then every
    // keepaliveIntervalMs; Windows gives up after ten unanswered ones and the
    // connection is broken (WSAENETRESET). 0: keepalive off.
    uint32_t keepaliveTimeMs = 0;
    uint32_t keepaliveIntervalMs = 0;
    uint64_t lastHeardFrom = 0;  // virtual time the peer last sent or acknowledged anything
    // Bytes sent to a vanished peer wait for an acknowledgement, and while
    // they do keepalive does not probe: the system's retransmission limit,
    // which the simulation does not model, would end the connection.
    bool unacknowledged = false;
};

struct Ledger {
    size_t handles = 0;
    size_t sockets = 0;
    size_t deviceInfoLists = 0;
    size_t heapBlocks = 0;
    size_t pendingIo = 0;
};

// Clears every device, peer, fault, log and ledger entry and the clock.
void reset();

std::vector<DeviceInterface>& deviceInterfaces();
SerialDevice& serial(std::wstring_view path);
UsbDevice& usb(std::wstring_view path);
Peer& peer(std::string_view endpoint);  // "a.b.c.d:port"
const SocketState& socketState(SOCKET socket);
// The peer at endpoint closes every connection to it that is open now, as a
// printer does with a connection it found idle; new connections work.
void closeConnections(const std::string& endpoint);

// Makes the nth call (1-based) of a function fail, or every call for nth 0.
void failCall(std::string_view function, int nth = 0);
int callCount(std::string_view function);
// Removes every injected failure; devices, handles and the ledger stay.
void clearFaults();

// Whether calls are written to the call log (on unless turned off; reset()
// leaves it as it is). Counts and injected faults work either way.
void recordCalls(bool on);

// Each call as "Name(arguments)", in order.
const std::vector<std::string>& calls();
std::vector<std::string> callsOf(const std::string& function);
void clearCalls();

uint64_t now();
// Lets virtual time pass, as between two calls of the Java side.
void advance(uint64_t ms);
// WSAStartup calls of the whole process: like Winsock itself, its start
// outlives reset().
int winsockStartups();
Ledger ledger();
// Uses of the API that Windows would reject or that would hang.
const std::vector<std::string>& misuses();
void clearMisuses();

}  // namespace sim
