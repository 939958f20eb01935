// DataPath.nativeRead on the simulated Win32 layer: what a printer sends
// back, read within the caller's time-out, with "nothing came" and "the port
// is gone" told apart.

#include <net_vellamoor_printerio_DataPath.h>

#include "library_test.h"

namespace {

using namespace vellamoor;

constexpr jint kNothingCame = net_vellamoor_printerio_DataPath_NOTHING_CAME;
constexpr jint kGone = net_vellamoor_printerio_DataPath_PORT_GONE;
constexpr jint kRefused = net_vellamoor_printerio_DataPath_ARGUMENTS_REFUSED;

class DataPathRead : public LibraryTest {
protected:
    // Reads into an 8-byte array; `got` keeps what was read.
    jint read(jint handle, jint timeoutMs, Bytes* got = nullptr) {
        jbyteArray array = jvm.newByteArray(Bytes(8, 0));
        jint r = Java_net_vellamoor_printerio_DataPath_nativeRead(jvm.env(), nullptr, handle, array, timeoutMs);
        const Bytes contents = jvm.bytes(array);
        if (got != nullptr) *got = r > 0 ? Bytes(contents.begin(), contents.begin() + r) : Bytes{};
        return r;
    }
};

TEST_F(DataPathRead, SerialReadsWithinTheCallersTimeoutAndKeepsTheOpensForStatus) {
    struct Case {
        const char* name;
        uint64_t arrivesAfterMs;  // of the answer "7\"0001\0" ; 0 with none = nothing sent
        bool sent;
        jint timeoutMs;
        jint result;
        uint64_t tookMs;
    } cases[] = {
        {"waiting already", 0, true, 400, 7, 0},
        {"arrives within the wait", 150, true, 400, 7, 150},
        {"arrives too late", 600, true, 400, kNothingCame, 400},
        {"nothing sent", 0, false, 400, kNothingCame, 400},
        {"time-out 0 takes what has come", 0, true, 0, 7, 0},
        {"time-out 0 with nothing", 0, false, 0, kNothingCame, 0},
    };
    const Bytes answer{'7', '"', '0', '0', '0', '1', 0};
    for (const Case& c : cases) {
        sim::serial(L"COM3");
        jint handle = openPort(2, {3, 1});
        ASSERT_EQ(513, handle) << c.name;
        if (c.sent) sim::serial(L"COM3").answer(answer, c.arrivesAfterMs);
        const uint64_t before = sim::now();
        Bytes got;
        EXPECT_EQ(c.result, read(handle, c.timeoutMs, &got)) << c.name;
        EXPECT_EQ(c.tookMs, sim::now() - before) << c.name;
        if (c.result > 0) EXPECT_BYTES(answer, got) << c.name;
        const COMMTIMEOUTS& t = sim::serial(L"COM3").timeouts;
        EXPECT_EQ(0u, t.ReadIntervalTimeout + t.ReadTotalTimeoutMultiplier) << c.name << ": the open's time-outs";
        EXPECT_EQ(500u, t.ReadTotalTimeoutConstant) << c.name;
        closePort(handle);
        sim::reset();
    }
}

TEST_F(DataPathRead, SerialPortThatFailsIsGone) {
    sim::serial(L"COM3");
    jint handle = openPort(2, {3, 1});
    sim::failCall("ReadFile");
    EXPECT_EQ(kGone, read(handle, 100));
    sim::failCall("SetCommTimeouts");
    sim::clearCalls();
    EXPECT_EQ(kGone, read(handle, 100)) << "no bounded read without the time-outs";
    EXPECT_TRUE(sim::callsOf("ReadFile").empty()) << "a read with the open's time-out 0 could wait forever";
    closePort(handle);
}

TEST_F(DataPathRead, UsbReadsTheBulkInWithinTheCallersTimeout) {
    const std::wstring path = L"\\\\?\\usb#vid_067b&pid_2305#5&1a2b3c&0&1#{28d78fad}";
    sim::deviceInterfaces().push_back(sim::DeviceInterface{path, SPINT_ACTIVE});
    sim::UsbDevice& printer = sim::usb(path);
    jint handle = openPort(1, {0});
    ASSERT_EQ(257, handle);
    printer.reads = {sim::UsbRead{sim::ReadKind::Pends, {0x10, 0, 0x0C, 0}, 120},
                     sim::UsbRead{sim::ReadKind::Pends, {}, 0, true},
                     sim::UsbRead{sim::ReadKind::Fails, {}, 0, false, ERROR_DEVICE_NOT_CONNECTED}};
    Bytes got;
    EXPECT_EQ(4, read(handle, 300, &got));
    EXPECT_BYTES((Bytes{0x10, 0, 0x0C, 0}), got);
    uint64_t before = sim::now();
    EXPECT_EQ(kNothingCame, read(handle, 300));
    EXPECT_EQ(300u, sim::now() - before);
    EXPECT_EQ(kGone, read(handle, 300)) << "unplugged";
    closePort(handle);
}

TEST_F(DataPathRead, NetworkReadsTheDataConnectionNotTheStatusOne) {
    sim::Peer& data = sim::peer("192.168.1.100:9100");
    sim::Peer& status = sim::peer("192.168.1.100:4000");
    jint handle = openPort(3, {192, 168, 1, 100});
    ASSERT_EQ(769, handle);
    status.answer({0x10, 0, 0, 0});
    data.answer({'7', '"', '0', '0', '4', '2', 0});
    Bytes got;
    EXPECT_EQ(7, read(handle, 400, &got));
    EXPECT_BYTES((Bytes{'7', '"', '0', '0', '4', '2', 0}), got);
    const uint64_t before = sim::now();
    EXPECT_EQ(kNothingCame, read(handle, 300)) << "the status connection's block is not the data path's";
    EXPECT_EQ(300u, sim::now() - before);
    sim::closeConnections("192.168.1.100:9100");
    EXPECT_EQ(kGone, read(handle, 300)) << "closed by the printer";
    closePort(handle);
}

TEST_F(DataPathRead, HandlesAndArgumentsThatNameNoRead) {
    sim::serial(L"COM3");
    jint handle = openPort(2, {3, 1});
    EXPECT_EQ(kGone, read(0, 100)) << "the handle of a failed open";
    EXPECT_EQ(kGone, read(handle + 1, 100)) << "no such entry";
    EXPECT_EQ(kRefused, read(handle, -1));
    EXPECT_EQ(kRefused, Java_net_vellamoor_printerio_DataPath_nativeRead(jvm.env(), nullptr, handle, nullptr, 100));
    EXPECT_EQ(kRefused, Java_net_vellamoor_printerio_DataPath_nativeRead(jvm.env(), nullptr, handle,
                                                                         jvm.newByteArray(Bytes{}), 100));
    closePort(handle);
}

}  // namespace
