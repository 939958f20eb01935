#include "simulation.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <sstream>
#include <string_view>

namespace sim {
namespace {

enum class HandleKind { Serial, UsbWrite, UsbRead, Event };

// A handle points at its device: device records never move once made, and
// the fuzzer opens thousands of handles a second.
struct OpenHandle {
    HandleKind kind;
    SerialDevice* serial;
    UsbDevice* usb;
    bool overlapped;
};

struct PendingRead {
    HANDLE handle;
    OVERLAPPED* request;
    uint8_t* buffer;
    DWORD capacity;
    UsbRead outcome;
    uint64_t startedAt;
    bool cancelled;
};

struct DeviceList {
    std::vector<DeviceInterface> interfaces;
};

// Each simulated function has a slot for its count and its faults, so that
// entering a call does no string work: the fuzzer enters millions of them.
constexpr size_t kFunctionSlots = 64;

struct Fault {
    size_t slot;
    int nth;
};

struct State {
    uint64_t clock = 0;
    DWORD lastError = 0;
    int lastSocketError = 0;
    uintptr_t nextHandle = 0x1000;
    SOCKET nextSocket = 100;
    std::map<std::wstring, SerialDevice, std::less<>> serial;
    std::map<std::wstring, UsbDevice, std::less<>> usb;
    std::map<const UsbDevice*, std::pair<size_t, size_t>> usbAttempts;
    std::vector<DeviceInterface> interfaces;
    std::map<std::string, Peer, std::less<>> peers;
    std::map<HANDLE, OpenHandle> handles;
    std::map<SOCKET, SocketState> sockets;
    std::map<HDEVINFO, std::unique_ptr<DeviceList>> lists;
    std::map<void*, size_t> heap;
    std::vector<PendingRead> pending;
    std::vector<Fault> faults;
    std::array<int, kFunctionSlots> counts{};
    std::vector<std::string> calls;
    std::vector<std::string> misuses;
};

State& state() {
    static State* current = new State();
    return *current;
}

// Winsock's start belongs to the process, not to one test's devices.
int winsockStarts = 0;

std::string narrow(std::wstring_view wide) {
    std::string out;
    for (wchar_t c : wide) out += static_cast<char>(c);
    return out;
}

// The slot of a function, by its name's text. Slots belong to the process:
// names never change meaning.
size_t slotNamed(std::string_view name) {
    static std::vector<std::string>* names = new std::vector<std::string>();
    auto found = std::find(names->begin(), names->end(), name);
    if (found != names->end()) return static_cast<size_t>(found - names->begin());
    if (names->size() == kFunctionSlots) std::abort();
    names->emplace_back(name);
    return names->size() - 1;
}

// The slot of a function entered under a literal name: each call site passes
// the same literal, so its address finds the slot without comparing text.
size_t slotOf(const char* literal) {
    static std::array<const char*, kFunctionSlots> addresses{};
    for (size_t slot = 0; slot < kFunctionSlots && addresses[slot] != nullptr; ++slot) {
        if (addresses[slot] == literal) return slot;
    }
    size_t slot = slotNamed(literal);
    if (addresses[slot] == nullptr) addresses[slot] = literal;
    return slot;
}

// Whether calls are written to the call log; the fuzzer turns it off, since
// formatting every call's arguments was much of its time.
bool recordingCalls = true;

// Counts the call, records it (formatting its arguments only while calls are
// recorded) and tells whether an injected fault makes it fail.
template <typename Arguments>
bool enter(const char* function, Arguments arguments) {
    State& s = state();
    const size_t slot = slotOf(function);
    const int n = ++s.counts[slot];
    if (recordingCalls) s.calls.push_back(std::string(function) + "(" + arguments() + ")");
    return std::any_of(s.faults.begin(), s.faults.end(),
                       [&](const Fault& fault) { return fault.slot == slot && (fault.nth == 0 || fault.nth == n); });
}

bool enter(const char* function) {
    return enter(function, [] { return std::string(); });
}

void misuse(const std::string& what) { state().misuses.push_back(what); }

OpenHandle* lookup(HANDLE handle) {
    auto found = state().handles.find(handle);
    return found == state().handles.end() ? nullptr : &found->second;
}

HANDLE newHandle(OpenHandle open) {
    State& s = state();
    HANDLE handle = reinterpret_cast<HANDLE>(s.nextHandle);
    s.nextHandle += 0x10;
    s.handles.emplace(handle, open);
    return handle;
}

std::string hex(DWORD value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

HANDLE fail(DWORD error) {
    state().lastError = error;
    return INVALID_HANDLE_VALUE;
}

BOOL failWith(DWORD error) {
    state().lastError = error;
    return FALSE;
}

// The communications functions work on COM ports only: any other device
// (a USB printer handle among them) answers ERROR_INVALID_FUNCTION, and a
// handle that is not open ERROR_INVALID_HANDLE.
SerialDevice* commDevice(HANDLE handle, const char* function) {
    OpenHandle* open = lookup(handle);
    if (open == nullptr) {
        misuse(std::string(function) + " on a handle that is not open");
        state().lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (open->kind != HandleKind::Serial) {
        state().lastError = ERROR_INVALID_FUNCTION;
        return nullptr;
    }
    return open->serial;
}

// Moves what the line has sent since the last look out of the driver.
void transmit(SerialDevice& device) {
    uint64_t bitsPerSecond = device.dcb.BaudRate != 0 ? device.dcb.BaudRate : 9600;
    uint64_t sent = (state().clock - device.unsentSince) * bitsPerSecond / 10000;
    device.unsent -= std::min<uint64_t>(device.unsent, sent);
    device.unsentSince = state().clock;
}

// What a serial driver refuses in SetCommState: equal XON and XOFF
// characters (IOCTL_SERIAL_SET_CHARS) and sizes or modes the UART lacks.
bool acceptedLineSettings(const DCB& dcb) {
    return dcb.XonChar != dcb.XoffChar && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity <= 4 &&
           dcb.StopBits <= 2;
}

HANDLE openSerial(std::wstring_view path, DWORD shareMode, DWORD flags) {
    State& s = state();
    auto device = s.serial.find(path);
    if (device == s.serial.end()) return fail(ERROR_FILE_NOT_FOUND);
    if (shareMode != 0 || flags != 0) misuse("serial port opened shared or overlapped");
    for (auto& open : s.handles) {
        if (open.second.serial == &device->second) return fail(ERROR_ACCESS_DENIED);
    }
    return newHandle(OpenHandle{HandleKind::Serial, &device->second, nullptr, flags != 0});
}

HANDLE openUsb(UsbDevice& device, DWORD access, DWORD flags) {
    State& s = state();
    bool writing = (access & GENERIC_WRITE) != 0;
    size_t attempt = writing ? s.usbAttempts[&device].first++ : s.usbAttempts[&device].second++;
    const std::vector<bool>& outcomes = writing ? device.writeOpens : device.readOpens;
    if (attempt < outcomes.size() && !outcomes[attempt]) return fail(ERROR_ACCESS_DENIED);
    return newHandle(OpenHandle{writing ? HandleKind::UsbWrite : HandleKind::UsbRead, nullptr, &device,
                                (flags & FILE_FLAG_OVERLAPPED) != 0});
}

// MAXDWORD as the interval: with the multiplier and the constant 0 a read
// returns at once with what has come; with MAXDWORD as the multiplier and a
// constant from 1 to MAXDWORD - 1 it returns as soon as a byte has come, or
// after the constant with none. Windows documents no other form with it.
DWORD readSerialAvailable(SerialDevice& device, uint8_t* buffer, DWORD count) {
    State& s = state();
    const COMMTIMEOUTS& t = device.timeouts;
    const bool atOnce = t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const bool firstByte = t.ReadTotalTimeoutMultiplier == MAXDWORD && t.ReadTotalTimeoutConstant != 0 &&
                           t.ReadTotalTimeoutConstant != MAXDWORD;
    if (!atOnce && !firstByte) misuse("read time-outs with MAXDWORD as the interval in an undocumented form");
    if (firstByte) {
        const uint64_t deadline = s.clock + t.ReadTotalTimeoutConstant;
        const bool comes = !device.incoming.empty() && device.incoming.front().first <= deadline;
        s.clock = comes ? std::max(s.clock, device.incoming.front().first) : deadline;
    }
    DWORD delivered = 0;
    while (delivered < count && !device.incoming.empty() && device.incoming.front().first <= s.clock) {
        buffer[delivered++] = device.incoming.front().second;
        device.incoming.pop_front();
    }
    return delivered;
}

// Hands out the serial bytes that have arrived by the deadline, advancing the
// clock to the last one delivered or to the deadline when bytes are missing.
DWORD readSerial(SerialDevice& device, uint8_t* buffer, DWORD count) {
    State& s = state();
    const COMMTIMEOUTS& t = device.timeouts;
    if (t.ReadIntervalTimeout == MAXDWORD) return readSerialAvailable(device, buffer, count);
    bool unlimited = t.ReadIntervalTimeout == 0 && t.ReadTotalTimeoutMultiplier == 0 &&
                     t.ReadTotalTimeoutConstant == 0;
    uint64_t deadline = s.clock + t.ReadTotalTimeoutConstant + uint64_t(t.ReadTotalTimeoutMultiplier) * count;
    DWORD delivered = 0;
    while (delivered < count && !device.incoming.empty() &&
           (unlimited || device.incoming.front().first <= deadline)) {
        s.clock = std::max(s.clock, device.incoming.front().first);
        buffer[delivered++] = device.incoming.front().second;
        device.incoming.pop_front();
    }
    if (delivered < count) {
        if (unlimited) misuse("serial read without time-out would wait forever");
        else s.clock = deadline;
    }
    return delivered;
}

void completeRead(PendingRead& read) {
    DWORD n = static_cast<DWORD>(std::min<size_t>(read.outcome.bytes.size(), read.capacity));
    if (n != 0) std::memcpy(read.buffer, read.outcome.bytes.data(), n);
    read.request->Internal = 0;
    read.request->InternalHigh = n;
}

// The read a file handle or a request's event stands for.
std::vector<PendingRead>::iterator pendingFor(HANDLE handle) {
    return std::find_if(state().pending.begin(), state().pending.end(), [handle](const PendingRead& read) {
        return read.handle == handle || read.request->hEvent == handle;
    });
}

// A bulk read is answered in a later USB frame, never within the call that
// starts it: even bytes the printer already holds arrive a millisecond or
// more after ReadFile.
constexpr uint64_t kUsbFrameMs = 1;

BOOL readUsb(HANDLE handle, UsbDevice& device, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED request) {
    State& s = state();
    if (pendingFor(handle) != s.pending.end()) misuse("second read while one is pending");
    // With the file handle as its signal, a request cannot be told apart
    // from another one outstanding on the same handle.
    OpenHandle* event = lookup(request->hEvent);
    if (event == nullptr || event->kind != HandleKind::Event) misuse("overlapped read without an event of its own");
    UsbRead outcome{ReadKind::Pends, {}, 0, true};
    if (!device.reads.empty()) {
        outcome = device.reads.front();
        device.reads.pop_front();
    }
    if (outcome.dueAt != 0) {
        outcome.afterMs = outcome.dueAt > s.clock ? outcome.dueAt - s.clock : 0;
        if (outcome.afterMs == 0) outcome.kind = ReadKind::Completes;
    }
    if (outcome.kind == ReadKind::Completes) {
        outcome.kind = ReadKind::Pends;
        outcome.afterMs = std::max(outcome.afterMs, kUsbFrameMs);
    }
    (void)read;
    PendingRead pendingRead{handle, request, static_cast<uint8_t*>(buffer), count, outcome, s.clock, false};
    switch (outcome.kind) {
    case ReadKind::Completes:
    case ReadKind::Fails:
        s.lastError = outcome.error;
        return FALSE;
    case ReadKind::Pends:
        s.pending.push_back(pendingRead);
        s.lastError = ERROR_IO_PENDING;
        return FALSE;
    }
    return FALSE;
}

std::string endpoint(const sockaddr_in& address) {
    const uint8_t* octets = reinterpret_cast<const uint8_t*>(&address.sin_addr);
    unsigned port = (address.sin_port & 0xFFu) << 8 | (address.sin_port >> 8);
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", octets[0], octets[1], octets[2], octets[3], port);
    return text;
}

SocketState* socketOf(SOCKET socket) {
    auto found = state().sockets.find(socket);
    return found == state().sockets.end() ? nullptr : &found->second;
}

int socketError(int error) {
    state().lastSocketError = error;
    return SOCKET_ERROR;
}

// The record under key, made empty if there is none yet.
template <typename Map, typename Key>
typename Map::mapped_type& findOrAdd(Map& records, Key key) {
    auto found = records.find(key);
    if (found == records.end()) found = records.emplace(typename Map::key_type(key), typename Map::mapped_type()).first;
    return found->second;
}

// Bytes the peer sent that have reached the socket by now.
size_t arrivedBytes(const Peer& remote) {
    size_t count = 0;
    for (const auto& chunk : remote.incoming) {
        if (chunk.first <= state().clock) count += chunk.second.size();
    }
    return count;
}

// Sockets connected to the peer at endpoint that it still serves.
int sessionsOf(const std::string& endpoint) {
    int open = 0;
    for (const auto& socket : state().sockets) {
        const SocketState& other = socket.second;
        if (other.peer == endpoint && other.connected && !other.closedByPeer && !other.reset) ++open;
    }
    return open;
}

// When keepalive finds the connection to a vanished peer gone, or never
// (UINT64_MAX).
uint64_t keepaliveGivesUpAt(const SocketState& open, const Peer& remote) {
    if (remote.vanishedAt == 0 || open.keepaliveTimeMs == 0 || open.unacknowledged) return UINT64_MAX;
    return std::max(remote.vanishedAt, open.lastHeardFrom) + open.keepaliveTimeMs + 10ull * open.keepaliveIntervalMs;
}

bool brokenByKeepalive(const SocketState& open, const Peer& remote) {
    return keepaliveGivesUpAt(open, remote) <= state().clock;
}

}  // namespace

void SerialDevice::answer(const Bytes& bytes, uint64_t delayMs) {
    for (uint8_t byte : bytes) incoming.emplace_back(state().clock + delayMs, byte);
}

void Peer::answer(const Bytes& bytes, uint64_t delayMs) { incoming.emplace_back(state().clock + delayMs, bytes); }

void reset() {
    for (auto& block : state().heap) std::free(block.first);
    state() = State();
}

std::vector<DeviceInterface>& deviceInterfaces() { return state().interfaces; }
SerialDevice& serial(std::wstring_view path) { return findOrAdd(state().serial, path); }
UsbDevice& usb(std::wstring_view path) { return findOrAdd(state().usb, path); }
Peer& peer(std::string_view endpointName) { return findOrAdd(state().peers, endpointName); }
const SocketState& socketState(SOCKET socket) { return state().sockets.at(socket); }

void failCall(std::string_view function, int nth) { state().faults.push_back(Fault{slotNamed(function), nth}); }
int callCount(std::string_view function) { return state().counts[slotNamed(function)]; }
void recordCalls(bool on) { recordingCalls = on; }
void clearFaults() { state().faults.clear(); }
const std::vector<std::string>& calls() { return state().calls; }
void clearCalls() { state().calls.clear(); }
std::vector<std::string> callsOf(const std::string& function) {
    std::vector<std::string> matching;
    for (const std::string& call : state().calls) {
        if (call.compare(0, function.size() + 1, function + "(") == 0) matching.push_back(call);
    }
    return matching;
}
uint64_t now() { return state().clock; }
void advance(uint64_t ms) { state().clock += ms; }
int winsockStartups() { return winsockStarts; }
const std::vector<std::string>& misuses() { return state().misuses; }
void clearMisuses() { state().misuses.clear(); }

Ledger ledger() {
    State& s = state();
    return Ledger{s.handles.size(), s.sockets.size(), s.lists.size(), s.heap.size(), s.pending.size()};
}

}  // namespace sim

using namespace sim;

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flags, HANDLE templateFile) {
    std::wstring_view path(fileName);
    if (enter("CreateFileW", [&] { return narrow(path) + "," + hex(access) + "," + hex(flags); })) {
        return fail(ERROR_ACCESS_DENIED);
    }
    if (security != nullptr || templateFile != nullptr || creation != OPEN_EXISTING) misuse("CreateFileW arguments");
    auto usb = state().usb.find(path);
    if (usb != state().usb.end()) {
        if (shareMode != 0) misuse("USB printer opened shared");
        return openUsb(usb->second, access, flags);
    }
    return openSerial(path, shareMode, flags);
}

BOOL CloseHandle(HANDLE handle) {
    bool injected = enter("CloseHandle", [&] { return hex(static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle))); });
    State& s = state();
    if (s.handles.erase(handle) == 0) {
        misuse("CloseHandle on a handle that is not open");
        return FALSE;
    }
    s.pending.erase(std::remove_if(s.pending.begin(), s.pending.end(),
                                   [handle](const PendingRead& read) { return read.handle == handle; }),
                    s.pending.end());
    return injected ? FALSE : TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    if (enter("WriteFile", [&] { return std::to_string(count); })) return FALSE;
    OpenHandle* open = lookup(file);
    if (open == nullptr || open->kind == HandleKind::UsbRead || overlapped != nullptr) {
        misuse("WriteFile on a handle not open for synchronous writing");
        return FALSE;
    }
    if (open->overlapped) {
        misuse("WriteFile without an OVERLAPPED record on an overlapped handle");
        return failWith(ERROR_INVALID_PARAMETER);
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    Bytes chunk(bytes, bytes + count);
    if (written != nullptr) *written = count;
    if (open->kind == HandleKind::Serial) {
        SerialDevice& device = *open->serial;
        transmit(device);
        device.unsent += count;
        device.written.insert(device.written.end(), chunk.begin(), chunk.end());
        device.writes.push_back(chunk);
        if (device.respond) device.respond(device, chunk);
    } else {
        UsbDevice& device = *open->usb;
        device.written.insert(device.written.end(), chunk.begin(), chunk.end());
        if (device.respond) device.respond(device, chunk);
    }
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
    if (enter("ReadFile", [&] { return std::to_string(count) + (overlapped ? ",overlapped" : ""); })) {
        state().lastError = ERROR_GEN_FAILURE;
        return FALSE;
    }
    OpenHandle* open = lookup(file);
    if (open == nullptr || open->kind == HandleKind::UsbWrite) {
        misuse("ReadFile on a handle not open for reading");
        return FALSE;
    }
    // An overlapped handle needs an OVERLAPPED record for every read: without
    // one Windows cannot tell where the request ends and refuses it.
    if (open->overlapped && overlapped == nullptr) {
        misuse("ReadFile without an OVERLAPPED record on an overlapped handle");
        return failWith(ERROR_INVALID_PARAMETER);
    }
    if (open->kind == HandleKind::UsbRead) return readUsb(file, *open->usb, buffer, count, read, overlapped);
    DWORD n = readSerial(*open->serial, static_cast<uint8_t*>(buffer), count);
    if (read != nullptr) *read = n;
    return TRUE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    if (enter("PurgeComm", [&] { return std::to_string(flags); })) return FALSE;
    SerialDevice* device = commDevice(file, "PurgeComm");
    if (device == nullptr) return FALSE;
    device->purges.push_back(flags);
    if (flags & PURGE_TXCLEAR) {
        transmit(*device);
        device->written.resize(device->written.size() - device->unsent);
        device->unsent = 0;
    }
    if (flags & PURGE_RXCLEAR) {
        uint64_t clock = state().clock;
        while (!device->incoming.empty() && device->incoming.front().first <= clock) device->incoming.pop_front();
    }
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    if (enter("SetCommTimeouts", [&] { return std::to_string(timeouts->ReadTotalTimeoutConstant); })) return FALSE;
    SerialDevice* device = commDevice(file, "SetCommTimeouts");
    if (device == nullptr) return FALSE;
    device->timeouts = *timeouts;
    return TRUE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
    if (enter("SetCommState", [&] { return std::to_string(dcb->BaudRate); })) return FALSE;
    SerialDevice* device = commDevice(file, "SetCommState");
    if (device == nullptr) return FALSE;
    // Windows works in binary mode only and expects the record's own size.
    if (dcb->DCBlength != sizeof(DCB) || !dcb->fBinary) misuse("SetCommState with DCBlength or fBinary unset");
    if (!acceptedLineSettings(*dcb)) return failWith(ERROR_INVALID_PARAMETER);
    device->dcb = *dcb;
    return TRUE;
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    if (enter("CreateEventW")) {
        state().lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    // An auto-reset event would be reset by the wait that sees it, and
    // GetOverlappedResult could then wait for it forever.
    if (security != nullptr || !manualReset || initialState || name != nullptr) misuse("CreateEventW arguments");
    return newHandle(OpenHandle{HandleKind::Event, nullptr, nullptr, false});
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto waited = [&] { return milliseconds == INFINITE ? "INFINITE" : std::to_string(milliseconds); };
    if (enter("WaitForSingleObject", waited)) {
        return WAIT_FAILED;
    }
    State& s = state();
    auto read = pendingFor(handle);
    if (read == s.pending.end()) return WAIT_OBJECT_0;
    bool completes = !read->outcome.never && (milliseconds == INFINITE || read->outcome.afterMs <= milliseconds);
    if (completes) {
        s.clock = read->startedAt + read->outcome.afterMs;
        completeRead(*read);
        s.pending.erase(read);
        return WAIT_OBJECT_0;
    }
    if (milliseconds == INFINITE) {
        misuse("wait without limit on a read that never completes");
        return WAIT_FAILED;
    }
    s.clock += milliseconds;
    return WAIT_TIMEOUT;
}

BOOL CancelIo(HANDLE file) {
    if (enter("CancelIo")) return FALSE;
    for (PendingRead& read : state().pending) {
        if (read.handle == file) read.cancelled = true;
    }
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    enter("GetOverlappedResult", [&] { return wait ? "wait" : ""; });
    State& s = state();
    auto read = pendingFor(file);
    if (read == s.pending.end() || read->request != overlapped) {
        if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
        return TRUE;
    }
    if (!read->cancelled && !wait) {
        s.lastError = ERROR_IO_INCOMPLETE;
        return FALSE;
    }
    if (!read->cancelled) {
        WaitForSingleObject(file, INFINITE);
        if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
        return TRUE;
    }
    // A cancel races with the device: the request may have completed with
    // bytes before the cancel reached it, and then it reports them.
    if (read->outcome.completesOnCancel) {
        completeRead(*read);
        s.pending.erase(read);
        if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
        return TRUE;
    }
    if (!read->outcome.never && !read->outcome.bytes.empty()) {
        UsbRead late = read->outcome;
        late.dueAt = read->startedAt + read->outcome.afterMs;
        s.handles.at(file).usb->reads.push_front(late);
    }
    overlapped->Internal = STATUS_CANCELLED;
    overlapped->InternalHigh = 0;
    s.pending.erase(read);
    if (transferred != nullptr) *transferred = 0;
    s.lastError = ERROR_OPERATION_ABORTED;
    return FALSE;
}

DWORD GetLastError() { return state().lastError; }

// The virtual clock: milliseconds since the world was reset.
DWORD GetTickCount() { return static_cast<DWORD>(state().clock); }

void Sleep(DWORD milliseconds) {
    enter("Sleep", [&] { return std::to_string(milliseconds); });
    state().clock += milliseconds;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR narrowOut, int narrowLength,
                        LPCSTR defaultChar, LPBOOL usedDefault) {
    if (enter("WideCharToMultiByte", [&] { return std::to_string(codePage); })) return 0;
    if (flags != 0 || defaultChar != nullptr || usedDefault != nullptr || wideLength != -1) {
        misuse("WideCharToMultiByte arguments");
    }
    std::wstring_view text(wide);
    int needed = static_cast<int>(text.size()) + 1;
    if (narrowOut == nullptr || narrowLength == 0) return needed;
    if (narrowLength < needed) {
        state().lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    for (size_t i = 0; i < text.size(); ++i) narrowOut[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    narrowOut[text.size()] = '\0';
    return needed;
}

HANDLE GetProcessHeap() { return reinterpret_cast<HANDLE>(0x4EA9); }

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
    if (enter("HeapAlloc", [&] { return std::to_string(bytes); })) return nullptr;
    void* block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    state().heap[block] = bytes;
    return block;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block) {
    enter("HeapFree");
    if (state().heap.erase(block) == 0) {
        misuse("HeapFree of a block not allocated");
        return FALSE;
    }
    std::free(block);
    return TRUE;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags) {
    if (enter("SetupDiGetClassDevsW", [&] { return hex(flags); })) return INVALID_HANDLE_VALUE;
    if (classGuid == nullptr || classGuid->Data1 != 0x28d78fad || enumerator != nullptr || parent != nullptr) {
        misuse("SetupDiGetClassDevsW arguments");
    }
    std::unique_ptr<DeviceList> list(new DeviceList{state().interfaces});
    HDEVINFO handle = list.get();
    state().lists[handle] = std::move(list);
    return handle;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO list, PSP_DEVINFO_DATA, const GUID*, DWORD member,
                                 PSP_DEVICE_INTERFACE_DATA interfaceData) {
    if (enter("SetupDiEnumDeviceInterfaces", [&] { return std::to_string(member); })) return FALSE;
    auto found = state().lists.find(list);
    if (found == state().lists.end() || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        misuse("SetupDiEnumDeviceInterfaces arguments");
        return FALSE;
    }
    if (member >= found->second->interfaces.size()) {
        state().lastError = ERROR_NO_MORE_ITEMS;
        return FALSE;
    }
    interfaceData->Flags = found->second->interfaces[member].flags;
    interfaceData->Reserved = member;
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO list, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                      LPDWORD requiredSize, PSP_DEVINFO_DATA) {
    bool injected = enter("SetupDiGetDeviceInterfaceDetailW", [&] { return std::to_string(detailSize); });
    auto found = state().lists.find(list);
    if (found == state().lists.end()) return failWith(ERROR_INVALID_HANDLE);
    const DeviceInterface& device = found->second->interfaces.at(interfaceData->Reserved);
    DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                      (device.path.size() + 1) * sizeof(WCHAR));
    // Without a buffer the size must be 0 too; with one, cbSize must name the
    // record's fixed part. Both mistakes are ERROR_INVALID_USER_BUFFER.
    bool sizeQuery = detail == nullptr && detailSize == 0;
    if (!sizeQuery && (detail == nullptr || detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))) {
        misuse("SetupDiGetDeviceInterfaceDetailW buffer");
        return failWith(ERROR_INVALID_USER_BUFFER);
    }
    if (sizeQuery || detailSize < needed) {
        if (requiredSize != nullptr) *requiredSize = device.reportsNoSize ? 0 : needed;
        return failWith(ERROR_INSUFFICIENT_BUFFER);
    }
    if (injected || device.detailFails) return failWith(ERROR_GEN_FAILURE);
    std::memcpy(detail->DevicePath, device.path.c_str(), (device.path.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO list) {
    enter("SetupDiDestroyDeviceInfoList");
    if (state().lists.erase(list) == 0) {
        misuse("SetupDiDestroyDeviceInfoList of an unknown list");
        return FALSE;
    }
    return TRUE;
}

int winsockIsSet(SOCKET socket, fd_set* set) {
    for (unsigned i = 0; i < set->fd_count; ++i) {
        if (set->fd_array[i] == socket) return 1;
    }
    return 0;
}

int WSAStartup(WORD version, LPWSADATA data) {
    enter("WSAStartup", [&] { return hex(version); });
    if (data == nullptr) return WSAEFAULT;
    std::memset(data, 0, sizeof *data);
    data->wVersion = version;
    data->wHighVersion = MAKEWORD(2, 2);
    ++winsockStarts;
    return 0;
}

// The library must never stop Winsock: the host may be using it too.
int WSACleanup() {
    enter("WSACleanup");
    misuse("WSACleanup");
    if (winsockStarts == 0) return socketError(WSANOTINITIALISED);
    --winsockStarts;
    return 0;
}

SOCKET socket(int family, int type, int protocol) {
    if (enter("socket")) {
        state().lastSocketError = WSAEMFILE;
        return INVALID_SOCKET;
    }
    if (winsockStarts == 0) {
        misuse("socket before WSAStartup");
        state().lastSocketError = WSANOTINITIALISED;
        return INVALID_SOCKET;
    }
    if (family != AF_INET || type != SOCK_STREAM || protocol != 0) misuse("socket arguments");
    State& s = state();
    SOCKET created = s.nextSocket++;
    s.sockets[created] = SocketState{};
    return created;
}

int ioctlsocket(SOCKET socket, long command, u_long* argument) {
    bool reading = command == static_cast<long>(FIONREAD);
    if (enter("ioctlsocket", [&] { return reading ? "FIONREAD" : std::to_string(*argument); })) {
        return socketError(WSAEINVAL);
    }
    SocketState* open = socketOf(socket);
    if (open == nullptr) return socketError(WSAENOTSOCK);
    if (reading) {
        *argument = static_cast<u_long>(arrivedBytes(state().peers[open->peer]));
        return 0;
    }
    if (command != static_cast<long>(FIONBIO)) return socketError(WSAEINVAL);
    open->nonBlocking = *argument != 0;
    return 0;
}

int connect(SOCKET socket, const struct sockaddr* address, int length) {
    const sockaddr_in& peerAddress = *reinterpret_cast<const sockaddr_in*>(address);
    std::string name = endpoint(peerAddress);
    if (enter("connect", [&] { return name; })) return socketError(WSAECONNREFUSED);
    SocketState* open = socketOf(socket);
    if (open == nullptr || length != 16 || peerAddress.sin_family != AF_INET) return socketError(WSAEFAULT);
    if (!open->nonBlocking) misuse("blocking connect");
    open->peer = name;
    Peer& remote = state().peers[name];
    if (remote.connect == Connect::Refused || (remote.sessions >= 0 && sessionsOf(name) >= remote.sessions)) {
        open->refused = true;
        return socketError(WSAEWOULDBLOCK);
    }
    if (remote.connect == Connect::Immediately && remote.vanishedAt == 0) {
        open->connected = true;
        return 0;
    }
    return socketError(WSAEWOULDBLOCK);
}

int select(int, fd_set* readable, fd_set* writable, fd_set* exceptions, const struct timeval* wait) {
    auto waited = [&] {
        std::string limit = wait ? std::to_string(wait->tv_sec) + "s+" + std::to_string(wait->tv_usec) + "us" : "null";
        return limit + (exceptions ? ",exceptions" : "");
    };
    if (enter("select", waited)) return socketError(WSAEINVAL);
    if (wait != nullptr && (wait->tv_sec < 0 || wait->tv_usec < 0)) return socketError(WSAEINVAL);
    // Winsock, unlike POSIX, refuses a select that watches nothing.
    auto empty = [](const fd_set* set) { return set == nullptr || set->fd_count == 0; };
    if (empty(readable) && empty(writable) && empty(exceptions)) return socketError(WSAEINVAL);
    State& s = state();
    const bool unlimited = wait == nullptr;
    uint64_t waitMs = unlimited ? 0 : uint64_t(wait->tv_sec) * 1000 + uint64_t(wait->tv_usec) / 1000;
    SOCKET candidate = !empty(writable) ? writable->fd_array[0]
                       : !empty(readable) ? readable->fd_array[0] : exceptions->fd_array[0];
    SocketState* open = socketOf(candidate);
    Peer& remote = s.peers[open ? open->peer : ""];
    const bool watchesFailures = !empty(exceptions);
    if (readable) readable->fd_count = 0;
    if (writable) writable->fd_count = 0;
    if (exceptions) exceptions->fd_count = 0;
    if (open == nullptr) return socketError(WSAENOTSOCK);
    if (open->connected) {
        // A connection made: writable, readable once data or the peer's FIN
        // arrived, or once keepalive found the peer gone (a recv then fails).
        const uint64_t givesUpAt = keepaliveGivesUpAt(*open, remote);
        if (readable && arrivedBytes(remote) == 0 && !open->closedByPeer && givesUpAt <= s.clock + waitMs) {
            s.clock = std::max(s.clock, givesUpAt);
        }
        int ready = 0;
        if (readable && (arrivedBytes(remote) > 0 || open->closedByPeer || brokenByKeepalive(*open, remote))) {
            FD_SET(candidate, readable);
            ++ready;
        }
        if (writable && !open->closedByPeer && remote.window != 0) {
            FD_SET(candidate, writable);
            ++ready;
        }
        if (ready == 0 && unlimited) misuse("select without limit that never returns");
        if (ready == 0) s.clock += waitMs;
        return ready;
    }
    if (open->refused && watchesFailures) {
        open->pendingError = WSAECONNREFUSED;
        FD_SET(candidate, exceptions);
        return 1;
    }
    if (remote.connect == Connect::RefusedReadable && !open->refused) {
        open->pendingError = WSAECONNREFUSED;
        if (readable) FD_SET(candidate, readable);
        return 1;
    }
    if (remote.connect == Connect::ReadyAfter && !open->refused && remote.vanishedAt == 0 &&
        (unlimited || remote.readyAfterMs <= waitMs)) {
        s.clock += remote.readyAfterMs;
        open->connected = true;
        open->lastHeardFrom = s.clock;
        if (writable) FD_SET(candidate, writable);
        return 1;
    }
    if (unlimited) misuse("select without limit that never returns");
    s.clock += waitMs;
    return 0;
}

int setsockopt(SOCKET socket, int level, int option, const char* value, int length) {
    int32_t ms = 0;
    if (length == 4) std::memcpy(&ms, value, 4);
    if (enter("setsockopt", [&] { return hex(static_cast<DWORD>(option)) + "," + std::to_string(ms); })) {
        return socketError(WSAEINVAL);
    }
    SocketState* open = socketOf(socket);
    if (open == nullptr || level != SOL_SOCKET || length != 4) return socketError(WSAEINVAL);
    if (option == SO_SNDTIMEO) open->sendTimeoutMs = ms;
    if (option == SO_RCVTIMEO) open->receiveTimeoutMs = ms;
    return 0;
}

int getsockopt(SOCKET socket, int level, int option, char* value, int* length) {
    if (enter("getsockopt", [&] { return hex(static_cast<DWORD>(option)); })) return socketError(WSAEINVAL);
    SocketState* open = socketOf(socket);
    if (open == nullptr || level != SOL_SOCKET || option != SO_ERROR || *length < 4) return socketError(WSAEINVAL);
    std::memcpy(value, &open->pendingError, 4);
    *length = 4;
    return 0;
}

u_short htons(u_short value) { return static_cast<u_short>((value & 0xFF) << 8 | (value >> 8)); }

int send(SOCKET socket, const char* buffer, int length, int) {
    if (enter("send", [&] { return std::to_string(length); })) return socketError(WSAECONNRESET);
    SocketState* open = socketOf(socket);
    if (open == nullptr || !open->connected) return socketError(WSAENOTCONN);
    if (open->reset) return socketError(WSAECONNRESET);
    if (open->closedByPeer) {
        open->reset = true;
        return length;
    }
    Peer& remote = state().peers[open->peer];
    if (brokenByKeepalive(*open, remote)) return socketError(WSAENETRESET);
    if (remote.vanishedAt != 0) {
        open->unacknowledged = true;  // taken by the local stack, never by the printer
        return length;
    }
    open->lastHeardFrom = state().clock;
    const int room = remote.window < 0 ? length : std::min(length, remote.window);
    const int accepted = remote.sendLimit >= 0 ? std::min(room, remote.sendLimit) : room;
    if (open->nonBlocking && accepted == 0 && length > 0) return socketError(WSAEWOULDBLOCK);
    if (remote.window >= 0) remote.window -= accepted;
    Bytes chunk(buffer, buffer + accepted);
    remote.received.insert(remote.received.end(), chunk.begin(), chunk.end());
    if (!open->nonBlocking && room < length) {
        // A blocking send waits for the rest until SO_SNDTIMEO passes, and then
        // reports only the time-out, not the bytes the printer took.
        if (open->sendTimeoutMs == 0) misuse("send without time-out would wait forever");
        state().clock += static_cast<uint32_t>(open->sendTimeoutMs);
        return socketError(WSAETIMEDOUT);
    }
    if (remote.respond) remote.respond(remote, chunk);
    if (!remote.replies.empty()) {
        remote.answer(remote.replies.front(), remote.replyDelayMs);
        remote.replies.pop_front();
    }
    return accepted;
}

int recv(SOCKET socket, char* buffer, int length, int flags) {
    const bool peek = (flags & MSG_PEEK) != 0;
    if (enter("recv", [&] { return std::to_string(length) + (peek ? ",peek" : ""); })) {
        return socketError(WSAECONNRESET);
    }
    SocketState* open = socketOf(socket);
    if (open == nullptr || !open->connected) return socketError(WSAENOTCONN);
    if (open->reset) return socketError(WSAECONNRESET);
    State& s = state();
    Peer& remote = s.peers[open->peer];
    // What the peer sent before its FIN is read first, then the end of the stream.
    if (open->closedByPeer && arrivedBytes(remote) == 0) return 0;
    if (brokenByKeepalive(*open, remote)) return socketError(WSAENETRESET);
    if (open->nonBlocking && arrivedBytes(remote) == 0) {
        return remote.closedByPeer ? 0 : socketError(WSAEWOULDBLOCK);
    }
    bool unlimited = open->receiveTimeoutMs == 0;
    uint64_t deadline = s.clock + static_cast<uint64_t>(static_cast<uint32_t>(open->receiveTimeoutMs));
    if (!remote.incoming.empty() && (unlimited || remote.incoming.front().first <= deadline)) {
        s.clock = std::max(s.clock, remote.incoming.front().first);
        open->lastHeardFrom = s.clock;
        Bytes& chunk = remote.incoming.front().second;
        int n = std::min<int>(length, static_cast<int>(chunk.size()));
        std::memcpy(buffer, chunk.data(), static_cast<size_t>(n));
        if (peek) return n;
        chunk.erase(chunk.begin(), chunk.begin() + n);
        if (chunk.empty()) remote.incoming.pop_front();
        return n;
    }
    if (remote.closedByPeer) return 0;
    if (unlimited) misuse("recv without time-out would wait forever");
    s.clock = deadline;
    return socketError(WSAETIMEDOUT);
}

// Bytes still on their way over a connection go with it.
int closesocket(SOCKET socket) {
    bool injected = enter("closesocket", [&] { return std::to_string(socket); });
    SocketState* open = socketOf(socket);
    if (open != nullptr && open->connected) state().peers[open->peer].incoming = {};
    if (state().sockets.erase(socket) == 0) {
        misuse("closesocket of a socket that is not open");
        return socketError(WSAENOTSOCK);
    }
    return injected ? socketError(WSAENOTSOCK) : 0;
}

// Only SIO_KEEPALIVE_VALS, as Microsoft documents it: a whole tcp_keepalive
// in, a count of returned bytes for a call that is not overlapped.
int WSAIoctl(SOCKET socket, DWORD code, void* in, DWORD inSize, void*, DWORD, DWORD* returned, LPWSAOVERLAPPED overlapped,
             LPWSAOVERLAPPED_COMPLETION_ROUTINE) {
    const tcp_keepalive* values = static_cast<const tcp_keepalive*>(in);
    auto shown = [&] {
        if (values == nullptr) return std::string("null");
        return std::to_string(values->onoff) + "," + std::to_string(values->keepalivetime) + "," +
               std::to_string(values->keepaliveinterval);
    };
    if (enter("WSAIoctl", shown)) return socketError(WSAEINVAL);
    SocketState* open = socketOf(socket);
    if (open == nullptr) return socketError(WSAENOTSOCK);
    if (code != SIO_KEEPALIVE_VALS) return socketError(WSAEINVAL);
    if (values == nullptr || inSize < sizeof(tcp_keepalive) || (overlapped == nullptr && returned == nullptr)) {
        return socketError(WSAEFAULT);
    }
    open->keepaliveTimeMs = values->onoff ? static_cast<uint32_t>(values->keepalivetime) : 0;
    open->keepaliveIntervalMs = values->onoff ? static_cast<uint32_t>(values->keepaliveinterval) : 0;
    if (returned != nullptr) *returned = 0;
    return 0;
}

int WSAGetLastError() { return state().lastSocketError; }

namespace sim {

void closeConnections(const std::string& endpoint) {
    for (auto& open : state().sockets) {
        if (open.second.peer == endpoint && open.second.connected) open.second.closedByPeer = true;
    }
}

}  // namespace sim
