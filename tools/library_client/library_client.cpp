#include "library_client.h"

namespace vellamoor {
namespace {

const char* const kIOPort = "IOPort";

template <typename Function>
bool find(const SharedLibrary& library, const char* javaClass, const char* method, int argumentBytes,
          Function& function, std::string& error) {
    function = reinterpret_cast<Function>(library.symbol(exportedName(javaClass, method, argumentBytes), error));
    return function != nullptr;
}

}  // namespace

// Decorated only on 32-bit Windows; x64 DLLs and Linux objects export the
// plain JNI names.
std::string exportedName(const char* javaClass, const char* method, int argumentBytes) {
    const std::string name = std::string("Java_net_vellamoor_printerio_") + javaClass + "_" + method;
    if (sizeof(void*) == 8) return name;
    return "_" + name + "@" + std::to_string(argumentBytes);
}

bool LibraryClient::load(const std::string& libraryPath, std::string& error) {
    if (!library_.load(libraryPath, error)) return false;
    const int pointer = static_cast<int>(sizeof(void*));
    const int word = 4;
    return find(library_, kIOPort, "nativeOpenPort", 2 * pointer + 3 * word, openPort_, error) &&
           find(library_, kIOPort, "nativeClosePort", 2 * pointer + word, closePort_, error) &&
           find(library_, kIOPort, "nativeWritePort", 2 * pointer + 5 * word, writePort_, error) &&
           find(library_, kIOPort, "nativeReadPort", 2 * pointer + 5 * word, readPort_, error) &&
           find(library_, kIOPort, "nativeResetDevice", 2 * pointer + word, resetDevice_, error) &&
           find(library_, kIOPort, "nativeGetParsedStatus", 2 * pointer + 2 * word, parsedStatus_, error) &&
           find(library_, "DataPath", "nativeRead", 2 * pointer + 3 * word, readData_, error);
}

jint LibraryClient::openPort(jint portType, const std::vector<uint8_t>& parameters, jint timeoutMs) {
    return openPort(portType, jvm_.newByteArray(parameters), timeoutMs);
}

jint LibraryClient::openSerial(int comPort, int speedIndex, jint timeoutMs) {
    return openPort(kSerialPortType, {static_cast<uint8_t>(comPort), static_cast<uint8_t>(speedIndex)}, timeoutMs);
}

jint LibraryClient::openNetwork(const uint8_t (&address)[4], jint timeoutMs) {
    return openPort(kNetworkPortType, std::vector<uint8_t>(address, address + 4), timeoutMs);
}

// The USB open reads nothing from the array, but a null one fails like any other.
// An empty array, as Java passes it. A bare {0} would pick the jbyteArray
// overload and pass a null array, which the library refuses.
jint LibraryClient::openUsb(jint timeoutMs) { return openPort(kUsbPortType, std::vector<uint8_t>(), timeoutMs); }

jint LibraryClient::openPort(jint portType, jbyteArray parameters, jint timeoutMs) {
    return openPort_(jvm_.env(), nullptr, portType, parameters, timeoutMs);
}

jint LibraryClient::closePort(jint handle) { return closePort_(jvm_.env(), nullptr, handle); }

jint LibraryClient::writePort(jint handle, const std::vector<uint8_t>& data, jint from, jint to, jint& written) {
    jintArray result = jvm_.newIntArray(1, -1);
    jint r = writePort(handle, jvm_.newByteArray(data), from, to, result);
    written = jvm_.ints(result)[0];
    return r;
}

jint LibraryClient::writePort(jint handle, jbyteArray data, jint from, jint to, jintArray result) {
    return writePort_(jvm_.env(), nullptr, handle, data, from, to, result);
}

jint LibraryClient::parsedStatus(jint handle, jbyteArray status) {
    return parsedStatus_(jvm_.env(), nullptr, handle, status);
}

jint LibraryClient::readPort(jint handle) { return readPort_(jvm_.env(), nullptr, handle, 0, 0, 0, 0); }

jint LibraryClient::readData(jint handle, std::vector<uint8_t>& buffer, jint timeoutMs) {
    jbyteArray array = jvm_.newByteArray(buffer);
    jint r = readData_(jvm_.env(), nullptr, handle, array, timeoutMs);
    buffer = jvm_.bytes(array);
    return r;
}

jint LibraryClient::resetDevice(jint handle) { return resetDevice_(jvm_.env(), nullptr, handle); }

jint LibraryClient::parsedStatus(jint handle, std::vector<uint8_t>& status) {
    jbyteArray array = jvm_.newByteArray(status);
    jint r = parsedStatus(handle, array);
    status = jvm_.bytes(array);
    return r;
}

}  // namespace vellamoor
