// Measures the DLL against the raw Win32 calls doing the same work, side by
// side and interleaved, on sinks the caller provides: a network printer at
// ADDRESS (data 9100, status 4000) and a serial printer on COMn. Prints one
// CSV line per row (bench_common.h).

#include <winsock.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library_client.h"
#include "bench_common.h"

using namespace vellamoor;

namespace {

SOCKET rawConnect(const uint8_t (&address)[4], u_short port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    std::memcpy(&peer.sin_addr, address, 4);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
        fd_set readable, writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_SET(s, &readable);
        FD_SET(s, &writable);
        timeval wait{kTimeoutMs / 1000, (kTimeoutMs % 1000) * 1000};
        select(0, &readable, &writable, nullptr, &wait);
        // The library asks for the pending error too, to tell a refusal from a connection.
        int error = 0;
        int length = sizeof error;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    }
    int timeout = kTimeoutMs;
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeout), sizeof timeout);
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    return s;
}

HANDLE rawOpenSerial(int com) {
    std::wstring path = L"\\\\.\\COM" + std::to_wstring(com);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    COMMTIMEOUTS timeouts{0, 0, kTimeoutMs, 0, 0};
    SetCommTimeouts(h, &timeouts);
    DCB dcb{};
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    SetCommState(h, &dcb);
    return h;
}

void writeRows(LibraryClient& library, const uint8_t (&address)[4], int com, double seconds) {
    jint net = library.openNetwork(address, kTimeoutMs);
    jint serial = library.openSerial(com, kFastestSpeed, kTimeoutMs);
    SOCKET rawNet = rawConnect(address, 9100);
    if (net == 0 || serial == 0 || rawNet == INVALID_SOCKET) {
        std::fprintf(stderr, "bench: sinks did not open (network %d, serial %d)\n", net, serial);
        std::exit(1);
    }
    for (size_t size : kWriteSizes) {
        std::vector<uint8_t> payload(size, 'A');
        jbyteArray data = library.jvm().newByteArray(payload);
        jintArray result = library.jvm().newIntArray(1);
        const jint count = static_cast<jint>(size);
        std::string row = "network write " + std::to_string(size) + " B";
        measure(row.c_str(), size, seconds, [&] { return library.writePort(net, data, 0, count, result) == 1; },
                [&] { return send(rawNet, reinterpret_cast<const char*>(payload.data()), count, 0) > 0; });
    }
    library.closePort(net);
    closesocket(rawNet);
    // The raw side opens the same port a second time; Wine does not enforce
    // exclusive opens, so both write to the same pseudo-terminal and reader.
    for (size_t size : kWriteSizes) {
        std::vector<uint8_t> payload(size, 'A');
        jbyteArray data = library.jvm().newByteArray(payload);
        jintArray result = library.jvm().newIntArray(1);
        const jint count = static_cast<jint>(size);
        HANDLE raw = rawOpenSerial(com);
        std::string row = "serial write " + std::to_string(size) + " B";
        measure(row.c_str(), size, seconds, [&] { return library.writePort(serial, data, 0, count, result) == 1; },
                [&] {
                    DWORD written = 0;
                    return WriteFile(raw, payload.data(), count, &written, nullptr) && written == DWORD(count);
                });
        CloseHandle(raw);
    }
    library.closePort(serial);
}

void statusRows(LibraryClient& library, const uint8_t (&address)[4], int com, double seconds) {
    jbyteArray status = library.jvm().newByteArray(std::vector<uint8_t>(kFullStatusLength));
    jint net = library.openNetwork(address, kTimeoutMs);
    SOCKET rawStatus = rawConnect(address, 4000);
    measure("network status", 0, seconds, [&] { return library.parsedStatus(net, status) == 1; },
            [&] {
                const char request[3] = {0x1B, 0x76, 0x00};
                char reply[128];
                send(rawStatus, request, 3, 0);
                return recv(rawStatus, reply, sizeof reply, 0) > 0;
            });
    library.closePort(net);
    closesocket(rawStatus);

    jint serial = library.openSerial(com, kFastestSpeed, kTimeoutMs);
    HANDLE raw = rawOpenSerial(com);
    measure("serial status", 0, seconds, [&] { return library.parsedStatus(serial, status) == 1; },
            [&] {
                uint8_t reply[4];
                PurgeComm(raw, PURGE_RXCLEAR);
                for (uint8_t n = 1; n <= 4; ++n) {
                    const uint8_t request[3] = {0x10, 0x04, n};
                    DWORD done = 0;
                    PurgeComm(raw, PURGE_RXCLEAR);
                    WriteFile(raw, request, 3, &done, nullptr);
                    if (!ReadFile(raw, reply + n - 1, 1, &done, nullptr) || done != 1) return false;
                }
                return true;
            });
    CloseHandle(raw);
    library.closePort(serial);
}

Body libraryOpenClose(LibraryClient& library, jint portType, jbyteArray parameters) {
    return [&library, portType, parameters] {
        jint handle = library.openPort(portType, parameters, kTimeoutMs);
        library.closePort(handle);
        return handle != 0;
    };
}

void openCloseRows(LibraryClient& library, const uint8_t (&address)[4], int com, double seconds) {
    jbyteArray serialParameters = library.jvm().newByteArray({static_cast<uint8_t>(com), kFastestSpeed});
    measure("serial open+close", 0, seconds,
            libraryOpenClose(library, kSerialPortType, serialParameters),
            [&] {
                HANDLE h = rawOpenSerial(com);
                return h != INVALID_HANDLE_VALUE && CloseHandle(h);
            });
    jbyteArray networkParameters = library.jvm().newByteArray(std::vector<uint8_t>(address, address + 4));
    measure("network open+close", 0, seconds,
            libraryOpenClose(library, kNetworkPortType, networkParameters),
            [&] {
                SOCKET data = rawConnect(address, 9100);
                SOCKET status = rawConnect(address, 4000);
                closesocket(status);
                closesocket(data);
                return data != INVALID_SOCKET && status != INVALID_SOCKET;
            });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench <library.dll> <IPv4 address> <COM number> <seconds per side>\n");
        return 2;
    }
    uint8_t address[4];
    if (!parseIpv4(argv[2], address)) return 2;
    WSADATA winsock;
    WSAStartup(MAKEWORD(1, 1), &winsock);
    LibraryClient library;
    std::string error;
    if (!library.load(argv[1], error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 3;
    }
    const int com = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);
    writeRows(library, address, com, seconds);
    statusRows(library, address, com, seconds);
    openCloseRows(library, address, com, seconds);
    WSACleanup();
    return 0;
}
