// Drives the real DLL for the Wine end-to-end suite. Loads the library named
// on the command line, starts Winsock as a JVM may (not with --no-winsock, to
// show the library starts it itself), then answers one line per command read
// from stdin:
//   open <type> <timeoutMs> <hex|->          -> open <handle>
//   write <handle> <from> <to> <hex|->       -> write <result> <count>
//   fill <handle> <count>                    -> fill <result> <count written>  (writes count bytes 00 01 .. ff 00 ..)
//   close <handle>                           -> close <result>
//   status <handle> <length> [<hex fill>]    -> status <result> <hex of the array>
//   read <handle> / reset <handle>           -> read <result> / reset <result>
//   data <handle> <length> <timeoutMs>       -> data <result> <hex of the bytes read>  (DataPath.nativeRead)
//   jni                                      -> jni <outstanding elements> <misuses>
//   handles                                  -> handles <open kernel handles of this process>
//   leak                                     -> leak <1>  (opens an event and keeps it: a planted leak)
//   quit

#include <winsock.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "library_client.h"

namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

// One entry of the system's handle table, as NtQuerySystemInformation lists it.
struct SystemHandleEntry {
    USHORT process;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR attributes;
    USHORT handle;
    PVOID object;
    ULONG grantedAccess;
};

struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};

// Kernel handles this process holds. Wine answers 0 to GetProcessHandleCount
// whatever is open, so count this process's entries in the system's handle
// table instead; -1 when the table cannot be read.
long countOwnHandles() {
    typedef LONG(WINAPI * QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return -1;
    std::vector<uint8_t> buffer(64 * 1024);
    LONG status = kInfoLengthMismatch;
    while (status == kInfoLengthMismatch) {
        ULONG needed = 0;
        status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
    }
    if (status != 0) return -1;
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
    long own = 0;
    for (ULONG i = 0; i < table->count; ++i) own += table->entries[i].process == self;
    return own;
}

std::vector<uint8_t> fromHex(const std::string& text) {
    std::vector<uint8_t> bytes;
    if (text == "-") return bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text.empty() ? "-" : text;
}

std::string run(vellamoor::LibraryClient& library, const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "open") {
        jint type = 0, timeout = 0;
        std::string parameters;
        in >> type >> timeout >> parameters;
        return "open " + std::to_string(library.openPort(type, fromHex(parameters), timeout));
    }
    if (command == "write") {
        jint handle = 0, from = 0, to = 0, written = 0;
        std::string data;
        in >> handle >> from >> to >> data;
        jint r = library.writePort(handle, fromHex(data), from, to, written);
        return "write " + std::to_string(r) + " " + std::to_string(written);
    }
    if (command == "fill") {
        jint handle = 0, written = 0;
        size_t count = 0;
        in >> handle >> count;
        std::vector<uint8_t> data(count);
        for (size_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(i);
        jint r = library.writePort(handle, data, 0, static_cast<jint>(count), written);
        return "fill " + std::to_string(r) + " " + std::to_string(written);
    }
    if (command == "close") {
        jint handle = 0;
        in >> handle;
        return "close " + std::to_string(library.closePort(handle));
    }
    if (command == "status") {
        jint handle = 0;
        size_t length = 0;
        std::string fill = "ee";
        in >> handle >> length >> fill;
        std::vector<uint8_t> status(length, fromHex(fill).at(0));
        jint r = library.parsedStatus(handle, status);
        return "status " + std::to_string(r) + " " + toHex(status);
    }
    if (command == "read" || command == "reset") {
        jint handle = 0;
        in >> handle;
        return command + " " + std::to_string(command == "read" ? library.readPort(handle) : library.resetDevice(handle));
    }
    if (command == "data") {
        jint handle = 0, timeout = 0;
        size_t length = 0;
        in >> handle >> length >> timeout;
        std::vector<uint8_t> buffer(length);
        jint r = library.readData(handle, buffer, timeout);
        buffer.resize(r > 0 ? static_cast<size_t>(r) : 0);
        return "data " + std::to_string(r) + " " + toHex(buffer);
    }
    if (command == "handles") return "handles " + std::to_string(countOwnHandles());
    if (command == "leak") return "leak " + std::to_string(CreateEventA(nullptr, FALSE, FALSE, nullptr) != nullptr);
    if (command == "jni") {
        return "jni " + std::to_string(library.jvm().outstandingElements()) + " " +
               std::to_string(library.jvm().misuses().size());
    }
    return "error unknown command " + command;
}

}  // namespace

int main(int argc, char** argv) {
    const bool startWinsock = !(argc == 3 && std::string(argv[2]) == "--no-winsock");
    if (argc != 2 && startWinsock) {
        std::fprintf(stderr, "usage: port_driver <library.dll> [--no-winsock]\n");
        return 2;
    }
    WSADATA winsock;
    if (startWinsock && WSAStartup(MAKEWORD(1, 1), &winsock) != 0) {
        std::printf("error WSAStartup failed\n");
        return 2;
    }
    vellamoor::LibraryClient library;
    std::string error;
    if (!library.load(argv[1], error)) {
        std::printf("error %s\n", error.c_str());
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "quit") break;
        std::printf("%s\n", run(library, line).c_str());
        std::fflush(stdout);
    }
    if (startWinsock) WSACleanup();
    return 0;
}
