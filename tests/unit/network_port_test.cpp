#include <functional>

#include "library_test.h"
#include "jni/parsed_status.h"

namespace {

using namespace vellamoor;

class NetworkPort : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        sim::peer("192.168.1.100:9100");
        sim::peer("192.168.1.100:4000");
    }
};

TEST_F(NetworkPort, OpensDataThenStatusConnection) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}, 500));
    EXPECT_EQ((std::vector<std::string>{"connect(192.168.1.100:9100)", "connect(192.168.1.100:4000)"}),
              sim::callsOf("connect"));
    EXPECT_EQ(2, statusSocketIndex.load());
    EXPECT_EQ((std::vector<std::string>{"select(0s+500000us,exceptions)", "select(0s+500000us,exceptions)"}),
              sim::callsOf("select"))
        << "the exception set is watched: Windows reports a refusal there";
    for (uint32_t index : {1u, 2u}) {
        const sim::SocketState& socket = sim::socketState(networkPortTable().entryAt(index)->socket);
        EXPECT_EQ(500u, socket.keepaliveTimeMs) << "a quiet connection is probed after the time-out";
        EXPECT_EQ(50u, socket.keepaliveIntervalMs);
        EXPECT_TRUE(socket.nonBlocking) << "every wait is the library's own select";
    }
    EXPECT_EQ(0xC0A80164u, networkPortTable().entryAt(1)->address);
    EXPECT_EQ(4000, networkPortTable().entryAt(2)->tcpPort);
    // The test host never starts Winsock, so the library must, and only once.
    EXPECT_EQ(1, sim::winsockStartups());
    for (const std::string& call : sim::callsOf("WSAStartup")) EXPECT_EQ("WSAStartup(0x202)", call);
}

TEST_F(NetworkPort, TimeoutIsSplitIntoSecondsAndMicroseconds) {
    EXPECT_EQ(1, openNetworkPort(1500, 0xC0A80164, 9100));
    EXPECT_EQ("select(1s+500000us,exceptions)", sim::callsOf("select").back());
    EXPECT_EQ((std::vector<std::string>{"WSAIoctl(1,1500,150)"}), sim::callsOf("WSAIoctl"));

    sim::peer("10.0.0.5:9100").connect = sim::Connect::Immediately;
    EXPECT_EQ(2, openNetworkPort(0, 0x0A000005, 9100)) << "a connection made at once needs no wait";
    EXPECT_EQ(1u, sim::callsOf("select").size());
    EXPECT_EQ(1u, sim::callsOf("WSAIoctl").size()) << "time-out 0 keeps the system's keepalive";

    sim::peer("10.0.0.6:9100").readyAfterMs = 2000;
    EXPECT_EQ(3, openNetworkPort(0, 0x0A000006, 9100)) << "time-out 0 waits without limit";
    EXPECT_EQ("select(null,exceptions)", sim::callsOf("select").back());
    EXPECT_EQ(kNetworkWaitFailed, openNetworkPort(-1, 0x0A000006, 9100)) << "a negative time-out is refused";
}

TEST_F(NetworkPort, FailedOpensCloseTheirSocket) {
    struct Case {
        const char* label;
        const char* faultyCall;
        int nth;
        sim::Connect connect;
        int32_t expected;
    } cases[] = {
        {"no socket", "socket", 1, sim::Connect::ReadyAfter, kNetworkNoSocket},
        {"non-blocking refused", "ioctlsocket", 1, sim::Connect::ReadyAfter, kNetworkModeSwitchFailed},
        {"select fails", "select", 1, sim::Connect::ReadyAfter, kNetworkWaitFailed},
        {"no answer", "", 0, sim::Connect::NeverReady, kNetworkNotConnected},
        {"refused, in the exception set", "", 0, sim::Connect::Refused, kNetworkNotConnected},
        {"refused, reported readable", "", 0, sim::Connect::RefusedReadable, kNetworkNotConnected},
    };
    for (const Case& c : cases) {
        sim::reset();
        sim::peer("192.168.1.100:9100").connect = c.connect;
        if (*c.faultyCall) sim::failCall(c.faultyCall, c.nth);
        EXPECT_EQ(c.expected, openNetworkPort(500, 0xC0A80164, 9100)) << c.label;
        EXPECT_EQ(0u, sim::ledger().sockets) << c.label;
        EXPECT_EQ(0u, networkPortTable().count()) << c.label;
    }
    sim::reset();
    sim::peer("192.168.1.100:9100").connect = sim::Connect::Refused;
    EXPECT_EQ(kNetworkNotConnected, openNetworkPort(700, 0xC0A80164, 9100));
    EXPECT_EQ(0u, sim::now()) << "a printer that refuses (rebooting, say) fails the open at once";
}

