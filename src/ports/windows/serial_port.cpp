#include "serial_port.h"

#include <cstring>

#include "platform_guards.h"
#include "port_entries.h"

namespace vellamoor {
namespace {

constexpr size_t kDevicePathBuffer = 4 + kComNameBuffer;
constexpr int32_t kFirstPortNeedingDevicePrefix = 10;
constexpr char kXon = 0x11;   // DC1
constexpr char kXoff = 0x13;  // DC3

PortTable<SerialPortEntry> table;

// Only COM1 to COM9 are predefined DOS device names; ports from 10 upwards
// need the "\\.\" prefix to reach the device namespace.
void formatDevicePath(int32_t portNumber, const char* shortName, wchar_t (&path)[kDevicePathBuffer]) {
    size_t out = 0;
    if (portNumber >= kFirstPortNeedingDevicePrefix) {
        for (const char* prefix = "\\\\.\\"; *prefix != '\0'; ++prefix) path[out++] = *prefix;
    }
    for (const char* in = shortName; *in != '\0'; ++in) path[out++] = static_cast<wchar_t>(*in);
    path[out] = L'\0';
}

enum class TimeoutsApplied { kApplied, kRefused, kNoRecord };

// Installs the read time-outs; writes never time out. A port that refuses
// keeps its old ones.
TimeoutsApplied applyTimeouts(HANDLE port, DWORD interval, DWORD multiplier, DWORD constant) {
    HeapBlock record(sizeof(COMMTIMEOUTS));
    if (!record) return TimeoutsApplied::kNoRecord;
    COMMTIMEOUTS* timeouts = record.as<COMMTIMEOUTS>();
    timeouts->ReadIntervalTimeout = interval;
    timeouts->ReadTotalTimeoutMultiplier = multiplier;
    timeouts->ReadTotalTimeoutConstant = constant;
    timeouts->WriteTotalTimeoutMultiplier = 0;
    timeouts->WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(port, timeouts) ? TimeoutsApplied::kApplied : TimeoutsApplied::kRefused;
}

// A read returns when the requested bytes arrived or readTimeoutMs passed;
// 0 in every member switches read time-outs off. Only a missing record
// fails the open.
bool applyReadTimeout(HANDLE port, uint32_t readTimeoutMs) {
    return applyTimeouts(port, 0, 0, readTimeoutMs) != TimeoutsApplied::kNoRecord;
}

// The time-outs of a data read: with MAXDWORD as the interval and the
// multiplier and a constant below MAXDWORD, ReadFile returns as soon as any
// byte has come, or after the constant with none; with MAXDWORD as the
// interval and the rest 0 it returns at once with what has come.
bool applyDataReadTimeouts(HANDLE port, int32_t timeoutMs) {
    const TimeoutsApplied applied = timeoutMs <= 0 ? applyTimeouts(port, MAXDWORD, 0, 0)
                                                   : applyTimeouts(port, MAXDWORD, MAXDWORD, static_cast<DWORD>(timeoutMs));
    return applied == TimeoutsApplied::kApplied;
}

// Builds the line settings from zero so that nothing the port had before
// survives: 8N1, no XON/XOFF or hardware handshake, DTR on, RTS off. Windows
// supports binary mode only, and serial drivers refuse the whole record when
// XonChar equals XoffChar, so those get the usual DC1/DC3 even though XON/XOFF
// flow control stays off and they never act on the line.
bool applyLineSettings(HANDLE port, uint32_t baudRate) {
    HeapBlock record(sizeof(DCB));
    if (!record) return false;
    DCB* dcb = record.as<DCB>();
    std::memset(dcb, 0, sizeof *dcb);
    dcb->DCBlength = sizeof *dcb;
    dcb->BaudRate = baudRate;
    dcb->fBinary = TRUE;
    dcb->ByteSize = 8;
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->XonChar = kXon;
    dcb->XoffChar = kXoff;
    SetCommState(port, dcb);  // a port that refuses keeps its old settings
    return true;
}

}  // namespace

PortTable<SerialPortEntry>& serialPortTable() { return table; }

int32_t openSerialPort(int32_t portNumber, uint32_t baudRate, uint32_t readTimeoutMs) {
    char shortName[kComNameBuffer];
    if (!formatComName(portNumber, shortName)) return kSerialPortNotOpened;
    wchar_t path[kDevicePathBuffer];
    formatDevicePath(portNumber, shortName, path);

    UniqueHandle port(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!port.valid()) return kSerialPortNotOpened;
    if (!applyReadTimeout(port.get(), readTimeoutMs)) return kSerialNoTimeoutRecord;
    if (!applyLineSettings(port.get(), baudRate)) return kSerialNoLineSettingsRecord;

    SerialPortEntry entry{};
    std::memcpy(entry.name, shortName, sizeof shortName);
    entry.handle = port.get();
    entry.readTimeoutMs = readTimeoutMs;
    uint32_t index = table.append(entry);
    if (index == 0) return kSerialTableFull;
    port.release();
    return static_cast<int32_t>(index);
}

VELLAMOOR_PER_CALL int32_t writeSerialPort(PortIndex index, const void* bytes, uint32_t count) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->handle == nullptr) return 0;
    DWORD written = 0;
    if (!WriteFile(entry->handle, bytes, count, &written, nullptr)) return 0;
    return static_cast<int32_t>(written);
}

// Waits as long as the read time-out installed at open allows.
VELLAMOOR_PER_CALL int32_t readSerialPort(PortIndex index, void* buffer, uint32_t count) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->handle == nullptr) return 0;
    DWORD read = 0;
    if (!ReadFile(entry->handle, buffer, count, &read, nullptr)) return 0;
    return static_cast<int32_t>(read);
}

// The open's time-out goes back in afterwards, for the status exchange. A
// port that refuses the data read's time-outs cannot be read within a
// bound, and counts as gone.
int32_t readSerialData(PortIndex index, void* buffer, uint32_t capacity, int32_t timeoutMs) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->handle == nullptr) return kDataPathGone;
    if (!applyDataReadTimeouts(entry->handle, timeoutMs)) return kDataPathGone;
    DWORD read = 0;
    const BOOL done = ReadFile(entry->handle, buffer, capacity, &read, nullptr);
    applyTimeouts(entry->handle, 0, 0, entry->readTimeoutMs);
    if (!done) return kDataPathGone;
    return static_cast<int32_t>(read);
}

VELLAMOOR_PER_CALL void purgeSerialInput(PortIndex index) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry != nullptr) PurgeComm(entry->handle, PURGE_RXCLEAR);
}

int32_t closeSerialPort(PortIndex index) {
    SerialPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->handle == nullptr) return 0;
    HANDLE handle = entry->handle;
    // The entry goes first so that it is gone even when CloseHandle fails.
    table.removeAt(index);
    return CloseHandle(handle) ? 1 : 0;
}

}  // namespace vellamoor
