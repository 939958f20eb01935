#include "library_test.h"

namespace {

using namespace vellamoor;

// The caller's own bytes at 3, 4 and 7 (0xC3, 0xC4, 0xC7) and beyond the
// reply must survive every query.
Bytes callerArray(size_t length = 137) {
    Bytes array(length, 0xEE);
    array[3] = 0xC3;
    array[4] = 0xC4;
    array[7] = 0xC7;
    return array;
}

// Flags at 0, 1, 2, 5, 6 and the count at 8, as "cover offline cutter paperEnd nearEnd / count".
std::string flagsOf(const Bytes& s) {
    return std::to_string(s[0]) + std::to_string(s[1]) + std::to_string(s[2]) + std::to_string(s[5]) +
           std::to_string(s[6]) + "/" + std::to_string(s[8]);
}

void expectCallerBytesKept(const Bytes& status) {
    EXPECT_EQ(0xC3, status[3]);
    EXPECT_EQ(0xC4, status[4]);
    EXPECT_EQ(0xC7, status[7]);
}

// A serial printer that answers DLE EOT n with answers[n - 1], up to `limit` answers.
void answerRealTimeStatus(sim::SerialDevice& printer, Bytes answers, size_t limit = 4) {
    printer.respond = [answers, limit](sim::SerialDevice& device, const Bytes& request) {
        size_t answered = device.writes.size();
        if (request.size() == 3 && request[0] == 0x10 && request[1] == 0x04 && answered <= limit) {
            device.answer({answers[request[2] - 1]});
        }
    };
}

class StatusQuery : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        sim::serial(L"COM3");
        sim::peer("192.168.1.100:9100");
        sim::peer("192.168.1.100:4000");
    }
};

TEST_F(StatusQuery, SerialRealTimeStatusBytes) {
    struct Case {
        Bytes answers;
        const char* flags;
    } cases[] = {{{0x16, 0x12, 0x12, 0x12}, "00000/4"}, {{0x1E, 0x16, 0x12, 0x7E}, "11011/4"},
                 {{0x12, 0x12, 0x1A, 0x12}, "00100/4"}, {{0x12, 0x12, 0x12, 0x32}, "00010/4"}};
    jint handle = openPort(2, {3, 1});
    for (const Case& c : cases) {
        sim::serial(L"COM3").writes.clear();
        answerRealTimeStatus(sim::serial(L"COM3"), c.answers);
        Bytes status = callerArray();
        ASSERT_EQ(1, parsedStatus(handle, status)) << hexBytes(c.answers);
        EXPECT_EQ(c.flags, flagsOf(status)) << hexBytes(c.answers);
        EXPECT_BYTES(c.answers, Bytes(status.begin() + 9, status.begin() + 13));
        EXPECT_EQ(0xEE, status[13]);
        expectCallerBytesKept(status);
    }
    EXPECT_BYTES((Bytes{0x10, 0x04, 1, 0x10, 0x04, 2, 0x10, 0x04, 3, 0x10, 0x04, 4}),
                 Bytes(sim::serial(L"COM3").written.end() - 12, sim::serial(L"COM3").written.end()));
}

TEST_F(StatusQuery, SerialPurgesBeforeEveryRequest) {
    jint handle = openPort(2, {3, 1});
    sim::SerialDevice& printer = sim::serial(L"COM3");
    // The first request gets a stray second byte; the purge before the next
    // request must discard it rather than take it for that answer.
    printer.respond = [](sim::SerialDevice& device, const Bytes& request) {
        if (request[2] == 1) device.answer({0x16, 0xFF});
        else device.answer({0x12});
    };
    Bytes status = callerArray();
    ASSERT_EQ(1, parsedStatus(handle, status));
    EXPECT_BYTES((Bytes{0x16, 0x12, 0x12, 0x12}), Bytes(status.begin() + 9, status.begin() + 13));
    EXPECT_EQ((std::vector<DWORD>{8, 8, 8, 8}), printer.purges);
}

