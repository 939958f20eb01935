// Drives the real DLL for the Wine end-to-end suite. Loads the library named
// on the command line, starts Winsock as a JVM would, then answers one line
// per command read from stdin:
//   open <type> <timeoutMs> <hex|->          -> open <handle>
//   write <handle> <from> <to> <hex|->       -> write <result> <count>
//   fill <handle> <count>                    -> fill <result> <count written>  (writes count bytes 00 01 .. ff 00 ..)
//   close <handle>                           -> close <result>
//   status <handle> <length> [<hex fill>]    -> status <result> <hex of the array>
//   read <handle> / reset <handle>           -> read <result> / reset <result>
//   jni                                      -> jni <outstanding elements> <misuses>
//   handles                                  -> handles <open kernel handles of this process>
//   quit

#include <winsock.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "library_client.h"

namespace {

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
    if (command == "handles") {
        DWORD count = 0;
        GetProcessHandleCount(GetCurrentProcess(), &count);
        return "handles " + std::to_string(count);
    }
    if (command == "jni") {
        return "jni " + std::to_string(library.jvm().outstandingElements()) + " " +
               std::to_string(library.jvm().misuses().size());
    }
    return "error unknown command " + command;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: port_driver <library.dll>\n");
        return 2;
    }
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(1, 1), &winsock) != 0) {
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
    WSACleanup();
    return 0;
}
