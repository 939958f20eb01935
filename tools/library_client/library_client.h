#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mini_jvm.h"
#include "parsed_status.h"
#include "port_handle.h"
#include "shared_library.h"

namespace vellamoor {

// Calls the library the way the JVM does: loads the DLL (or, on Linux, the
// shared object), looks its seven
// entry points up by their exported JNI names and passes Java arrays through
// a minimal JNIEnv. Used by the command-line tool and the Wine test driver,
// so both exercise exactly the DLL a Java program would load.
class LibraryClient {
public:
    LibraryClient() = default;
    LibraryClient(const LibraryClient&) = delete;
    LibraryClient& operator=(const LibraryClient&) = delete;
    // On failure `error` says which step failed and why.
    bool load(const std::string& libraryPath, std::string& error);

    // The library file that was loaded.
    std::string libraryPath() const { return library_.path(); }

    jint openPort(jint portType, const std::vector<uint8_t>& parameters, jint timeoutMs);
    // The opens of each transport as the Java side makes them: COMn at a
    // speed index (1-4), a printer at an IPv4 address, the first USB printer.
    jint openSerial(int comPort, int speedIndex, jint timeoutMs);
    jint openNetwork(const uint8_t (&address)[4], jint timeoutMs);
    jint openUsb(jint timeoutMs);
    jint closePort(jint handle);
    // Writes data[0 .. to-from) and stores what result[0] received in `written`.
    jint writePort(jint handle, const std::vector<uint8_t>& data, jint from, jint to, jint& written);
    jint readPort(jint handle);
    jint resetDevice(jint handle);
    // Queries into `status` (its size is the Java array's length); `status`
    // receives the array's contents after the call.
    jint parsedStatus(jint handle, std::vector<uint8_t>& status);
    // DataPath.nativeRead into `buffer` (its size is the Java array's length);
    // `buffer` receives the array's contents after the call.
    jint readData(jint handle, std::vector<uint8_t>& buffer, jint timeoutMs);

    // The same calls on Java arrays the caller made with jvm(), for loops
    // that reuse their arrays as a Java program would.
    jint openPort(jint portType, jbyteArray parameters, jint timeoutMs);
    jint writePort(jint handle, jbyteArray data, jint from, jint to, jintArray result);
    jint parsedStatus(jint handle, jbyteArray status);

    minijvm::MiniJvm& jvm() { return jvm_; }

private:
    typedef jint(JNICALL* OpenPortFn)(JNIEnv*, jclass, jint, jbyteArray, jint);
    typedef jint(JNICALL* ClosePortFn)(JNIEnv*, jclass, jint);
    typedef jint(JNICALL* WritePortFn)(JNIEnv*, jclass, jint, jbyteArray, jint, jint, jintArray);
    typedef jint(JNICALL* ReadPortFn)(JNIEnv*, jclass, jint, jint, jint, jint, jint);
    typedef jint(JNICALL* ResetDeviceFn)(JNIEnv*, jclass, jint);
    typedef jint(JNICALL* ParsedStatusFn)(JNIEnv*, jclass, jint, jbyteArray);
    typedef jint(JNICALL* ReadDataFn)(JNIEnv*, jclass, jint, jbyteArray, jint);

    SharedLibrary library_;
    minijvm::MiniJvm jvm_;
    OpenPortFn openPort_ = nullptr;
    ClosePortFn closePort_ = nullptr;
    WritePortFn writePort_ = nullptr;
    ReadPortFn readPort_ = nullptr;
    ResetDeviceFn resetDevice_ = nullptr;
    ParsedStatusFn parsedStatus_ = nullptr;
    ReadDataFn readData_ = nullptr;
};

// The name under which the DLL exports a native method of a class:
// stdcall-decorated on 32-bit Windows ("_Java_..._IOPort_nativeOpenPort@20"),
// plain on x64.
std::string exportedName(const char* javaClass, const char* method, int argumentBytes);

}  // namespace vellamoor