// A write returns once the driver has the bytes; a query right after it must
// not purge the receipt's tail out of the driver.
TEST_F(StatusQuery, SerialReceiptFollowedAtOnceByAQueryArrivesWhole) {
    jint handle = openPort(2, {3, 1});
    answerRealTimeStatus(sim::serial(L"COM3"), {0x16, 0x12, 0x12, 0x12}, 6);  // two writes come first
    Bytes receipt(2000, 'R');
    jint written = 0;
    ASSERT_EQ(1, writePort(handle, receipt, &written));
    ASSERT_EQ(1, writePort(handle, receipt, &written)) << "a second job at once";
    Bytes status = callerArray();
    ASSERT_EQ(1, parsedStatus(handle, status));
    const Bytes& line = sim::serial(L"COM3").written;
    EXPECT_EQ(2 * receipt.size() + 12, line.size()) << "both receipts and the four requests reached the printer";
}

TEST_F(StatusQuery, SilentSerialPrinterFailsAfterOneTimeout) {
    jint handle = openPort(2, {3, 1}, 500);
    answerRealTimeStatus(sim::serial(L"COM3"), {0x16, 0x12, 0x12, 0x12}, 2);
    Bytes status = callerArray();
    uint64_t before = sim::now();
    EXPECT_EQ(0, parsedStatus(handle, status));
    EXPECT_BYTES(callerArray(), status);
    EXPECT_EQ(500u, sim::now() - before);
    EXPECT_EQ(3u, sim::callsOf("ReadFile").size());
}

TEST_F(StatusQuery, UsbRepliesAreLaidOneAfterTheOther) {
    std::wstring path = L"\\\\?\\usb#vid_0483&pid_5743#1";
    sim::deviceInterfaces().push_back(sim::DeviceInterface{path});
    sim::usb(path).respond = [](sim::UsbDevice& device, const Bytes& request) {
        device.reads.push_back(sim::UsbRead{sim::ReadKind::Pends, {uint8_t(0x10 + request[2]), 0x08}, 20});
    };
    jint handle = openPort(1, {}, 300);
    ASSERT_EQ(257, handle);
    Bytes status = callerArray();
    ASSERT_EQ(1, parsedStatus(handle, status));
    // Received 11 08 12 08 13 08 14 08: byte 0 (0x11) online, byte 1 (0x08) no cover bit, byte 2 (0x12)
    // no cutter error, byte 3 (0x08) paper near end.
    EXPECT_EQ("00001/8", flagsOf(status));
    EXPECT_BYTES((Bytes{0x11, 0x08, 0x12, 0x08, 0x13, 0x08, 0x14, 0x08}), Bytes(status.begin() + 9, status.begin() + 17));
    expectCallerBytesKept(status);
    EXPECT_TRUE(sim::callsOf("PurgeComm").empty()) << "a USB printer is no COM port";

    sim::usb(path).respond = nullptr;  // silent: every read times out
    status = callerArray();
    EXPECT_EQ(0, parsedStatus(handle, status));
    EXPECT_BYTES(callerArray(), status);
}

TEST_F(StatusQuery, NetworkStatusBackBytes) {
    struct Case {
        const char* label;
        Bytes reply;
        const char* flags;
    } cases[] = {{"three bytes", {0x08, 0x08, 0x0C}, "01110/3"},
                 {"one byte", {0x28}, "11000/1"},
                 {"near end", {0x00, 0x00, 0x03}, "00001/3"},
                 {"128 bytes", Bytes(128, 0x20), "10000/128"}};
    jint handle = openPort(3, {192, 168, 1, 100});
    for (const Case& c : cases) {
        sim::Peer& printer = sim::peer("192.168.1.100:4000");
        printer.replies = {c.reply};
        Bytes status = callerArray();
        ASSERT_EQ(1, parsedStatus(handle, status)) << c.label;
        EXPECT_EQ(c.flags, flagsOf(status)) << c.label;
        EXPECT_BYTES(c.reply, Bytes(status.begin() + 9, status.begin() + 9 + c.reply.size())) << c.label;
        expectCallerBytesKept(status);
        EXPECT_BYTES((Bytes{0x1B, 0x76, 0x00}), Bytes(printer.received.end() - 3, printer.received.end()));
    }
    EXPECT_TRUE(sim::peer("192.168.1.100:9100").received.empty()) << "nothing goes to the data connection";
}