TEST_F(NetworkPort, PrinterWithoutStatusConnectionIsClosedAgain) {
    sim::peer("192.168.1.100:4000").connect = sim::Connect::NeverReady;
    EXPECT_EQ(0, openPort(3, {192, 168, 1, 100}, 500));
    EXPECT_EQ(kNetworkNotConnected, statusSocketIndex.load());
    EXPECT_EQ(0u, networkPortTable().count()) << "the data connection must not stay open without a handle";
    EXPECT_EQ(0u, sim::ledger().sockets);

    sim::peer("192.168.1.100:9100").connect = sim::Connect::NeverReady;
    sim::clearCalls();
    EXPECT_EQ(0, openPort(3, {192, 168, 1, 100}, 500));
    EXPECT_EQ(-1, statusSocketIndex.load());
    EXPECT_EQ(1u, sim::callsOf("connect").size()) << "no status connection without a data connection";
}

TEST_F(NetworkPort, WritesGoOnTheDataConnectionWithOneSend) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    Bytes job = {0x1B, 0x40, 'H', 'i', 0x0A};
    jint written = 0;
    EXPECT_EQ(1, writePort(769, job, &written));
    EXPECT_EQ(5, written);
    EXPECT_BYTES(job, sim::peer("192.168.1.100:9100").received);
    EXPECT_TRUE(sim::peer("192.168.1.100:4000").received.empty());

    sim::peer("192.168.1.100:9100").sendLimit = 2;
    EXPECT_EQ(1, writePort(769, job, &written));
    EXPECT_EQ(2, written) << "a partial send reports its own count";
    EXPECT_EQ(2u, sim::callsOf("send").size()) << "one send per write";

    sim::failCall("send", 3);
    EXPECT_EQ(0, writePort(769, job, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(0, writePort(773, job, &written)) << "index 5 with two entries";
    EXPECT_EQ(0, written);
}

// Many printers close a connection they found idle. Before its next use
// such a connection is made again in place: same entry, same handle, the
// old socket closed, and the receipt reaches the printer. A status query
// that got no answer leaves its connection as it was: the library's own
// wait ran out, not a receive, which would leave the socket in an undefined
// state.
TEST_F(NetworkPort, ClosedOrTimedOutConnectionsAreMadeAgainInPlace) {
    struct Case {
        const char* label;
        std::function<void()> spoil;
        size_t connects;
    } cases[] = {
        {"closed by the printer while idle", [] {
             sim::advance(60000);
             sim::closeConnections("192.168.1.100:9100");
             sim::closeConnections("192.168.1.100:4000");
         }, 2},
        {"a status query got no answer", [this] {
             Bytes status(kFullStatusLength);
             EXPECT_EQ(0, parsedStatus(769, status)) << "the printer stays silent once";
         }, 0},
    };
    for (const Case& c : cases) {
        sim::reset();
        ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
        const size_t sockets = sim::ledger().sockets;
        c.spoil();
        sim::peer("192.168.1.100:4000").replies = {{0x00, 0x00, 0x00, 0x00}};
        sim::clearCalls();
        jint written = 0;
        EXPECT_EQ(1, writePort(769, {'A', 'B'}, &written)) << c.label;
        EXPECT_EQ(2, written) << c.label;
        EXPECT_BYTES((Bytes{'A', 'B'}), sim::peer("192.168.1.100:9100").received) << c.label;
        Bytes status(kFullStatusLength);
        EXPECT_EQ(1, parsedStatus(769, status)) << c.label;
        EXPECT_EQ(c.connects, sim::callsOf("connect").size()) << c.label;
        EXPECT_EQ(sockets, sim::ledger().sockets) << c.label << ": the old sockets are closed";
        EXPECT_EQ(2u, networkPortTable().count()) << c.label;
        closePort(769);
    }
}

// The look for a closed connection costs a system call per send, so a
// data connection found open within kDataLookAgainAfterMs is not looked at
// again; the status connection is looked at before every query.
TEST_F(NetworkPort, AConnectionIsLookedAtAgainOnlyAfterAMoment) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    auto looks = [] {
        std::vector<std::string> selects = sim::callsOf("select");
        return std::count(selects.begin(), selects.end(), "select(0s+0us)");
    };
    const struct {
        uint64_t idleMs;
        long looks;
    } steps[] = {{60000, 1}, {0, 1}, {kDataLookAgainAfterMs - 1, 1}, {1, 2}};
    for (const auto& step : steps) {
        sim::advance(step.idleMs);
        jint written = 0;
        EXPECT_EQ(1, writePort(769, {'A'}, &written));
        EXPECT_EQ(step.looks, looks()) << "after " << step.idleMs << " ms";
    }
    sim::peer("192.168.1.100:4000").replies = {{0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00}};
    for (long query = 1; query <= 2; ++query) {
        Bytes status(kFullStatusLength);
        EXPECT_EQ(1, parsedStatus(769, status));
        EXPECT_EQ(2 + query, looks()) << "status query " << query;
    }
}

