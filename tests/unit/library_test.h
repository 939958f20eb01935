#pragma once

// Common ground for the unit tests: a fresh simulation and Java side per
// test, helpers that call the entry points as Java does, and a check after
// every test that nothing was leaked, misused or left unreleased.

#include <gtest/gtest.h>
#include <net_vellamoor_printerio_IOPort.h>

#include <cstdio>
#include <string>
#include <vector>

#include "mini_jvm.h"
#include "port_entries.h"
#include "ports/network_port.h"
#include "ports/network_printer.h"
#include "ports/serial_port.h"
#include "ports/usb_port.h"
#include "simulation.h"

using sim::Bytes;

inline std::string hexBytes(const Bytes& bytes) {
    std::string text;
    char part[4];
    for (uint8_t byte : bytes) {
        std::snprintf(part, sizeof part, "%02X ", byte);
        text += part;
    }
    return text.empty() ? "(none)" : text.substr(0, text.size() - 1);
}

#define EXPECT_BYTES(expected, actual) \
    EXPECT_EQ(hexBytes(expected), hexBytes(actual)) << "bytes differ (expected, then actual)"

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        vellamoor::statusSocketIndex = -1;
    }

    void TearDown() override {
        EXPECT_EQ(0u, jvm.outstandingElements()) << "array elements obtained and never released";
        EXPECT_EQ(jvm.gets(), jvm.releases()) << "every Get needs exactly one Release";
        for (const std::string& misuse : jvm.misuses()) ADD_FAILURE() << "JNI misuse: " << misuse;
        for (const std::string& misuse : sim::misuses()) ADD_FAILURE() << "Win32 misuse: " << misuse;
        while (vellamoor::serialPortTable().count() != 0) vellamoor::closeSerialPort(0);
        while (vellamoor::usbPortTable().count() != 0) vellamoor::closeUsbPort(0);
        while (vellamoor::networkPortTable().count() != 0) vellamoor::closeNetworkPort(0);
        sim::Ledger ledger = sim::ledger();
        EXPECT_EQ(0u, ledger.handles) << "device handles leaked";
        EXPECT_EQ(0u, ledger.sockets) << "sockets leaked";
        EXPECT_EQ(0u, ledger.deviceInfoLists) << "device information lists leaked";
        EXPECT_EQ(0u, ledger.heapBlocks) << "heap blocks leaked";
        EXPECT_EQ(0u, ledger.pendingIo) << "I/O still pending after the call returned";
    }

    jint openPort(jint portType, const Bytes& parameters, jint timeoutMs = 500) {
        return Java_net_vellamoor_printerio_IOPort_nativeOpenPort(jvm.env(), nullptr, portType,
                                                                   jvm.newByteArray(parameters), timeoutMs);
    }

    jint closePort(jint handle) { return Java_net_vellamoor_printerio_IOPort_nativeClosePort(jvm.env(), nullptr, handle); }

    // Writes data[0 .. to-from) and reports the count stored in result[0].
    jint writePort(jint handle, const Bytes& data, jint from, jint to, jint* written) {
        jintArray result = jvm.newIntArray(1, -7);
        jint r = Java_net_vellamoor_printerio_IOPort_nativeWritePort(jvm.env(), nullptr, handle,
                                                                      jvm.newByteArray(data), from, to, result);
        *written = jvm.ints(result)[0];
        return r;
    }

    jint writePort(jint handle, const Bytes& data, jint* written) {
        return writePort(handle, data, 0, static_cast<jint>(data.size()), written);
    }

    // Queries status into `status`, which keeps the array's final contents.
    jint parsedStatus(jint handle, Bytes& status) {
        jbyteArray array = jvm.newByteArray(status);
        jint r = Java_net_vellamoor_printerio_IOPort_nativeGetParsedStatus(jvm.env(), nullptr, handle, array);
        status = jvm.bytes(array);
        return r;
    }

    minijvm::MiniJvm jvm;
};