TEST_F(StatusQuery, NetworkFailuresLeaveTheArrayAlone) {
    jint handle = openPort(3, {192, 168, 1, 100});
    Bytes status = callerArray();
    EXPECT_EQ(0, parsedStatus(handle, status)) << "receive time-out";
    sim::peer("192.168.1.100:4000").closedByPeer = true;
    EXPECT_EQ(0, parsedStatus(handle, status)) << "printer closed the connection";
    EXPECT_BYTES(callerArray(), status);
}

// The look before the request takes the unasked block off the connection and
// sees the close behind it, so the request goes on a new connection.
TEST_F(StatusQuery, AnUnaskedStatusBlockThenACloseFailsNoQuery) {
    jint handle = openPort(3, {192, 168, 1, 100});
    sim::Peer& printer = sim::peer("192.168.1.100:4000");
    printer.answer({0x20});
    sim::closeConnections("192.168.1.100:4000");
    printer.replies = {{0x08}};
    Bytes status = callerArray();
    ASSERT_EQ(1, parsedStatus(handle, status));
    EXPECT_EQ("01000/1", flagsOf(status)) << "the answer on the new connection";
}

TEST_F(StatusQuery, EachNetworkPrinterIsAskedOnItsOwnConnection) {
    sim::peer("192.168.1.101:9100");
    sim::peer("192.168.1.101:4000").replies = {{0x08}};
    sim::peer("192.168.1.100:4000").replies = {{0x20}};
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    ASSERT_EQ(771, openPort(3, {192, 168, 1, 101}));
    Bytes status = callerArray();
    ASSERT_EQ(1, parsedStatus(769, status));
    EXPECT_EQ("10000/1", flagsOf(status)) << "first printer: cover open";
    ASSERT_EQ(1, parsedStatus(771, status));
    EXPECT_EQ("01000/1", flagsOf(status)) << "second printer: offline";
}

// Without a port-4000 connection to the same address right after the data
// connection (or for index 0), the query falls back to statusSocketIndex.
TEST_F(StatusQuery, UnpairedHandlesUseStatusSocketIndex) {
    // Entry 2 is a status connection, but to another printer's address.
    sim::peer("192.168.1.102:4000").replies = {{0x20}, {0x20}};
    ASSERT_EQ(1, openNetworkPort(500, 0xC0A80164, 9100));
    ASSERT_EQ(2, openNetworkPort(500, 0xC0A80166, 4000));
    ASSERT_EQ(3, openNetworkPort(500, 0xC0A80164, 4000));
    sim::peer("192.168.1.100:4000").replies = {{0x08}, {0x08}, {0x08}};
    Bytes status = callerArray();
    statusSocketIndex = 3;
    EXPECT_EQ(1, parsedStatus(769, status));
    EXPECT_EQ("01000/1", flagsOf(status)) << "asked 192.168.1.100 on entry 3, not the other printer on entry 2";
    EXPECT_EQ(1, parsedStatus(768, status)) << "index 0";
    EXPECT_EQ("01000/1", flagsOf(status));
    status = callerArray();
    EXPECT_EQ(0, parsedStatus(773, status)) << "index 5 names no connection: no other printer answers for it";
    EXPECT_BYTES(callerArray(), status);
    statusSocketIndex = -1;
    EXPECT_EQ(0, parsedStatus(768, status)) << "index 0 with statusSocketIndex -1 names nothing";
    EXPECT_BYTES(callerArray(), status);
}