TEST_F(NetworkPort, AConnectionThatCannotBeMadeAgainFailsTheWriteAndStays) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    sim::advance(60000);
    sim::closeConnections("192.168.1.100:9100");
    sim::peer("192.168.1.100:9100").connect = sim::Connect::NeverReady;
    jint written = -1;
    EXPECT_EQ(0, writePort(769, {'A'}, &written));
    EXPECT_EQ(0, written);
    EXPECT_TRUE(sim::peer("192.168.1.100:9100").received.empty());
    EXPECT_EQ(1u, sim::ledger().sockets) << "the stale socket is closed, nothing half-made is left open";
    EXPECT_EQ(2u, networkPortTable().count()) << "the entry stays";

    sim::peer("192.168.1.100:9100").connect = sim::Connect::ReadyAfter;
    EXPECT_EQ(1, writePort(769, {'B'}, &written)) << "the next write tries again";
    EXPECT_BYTES((Bytes{'B'}), sim::peer("192.168.1.100:9100").received);
}

// A printer that stops reading (out of paper, say) takes part of a job. The
// write reports exactly what the connection took, so that a caller offers
// only the rest; a write that finds no room within the time-out reports 0.
TEST_F(NetworkPort, APrinterThatStopsReadingGetsItsPartCountedExactly) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}, 400));
    sim::Peer& printer = sim::peer("192.168.1.100:9100");
    printer.window = 3;
    jint written = -1;
    EXPECT_EQ(1, writePort(769, {'A', 'B', 'C', 'D', 'E'}, &written));
    EXPECT_EQ(3, written);
    EXPECT_BYTES((Bytes{'A', 'B', 'C'}), printer.received);

    const uint64_t before = sim::now();
    EXPECT_EQ(0, writePort(769, {'D', 'E'}, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(400u, sim::now() - before) << "the wait for room is bounded by the time-out";

    printer.window = -1;
    EXPECT_EQ(1, writePort(769, {'D', 'E'}, &written)) << "the printer reads again";
    EXPECT_BYTES((Bytes{'A', 'B', 'C', 'D', 'E'}), printer.received);
}

// Bytes a printer sends on the data connection (an automatic status block,
// an answer to a command inside a job) are taken off it and kept, so that
// its close behind them is seen before the next send.
TEST_F(NetworkPort, APrinterThatTalksBackStillHasItsCloseSeen) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    sim::Peer& printer = sim::peer("192.168.1.100:9100");
    jint written = 0;
    EXPECT_EQ(1, writePort(769, {'1'}, &written));
    printer.answer({'A', 'S', 'B', '!'});
    sim::advance(60000);
    sim::closeConnections("192.168.1.100:9100");
    EXPECT_EQ(1, writePort(769, {'2'}, &written));
    EXPECT_BYTES((Bytes{'1', '2'}), printer.received) << "the second job went on a new connection";
    uint8_t kept[8] = {};
    EXPECT_EQ(4, takeNetworkInput(1, kept, sizeof kept, 0));
    EXPECT_BYTES((Bytes{'A', 'S', 'B', '!'}), Bytes(kept, kept + 4));
    EXPECT_EQ(0, takeNetworkInput(2, kept, sizeof kept, 0)) << "the status connection holds nothing";
}

