#include "usb_port.h"

#include <windows.h>
#include <setupapi.h>

#include <utility>

#include "platform_guards.h"
#include "port_entries.h"
#include "usb_print_class.h"
#include "usb_vendors.h"

namespace vellamoor {
namespace {

const GUID& GUID_DEVINTERFACE_USBPRINT = usbPrintInterfaceClass();
constexpr size_t kVendorTokenLength = kVendorTokenPrefixLength + kUsbVendorIdLength;
constexpr int kOpenAttempts = 3;
constexpr DWORD kPauseAfterOpenMs = 10;

PortTable<UsbPortEntry> table;

struct DeviceInfoListTraits {
    using Value = HDEVINFO;
    static HDEVINFO empty() { return INVALID_HANDLE_VALUE; }
    static bool valid(HDEVINFO list) { return list != INVALID_HANDLE_VALUE; }
    static void close(HDEVINFO list) { SetupDiDestroyDeviceInfoList(list); }
};

using DeviceInfoList = UniqueResource<DeviceInfoListTraits>;

bool isAcceptedVendorToken(const char* token) {
    return equalIgnoringAsciiCase(token, kVendorTokenPrefix, kVendorTokenPrefixLength) &&
           isAcceptedUsbVendor(token + kVendorTokenPrefixLength);
}

// The vendor token sits at characters 8 to 15 of the narrow device path. A
// path that cannot be converted, or is too short to hold a token, is simply
// not a printer we accept.
bool hasAcceptedVendorToken(const wchar_t* devicePath) {
    int size = WideCharToMultiByte(CP_THREAD_ACP, 0, devicePath, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    HeapBlock narrow(static_cast<size_t>(size));
    if (!narrow) return false;
    char* path = narrow.as<char>();
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, devicePath, -1, path, size, nullptr, nullptr) <= 0) return false;
    for (size_t i = 0; i < kVendorTokenOffset + kVendorTokenLength; ++i) {
        if (path[i] == '\0') return false;
    }
    return isAcceptedVendorToken(path + kVendorTokenOffset);
}

// Reads the interface's device path into a buffer of the size SetupAPI asks
// for. cbSize must name the fixed part of the record, not the buffer.
bool readInterfaceDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA& interfaceData, HeapBlock& detail) {
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(list, &interfaceData, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return false;
    if (!detail.allocate(required)) return false;
    detail.as<SP_DEVICE_INTERFACE_DETAIL_DATA_W>()->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    return SetupDiGetDeviceInterfaceDetailW(list, &interfaceData, detail.as<SP_DEVICE_INTERFACE_DETAIL_DATA_W>(),
                                            required, nullptr, nullptr) != FALSE;
}

// Walks at most twenty member indices and stops at the first active interface
// with an accepted vendor token; later interfaces are never considered.
int32_t findAcceptedPrinter(HDEVINFO list, HeapBlock& detail) {
    for (DWORD member = 0; member < kMaxUsbCandidates; ++member) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(list, nullptr, &GUID_DEVINTERFACE_USBPRINT, member, &interfaceData)) {
            return kUsbNoPrinter;
        }
        if (interfaceData.Flags != SPINT_ACTIVE) continue;
        HeapBlock candidate;
        if (!readInterfaceDetail(list, interfaceData, candidate)) return kUsbDetailQueryFailed;
        if (!hasAcceptedVendorToken(candidate.as<SP_DEVICE_INTERFACE_DETAIL_DATA_W>()->DevicePath)) continue;
        detail = std::move(candidate);
        return 0;
    }
    return kUsbNoPrinter;
}

// The class driver may still be settling right after enumeration, so the
// device is opened three times with short pauses and the last handle kept.
// Earlier handles are closed at once: with share mode 0 they would block the
// next attempt.
HANDLE openWithRetries(const wchar_t* path, DWORD access, DWORD flags, bool pause) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        handle = CreateFileW(path, access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
        if (attempt < kOpenAttempts && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        if (pause) Sleep(kPauseAfterOpenMs);
    }
    return handle;
}

int32_t openPrinter(const wchar_t* path, int32_t readTimeoutMs) {
    UniqueHandle writeHandle(openWithRetries(path, GENERIC_WRITE, 0, true));
    UniqueHandle readHandle(openWithRetries(path, GENERIC_READ, FILE_FLAG_OVERLAPPED, writeHandle.valid()));
    if (!writeHandle.valid() || !readHandle.valid()) return kUsbNoPrinter;
    uint32_t index = table.append(UsbPortEntry{readTimeoutMs, writeHandle.get(), readHandle.get()});
    if (index == 0) return kUsbTableFull;
    writeHandle.release();
    readHandle.release();
    return static_cast<int32_t>(index);
}