// A query that timed out leaves its answer on the way. The next query must
// drop it instead of taking it for its own reply.
TEST_F(StatusQuery, LateAnswersAreDroppedBeforeTheNextQuery) {
    std::wstring path = L"\\\\?\\usb#vid_0483&pid_5743#1";
    sim::deviceInterfaces().push_back(sim::DeviceInterface{path});
    int requests = 0;
    sim::usb(path).respond = [&requests](sim::UsbDevice& device, const Bytes& request) {
        uint64_t delay = ++requests == 4 ? 400 : 20;  // the first query's last answer is late
        device.reads.push_back(sim::UsbRead{sim::ReadKind::Pends, {uint8_t(0x10 + request[2])}, delay});
    };
    jint usb = openPort(1, {}, 300);
    Bytes status = callerArray();
    EXPECT_EQ(0, parsedStatus(usb, status)) << "USB: fourth answer too late";
    sim::advance(1000);
    ASSERT_EQ(1, parsedStatus(usb, status));
    EXPECT_BYTES((Bytes{0x11, 0x12, 0x13, 0x14}), Bytes(status.begin() + 9, status.begin() + 13)) << "USB";

    sim::Peer& printer = sim::peer("192.168.1.100:4000");
    printer.replies = {{0x20}};
    printer.replyDelayMs = 600;
    jint network = openPort(3, {192, 168, 1, 100}, 500);
    status = callerArray();
    EXPECT_EQ(0, parsedStatus(network, status)) << "network: answer after the receive time-out";
    sim::advance(1000);
    printer.replies = {{0x08}};
    printer.replyDelayMs = 0;
    ASSERT_EQ(1, parsedStatus(network, status));
    EXPECT_EQ("01000/1", flagsOf(status)) << "network: the fresh answer, not the late cover-open one";
}

// The look before each query takes what the status connection holds off it
// only when select finds it readable: a quiet connection costs no receive
// before the request.
TEST_F(StatusQuery, TheStatusConnectionIsReadBeforeTheRequestOnlyWhenItHoldsSomething) {
    sim::Peer& printer = sim::peer("192.168.1.100:4000");
    jint network = openPort(3, {192, 168, 1, 100}, 500);
    auto receivesBeforeTheRequest = [] {
        const std::vector<std::string>& calls = sim::calls();
        auto request = std::find_if(calls.begin(), calls.end(), [](const std::string& call) { return call.rfind("send(", 0) == 0; });
        return std::count_if(calls.begin(), request, [](const std::string& call) { return call.rfind("recv(", 0) == 0; });
    };
    Bytes status = callerArray();
    printer.replies = {{0x00}};
    sim::clearCalls();
    ASSERT_EQ(1, parsedStatus(network, status));
    EXPECT_EQ(0, receivesBeforeTheRequest()) << "a quiet connection";

    printer.answer({0x20});
    printer.replies = {{0x08}};
    sim::clearCalls();
    ASSERT_EQ(1, parsedStatus(network, status));
    EXPECT_EQ("01000/1", flagsOf(status)) << "the answer, not the cover-open byte that came unasked";
    EXPECT_LT(0, receivesBeforeTheRequest());
}

TEST_F(StatusQuery, ArraysThatCannotHoldTheAnswer) {
    jint handle = openPort(2, {3, 1});
    answerRealTimeStatus(sim::serial(L"COM3"), {0x1E, 0x16, 0x12, 0x7E});
    Bytes tooShort = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(0, parsedStatus(handle, tooShort));
    EXPECT_BYTES((Bytes{1, 2, 3, 4, 5, 6, 7, 8}), tooShort);
    EXPECT_TRUE(sim::callsOf("WriteFile").empty()) << "refused before asking the printer";

    Bytes eleven = callerArray(11);
    sim::serial(L"COM3").writes.clear();
    ASSERT_EQ(1, parsedStatus(handle, eleven));
    EXPECT_EQ("11011/4", flagsOf(eleven)) << "flags and the full count";
    EXPECT_BYTES((Bytes{0x1E, 0x16}), Bytes(eleven.begin() + 9, eleven.end())) << "only the reply bytes that fit";

    EXPECT_EQ(0, Java_net_vellamoor_printerio_IOPort_nativeGetParsedStatus(jvm.env(), nullptr, handle, nullptr));
    jvm.failNextGets(1);
    Bytes status = callerArray();
    EXPECT_EQ(0, parsedStatus(handle, status));
}

TEST_F(StatusQuery, HandlesThatNameNoPrinterFail) {
    struct Case {
        const char* label;
        jint handle;
    } cases[] = {{"handle 0 from a failed open", 0}, {"port type 4", 0x0401}, {"serial index 5", 517},
                 {"USB without entries", 257}, {"network without entries", 769}};
    for (const Case& c : cases) {
        Bytes status = callerArray();
        EXPECT_EQ(0, parsedStatus(c.handle, status)) << c.label;
        EXPECT_BYTES(callerArray(), status) << c.label;
    }
}

}  // namespace