// A printer switched off or unplugged sends no close. Keepalive finds its
// quiet connection gone after the time-out and ten probes at a tenth of it;
// the write after that fails instead of reporting a receipt sent.
TEST_F(NetworkPort, AVanishedPrinterFailsTheWriteAfterTwiceTheTimeoutOfQuiet) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}, 1000));
    sim::Peer& printer = sim::peer("192.168.1.100:9100");
    jint written = 0;
    EXPECT_EQ(1, writePort(769, {'1'}, &written));
    printer.vanishedAt = sim::now();
    sim::advance(2000);
    const uint64_t before = sim::now();
    EXPECT_EQ(0, writePort(769, {'2'}, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(1000u, sim::now() - before) << "the connection made again waits out the time-out";
    EXPECT_BYTES((Bytes{'1'}), printer.received);
}

// A status port that serves one session at a time (common on print servers)
// must never see a second connection while the first lives.
TEST_F(NetworkPort, AOneSessionStatusPortAnswersEveryQueryAfterASilentOne) {
    sim::Peer& status = sim::peer("192.168.1.100:4000");
    status.sessions = 1;
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    Bytes reply(kFullStatusLength);
    EXPECT_EQ(0, parsedStatus(769, reply)) << "the printer stays silent once";
    for (int query = 1; query <= 5; ++query) {
        status.replies = {{0x00}};
        EXPECT_EQ(1, parsedStatus(769, reply)) << "query " << query;
    }
    sim::closeConnections("192.168.1.100:4000");
    status.replies = {{0x00}};
    EXPECT_EQ(1, parsedStatus(769, reply)) << "made again after the printer closed it";
}

// A write waits at most once for the connection made again and once for
// room; a status query at most once for the connection and once for the
// answer (its three-byte request never waits for room).
TEST_F(NetworkPort, CallsTakeAtMostTwiceTheTimeout) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}, 400));
    sim::Peer& data = sim::peer("192.168.1.100:9100");
    sim::Peer& status = sim::peer("192.168.1.100:4000");
    data.readyAfterMs = status.readyAfterMs = 399;
    data.window = 0;
    sim::advance(60000);
    sim::closeConnections("192.168.1.100:9100");
    sim::closeConnections("192.168.1.100:4000");
    struct Call {
        const char* label;
        std::function<jint()> call;
    } calls[] = {
        {"a write to a printer that takes nothing", [this] {
             jint written = 0;
             return writePort(769, {'A'}, &written);
         }},
        {"a status query that gets no answer", [this] {
             Bytes reply(kFullStatusLength);
             return parsedStatus(769, reply);
         }},
    };
    for (const Call& c : calls) {
        const uint64_t before = sim::now();
        EXPECT_EQ(0, c.call()) << c.label;
        EXPECT_EQ(799u, sim::now() - before) << c.label;
    }
}

TEST_F(NetworkPort, ClosingAHandleClosesBothConnections) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    SOCKET data = networkPortTable().entryAt(1)->socket;
    SOCKET status = networkPortTable().entryAt(2)->socket;
    sim::clearCalls();
    EXPECT_EQ(1, closePort(769));
    EXPECT_EQ((std::vector<std::string>{"closesocket(" + std::to_string(status) + ")",
                                        "closesocket(" + std::to_string(data) + ")"}),
              sim::callsOf("closesocket"));
    EXPECT_EQ(0u, networkPortTable().count());
    EXPECT_EQ(2, statusSocketIndex.load()) << "a close leaves statusSocketIndex alone";
    EXPECT_EQ(769, openPort(3, {192, 168, 1, 100})) << "the printer opens again";
}

// Each printer's status connection sits right after its data connection, so
// closing one printer leaves the other's connections alone.
TEST_F(NetworkPort, TwoPrintersCloseIndependently) {
    sim::peer("192.168.1.101:9100");
    sim::peer("192.168.1.101:4000");
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    ASSERT_EQ(771, openPort(3, {192, 168, 1, 101}));
    EXPECT_EQ(4, statusSocketIndex.load());
    closePort(769);
    ASSERT_EQ(2u, networkPortTable().count());
    EXPECT_EQ(9100, networkPortTable().entryAt(1)->tcpPort);
    EXPECT_EQ(0xC0A80165u, networkPortTable().entryAt(1)->address);
    EXPECT_EQ(4000, networkPortTable().entryAt(2)->tcpPort);

    EXPECT_EQ(1, closePort(775)) << "a handle that names no connection";
    EXPECT_EQ(2u, networkPortTable().count()) << "closes nothing, not even the last printer's status connection";
}

TEST_F(NetworkPort, IndexZeroFallsBackToStatusSocketIndex) {
    ASSERT_EQ(769, openPort(3, {192, 168, 1, 100}));
    EXPECT_EQ(1, closePort(768));
    EXPECT_EQ(0u, networkPortTable().count());
}

TEST_F(NetworkPort, CloseResults) {
    EXPECT_EQ(kNetworkNoEntry, closeNetworkPort(0)) << "empty table";
    ASSERT_EQ(1, openNetworkPort(500, 0xC0A80164, 9100));
    ASSERT_EQ(2, openNetworkPort(500, 0xC0A80164, 4000));
    EXPECT_EQ(kNetworkNoEntry, closeNetworkPort(3));
    EXPECT_EQ(kNetworkNoEntry, closeNetworkPort(0xFFFFFFFFu)) << "statusSocketIndex -1";
    sim::failCall("closesocket", 1);
    EXPECT_EQ(kNetworkCloseFailed, closeNetworkPort(1));
    EXPECT_EQ(1u, networkPortTable().count()) << "the entry is gone all the same";
    EXPECT_EQ(4000, networkPortTable().entryAt(1)->tcpPort);
    EXPECT_EQ(kNetworkClosed, closeNetworkPort(0));
}

}  // namespace