// One read on the overlapped read handle, waited for at most waitMs. A
// request still pending after the wait is cancelled and then waited for, so
// the system never writes into the caller's buffer or this OVERLAPPED record
// after the call returns. The count always comes from GetOverlappedResult:
// bytes that completed while the cancel was being issued are counted, not
// lost.
//
// Each request signals an event of its own: with the file handle as the
// signal, two reads outstanding on one handle (two threads asking one
// printer) could each take the other's completion.
//
// Returns the count, kDataPathNothingCame when the wait ended first (or no
// event could be made), kDataPathGone when the read failed: the printer was
// unplugged or switched off.
int32_t readOverlapped(HANDLE handle, void* buffer, uint32_t capacity, DWORD waitMs) {
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done.valid()) return kDataPathNothingCame;
    OVERLAPPED request{};
    request.hEvent = done.get();
    DWORD count = 0;
    BOOL completed = ReadFile(handle, buffer, capacity, &count, &request);
    if (!completed && GetLastError() != ERROR_IO_PENDING) return kDataPathGone;
    if (!completed && WaitForSingleObject(done.get(), waitMs) != WAIT_OBJECT_0) CancelIo(handle);
    if (!GetOverlappedResult(handle, &request, &count, TRUE)) {
        return GetLastError() == ERROR_OPERATION_ABORTED ? kDataPathNothingCame : kDataPathGone;
    }
    return static_cast<int32_t>(count);
}

constexpr DWORD kUsbDrainReadWaitMs = 5;

}  // namespace

PortTable<UsbPortEntry>& usbPortTable() { return table; }

int32_t openUsbPort(int32_t readTimeoutMs) {
    DeviceInfoList list(SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!list.valid()) return kUsbNoDeviceList;
    HeapBlock detail;
    int32_t found = findAcceptedPrinter(list.get(), detail);
    if (found != 0) return found;
    return openPrinter(detail.as<SP_DEVICE_INTERFACE_DETAIL_DATA_W>()->DevicePath, readTimeoutMs);
}

VELLAMOOR_PER_CALL int32_t writeUsbPort(PortIndex index, const void* bytes, uint32_t count) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->writeHandle == nullptr) return kUsbWriteNoEntry;
    DWORD written = 0;
    if (!WriteFile(entry->writeHandle, bytes, count, &written, nullptr)) return 0;
    return static_cast<int32_t>(written);
}

// The read handle is overlapped, and the platform requires an OVERLAPPED
// record for every read on such a handle, so a time-out of 0 is an overlapped
// read waited for without a limit.
VELLAMOOR_PER_CALL int32_t readUsbPort(PortIndex index, void* buffer, uint32_t capacity) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->readHandle == nullptr) return 0;
    DWORD waitMs = entry->readTimeoutMs == 0 ? INFINITE : static_cast<DWORD>(entry->readTimeoutMs);
    const int32_t read = readOverlapped(entry->readHandle, buffer, capacity, waitMs);
    return read > 0 ? read : 0;
}

int32_t readUsbData(PortIndex index, void* buffer, uint32_t capacity, int32_t timeoutMs) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->readHandle == nullptr) return kDataPathGone;
    return readOverlapped(entry->readHandle, buffer, capacity, static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs));
}

// A USB bulk read cannot complete within a wait of 0 ms: the host
// controller asks the printer in a later frame (every millisecond). Each
// drain read therefore waits a few frames, so that a late answer the printer
// holds is really taken; the read count bounds the whole drain.
VELLAMOOR_PER_CALL void drainUsbPort(PortIndex index) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->readHandle == nullptr) return;
    uint8_t scrap[kDrainChunkBytes];
    for (int read = 0; read < kMaxDrainReads; ++read) {
        if (readOverlapped(entry->readHandle, scrap, sizeof scrap, kUsbDrainReadWaitMs) <= 0) return;
    }
}

int32_t closeUsbPort(PortIndex index) {
    UsbPortEntry* entry = table.entryAt(index);
    if (entry == nullptr || entry->writeHandle == nullptr || entry->readHandle == nullptr) return 0;
    UsbPortEntry closing = *entry;
    table.removeAt(index);
    CloseHandle(closing.writeHandle);
    return CloseHandle(closing.readHandle) ? 1 : 0;
}

}  // namespace vellamoor
