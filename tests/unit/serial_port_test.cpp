#include "library_test.h"

namespace {

using namespace vellamoor;

class SerialPort : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        sim::serial(L"COM3");
        sim::serial(L"COM4");
    }
};

TEST_F(SerialPort, OpensExclusivelyAt8N1WithDtrAndTheSpeedOfTheIndex) {
    struct Case {
        jbyte speedIndex;
        DWORD baud;
    } cases[] = {{1, 9600}, {2, 19200}, {3, 38400}, {4, 115200}};
    for (const Case& c : cases) {
        sim::clearCalls();
        jint handle = openPort(2, {3, static_cast<uint8_t>(c.speedIndex)});
        ASSERT_EQ(513, handle) << "speed index " << int(c.speedIndex);
        EXPECT_EQ((std::vector<std::string>{"CreateFileW(COM3,0xc0000000,0x0)"}), sim::callsOf("CreateFileW"));
        const DCB& dcb = sim::serial(L"COM3").dcb;
        EXPECT_EQ(c.baud, dcb.BaudRate);
        EXPECT_EQ(8, dcb.ByteSize);
        EXPECT_EQ(0, dcb.Parity);
        EXPECT_EQ(0, dcb.StopBits);
        EXPECT_EQ(unsigned(DTR_CONTROL_ENABLE), dcb.fDtrControl);
        EXPECT_EQ(sizeof(DCB), dcb.DCBlength);
        EXPECT_EQ(1u, dcb.fBinary);
        EXPECT_EQ(0x11, dcb.XonChar) << "DC1: a driver refuses XonChar equal to XoffChar";
        EXPECT_EQ(0x13, dcb.XoffChar);
        DCB rest = dcb;  // everything else must be zero: no flow control, no RTS, no replacement
        rest.DCBlength = 0;
        rest.BaudRate = 0;
        rest.fBinary = 0;
        rest.ByteSize = 0;
        rest.fDtrControl = 0;
        rest.XonChar = 0;
        rest.XoffChar = 0;
        EXPECT_BYTES(Bytes(sizeof(DCB), 0), Bytes(reinterpret_cast<uint8_t*>(&rest),
                                                  reinterpret_cast<uint8_t*>(&rest) + sizeof rest));
        const COMMTIMEOUTS& t = sim::serial(L"COM3").timeouts;
        EXPECT_EQ(0u, t.ReadIntervalTimeout + t.ReadTotalTimeoutMultiplier + t.WriteTotalTimeoutMultiplier +
                          t.WriteTotalTimeoutConstant);
        EXPECT_EQ(500u, t.ReadTotalTimeoutConstant);
        EXPECT_EQ(std::string("COM3"), serialPortTable().entryAt(1)->name);
        EXPECT_EQ(1, closePort(handle));
    }
}

TEST_F(SerialPort, DevicePathNeedsThePrefixFromPortTen) {
    struct Case {
        jbyte port;
        const wchar_t* path;
        const char* name;
    } cases[] = {{9, L"COM9", "COM9"}, {10, L"\\\\.\\COM10", "COM10"}, {127, L"\\\\.\\COM127", "COM127"}};
    for (const Case& c : cases) {
        sim::serial(c.path);
        jint handle = openPort(2, {static_cast<uint8_t>(c.port), 1});
        ASSERT_EQ(513, handle) << c.name;
        EXPECT_STREQ(c.name, serialPortTable().entryAt(1)->name);
        closePort(handle);
    }
}

TEST_F(SerialPort, RefusedOpensLeaveNothingBehind) {
    struct Case {
        const char* label;
        Bytes parameters;
    } cases[] = {{"no such port", {7, 1}},    {"speed index 0", {3, 0}}, {"speed index 5", {3, 5}},
                 {"speed index -1", {3, 0xFF}}, {"short array", {3}},      {"empty array", {}}};
    for (const Case& c : cases) EXPECT_EQ(0, openPort(2, c.parameters)) << c.label;
    EXPECT_EQ(1, sim::callCount("CreateFileW")) << "only the missing port may reach CreateFileW";
    EXPECT_EQ(0u, serialPortTable().count());
}

TEST_F(SerialPort, SecondOpenOfTheSamePortFailsAndKeepsTheFirst) {
    ASSERT_EQ(513, openPort(2, {3, 1}));
    HANDLE first = serialPortTable().entryAt(1)->handle;
    EXPECT_EQ(kSerialPortNotOpened, openSerialPort(3, 9600, 500));
    EXPECT_EQ(0, openPort(2, {3, 2}));
    ASSERT_EQ(1u, serialPortTable().count());
    EXPECT_EQ(first, serialPortTable().entryAt(1)->handle);
    EXPECT_EQ(9600u, sim::serial(L"COM3").dcb.BaudRate);
}

TEST_F(SerialPort, SettingsThatDoNotTakeStillOpen) {
    sim::failCall("SetCommState");
    sim::failCall("SetCommTimeouts");
    EXPECT_EQ(1, openSerialPort(3, 9600, 500));
}

