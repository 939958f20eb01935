// The simulated platform must refuse what Windows refuses, or the unit tests
// pass code that fails on a real till. Each rule here is one that Wine lets
// through, so only these tests stand between it and a lenient fake.

#include "library_test.h"

namespace {

class StrictSimulation : public LibraryTest {
protected:
    // The sim's misuse records are the point of some cases; clear them so
    // the common checks after the test do not report them again.
    void TearDown() override {
        sim::clearMisuses();
        LibraryTest::TearDown();
    }
};

TEST_F(StrictSimulation, SetCommStateRefusesWhatSerialDriversRefuse) {
    sim::serial(L"COM3");
    HANDLE port = CreateFileW(L"COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DCB good{};
    good.DCBlength = sizeof good;
    good.fBinary = TRUE;
    good.BaudRate = 9600;
    good.ByteSize = 8;
    good.XonChar = 0x11;
    good.XoffChar = 0x13;
    ASSERT_TRUE(SetCommState(port, &good));
    struct Case {
        const char* label;
        void (*spoil)(DCB&);
    } cases[] = {{"XonChar equal to XoffChar", [](DCB& d) { d.XoffChar = d.XonChar; }},
                 {"ByteSize 4", [](DCB& d) { d.ByteSize = 4; }},
                 {"ByteSize 9", [](DCB& d) { d.ByteSize = 9; }}};
    for (const Case& c : cases) {
        DCB bad = good;
        c.spoil(bad);
        bad.BaudRate = 115200;
        EXPECT_FALSE(SetCommState(port, &bad)) << c.label;
        EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError()) << c.label;
        EXPECT_EQ(9600u, sim::serial(L"COM3").dcb.BaudRate) << c.label << ": old settings kept";
    }
    DCB unset = good;
    unset.DCBlength = 0;
    unset.fBinary = 0;
    SetCommState(port, &unset);
    EXPECT_EQ(1u, sim::misuses().size()) << "DCBlength and fBinary unset are recorded";
    CloseHandle(port);
}

TEST_F(StrictSimulation, HandlesRefuseCallsTheirKindDoesNotSupport) {
    std::wstring path = L"\\\\?\\usb#vid_067b&pid_1";
    sim::usb(path);
    HANDLE overlapped = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    COMMTIMEOUTS timeouts{};
    DCB dcb{};
    uint8_t byte = 0;
    DWORD count = 0;
    EXPECT_FALSE(PurgeComm(overlapped, PURGE_RXCLEAR));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, GetLastError()) << "PurgeComm on a USB printer";
    EXPECT_FALSE(SetCommTimeouts(overlapped, &timeouts));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, GetLastError()) << "SetCommTimeouts on a USB printer";
    EXPECT_FALSE(SetCommState(overlapped, &dcb));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, GetLastError()) << "SetCommState on a USB printer";
    EXPECT_FALSE(ReadFile(overlapped, &byte, 1, &count, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError()) << "read without OVERLAPPED on an overlapped handle";
    CloseHandle(overlapped);
}

TEST_F(StrictSimulation, DetailQueryReportsTheDocumentedErrors) {
    sim::deviceInterfaces().push_back(sim::DeviceInterface{L"\\\\?\\usb#vid_067b&pid_1"});
    HDEVINFO list = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 0);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(list, nullptr, nullptr, 0, &data));
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_LT(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), required);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, required, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_USER_BUFFER, GetLastError()) << "null buffer with a size";
    std::vector<uint8_t> buffer(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = required;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_USER_BUFFER, GetLastError()) << "cbSize of the buffer instead of the fixed part";
    SetupDiDestroyDeviceInfoList(list);
}

TEST_F(StrictSimulation, WinsockRefusesEmptySelectsAndKeepsLateReplies) {
    fd_set none;
    FD_ZERO(&none);
    timeval wait{0, 0};
    EXPECT_EQ(SOCKET_ERROR, select(0, &none, &none, nullptr, &wait));
    EXPECT_EQ(WSAEINVAL, WSAGetLastError()) << "select that watches nothing";

    sim::peer("192.168.1.100:9100");
    sim::peer("192.168.1.100:4000").replies = {{0x20}};
    sim::peer("192.168.1.100:4000").replyDelayMs = 800;
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}, 500));
    SOCKET status = vellamoor::networkPortTable().entryAt(2)->socket;
    u_long blocking = 0;
    ioctlsocket(status, FIONBIO, &blocking);
    int32_t receiveTimeoutMs = 500;
    setsockopt(status, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeoutMs), 4);
    char reply = 0;
    send(status, "\x1b\x76", 3, 0);
    EXPECT_EQ(SOCKET_ERROR, recv(status, &reply, 1, 0));
    EXPECT_EQ(WSAETIMEDOUT, WSAGetLastError());
    EXPECT_EQ(1, recv(status, &reply, 1, 0)) << "the late reply arrives for the next recv";
    EXPECT_EQ(0x20, reply);
}

}  // namespace