TEST_F(SerialPort, MissingHeapRecordsCloseTheHandle) {
    sim::failCall("HeapAlloc", 1);
    EXPECT_EQ(kSerialNoTimeoutRecord, openSerialPort(3, 9600, 500));
    sim::failCall("HeapAlloc", 3);  // the second open's line settings
    EXPECT_EQ(kSerialNoLineSettingsRecord, openSerialPort(3, 9600, 500));
    EXPECT_EQ(2u, sim::callsOf("CloseHandle").size());
    EXPECT_EQ(0u, serialPortTable().count());
}

TEST_F(SerialPort, ReadTimeoutIsTakenBitForBit) {
    for (jint timeout : {0, -1, 1500}) {
        jint handle = openPort(2, {3, 1}, timeout);
        ASSERT_EQ(513, handle);
        EXPECT_EQ(static_cast<DWORD>(timeout), sim::serial(L"COM3").timeouts.ReadTotalTimeoutConstant);
        closePort(handle);
    }
}

// Unsent output is the tail of the previous job, and unread input is the
// status exchange's to discard: a write purges neither.
TEST_F(SerialPort, WritesPurgeNothingAndSendFromElementZero) {
    jint handle = openPort(2, {3, 1});
    sim::serial(L"COM3").answer({0x55});
    Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    jint written = -1;
    EXPECT_EQ(1, writePort(handle, data, &written));
    EXPECT_EQ(10, written);

    EXPECT_EQ(1, writePort(handle, data, 2, 10, &written));
    EXPECT_EQ(8, written);
    EXPECT_BYTES(Bytes(data.begin(), data.begin() + 8), sim::serial(L"COM3").writes.back());

    EXPECT_EQ(0, writePort(handle, data, 4, 4, &written)) << "an empty write reports failure";
    EXPECT_EQ(0, written);
    EXPECT_TRUE(sim::serial(L"COM3").purges.empty());
    EXPECT_FALSE(sim::serial(L"COM3").incoming.empty()) << "the printer's byte waits for a status query";

    sim::failCall("WriteFile");
    EXPECT_EQ(0, writePort(handle, data, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(1u, serialPortTable().count()) << "a failed write leaves the port open";
}

TEST_F(SerialPort, HandlesArePositionsThatShiftOnClose) {
    ASSERT_EQ(513, openPort(2, {3, 1}));
    ASSERT_EQ(514, openPort(2, {4, 1}));
    jint written = 0;
    writePort(512, {0xAA}, &written);  // index 0: the last entry
    EXPECT_BYTES(Bytes{0xAA}, sim::serial(L"COM4").written);

    sim::clearCalls();
    EXPECT_EQ(0, writePort(517, {1}, &written)) << "index beyond the table";
    EXPECT_TRUE(sim::callsOf("WriteFile").empty() && sim::callsOf("PurgeComm").empty());

    EXPECT_EQ(1, closePort(513));
    writePort(513, {0xBB}, &written);
    EXPECT_BYTES((Bytes{0xAA, 0xBB}), sim::serial(L"COM4").written) << "513 now names the former 514";
    EXPECT_EQ(0, writePort(514, {0xCC}, &written));
    EXPECT_EQ(1, closePort(514)) << "closing a handle that names nothing still answers 1";
    EXPECT_EQ(1u, serialPortTable().count());
    EXPECT_EQ(514, openPort(2, {3, 1})) << "the port closed earlier opens again, appended";
}

TEST_F(SerialPort, CloseResults) {
    EXPECT_EQ(0, closeSerialPort(1)) << "empty table";
    ASSERT_EQ(1, openSerialPort(3, 9600, 500));
    ASSERT_EQ(2, openSerialPort(4, 9600, 500));
    sim::failCall("CloseHandle");
    EXPECT_EQ(0, closeSerialPort(0));
    EXPECT_EQ(1u, serialPortTable().count()) << "the entry goes even when CloseHandle fails";
    EXPECT_EQ(0, closeSerialPort(2));
}

// Handles name indices up to 255; an open that would get index 256 is closed
// again and reported as failed instead of leaving an unnameable port open.
TEST_F(SerialPort, TableStopsAtWhatAHandleCanName) {
    std::vector<jbyte> ports;
    for (int port = -128; port <= 127; ++port) ports.push_back(static_cast<jbyte>(port));
    for (jbyte port : ports) {
        int n = port;
        wchar_t path[16];
        std::swprintf(path, 16, n >= 10 ? L"\\\\.\\COM%d" : L"COM%d", n);
        sim::serial(path);
    }
    for (size_t i = 0; i < 255; ++i) {
        ASSERT_EQ(513 + static_cast<jint>(i), openPort(2, {static_cast<uint8_t>(ports[i]), 1})) << "open " << i + 1;
    }
    size_t handlesBefore = sim::ledger().handles;
    EXPECT_EQ(0, openPort(2, {static_cast<uint8_t>(ports[255]), 1}));
    EXPECT_EQ(255u, serialPortTable().count());
    EXPECT_EQ(handlesBefore, sim::ledger().handles) << "the refused port's handle is closed";
}

}  // namespace
