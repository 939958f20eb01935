#include "library_test.h"

namespace {

using namespace vellamoor;

// "\\?\usb#" is eight characters, so the vendor token starts at position 8.
std::wstring usbPath(const std::wstring& token) { return L"\\\\?\\usb#" + token + L"&pid_2305#5&1a2b3c&0&1#{28d78fad}"; }

class UsbPort : public LibraryTest {
protected:
    // Adds a present interface and, when it is a printer we may open, its device.
    std::wstring addInterface(const std::wstring& path, DWORD flags = SPINT_ACTIVE) {
        sim::deviceInterfaces().push_back(sim::DeviceInterface{path, flags});
        sim::usb(path);
        return path;
    }

    std::vector<std::string> openSequence() {
        std::vector<std::string> sequence;
        for (const std::string& call : sim::calls()) {
            if (call.rfind("CreateFileW", 0) == 0) sequence.push_back(call.find("0x80000000") != std::string::npos ? "R" : "W");
            if (call.rfind("Sleep", 0) == 0) sequence.push_back("pause");
            if (call.rfind("CloseHandle", 0) == 0) sequence.push_back("close");
        }
        return sequence;
    }
};

TEST_F(UsbPort, VendorTokensAreMatchedIgnoringAsciiCase) {
    struct Case {
        const wchar_t* path;
        int32_t expected;
    } cases[] = {
        {L"\\\\?\\usb#vid_067b&pid_1", 1},  {L"\\\\?\\usb#VID_067B&pid_1", 1}, {L"\\\\?\\usb#vid_0416&pid_1", 1},
        {L"\\\\?\\usb#vid_1cbe&pid_1", 1},  {L"\\\\?\\usb#vid_0483&pid_1", 1}, {L"\\\\?\\usb#vid_0471&pid_1", 1},
        {L"\\\\?\\usb#vid_1fc9&pid_1", 1},  {L"\\\\?\\usb#VID_1FC9&pid_1", 1}, {L"ABCDEFGHvid_0416", 1},
        {L"\\\\?\\usb#vid_04b8&pid_1", -1}, {L"\\\\?\\usbvid_067b&pid_1", -1}, {L"\\\\?\\usb#vid_067", -1},
        {L"", -1},                          {L"\\\\?\\usb#vid_067\u00e9", -1},
    };
    for (const Case& c : cases) {
        sim::reset();
        addInterface(c.path);
        int32_t index = openUsbPort(500);
        EXPECT_EQ(c.expected, index) << std::string(c.path, c.path + std::wcslen(c.path));
        if (index > 0) closeUsbPort(static_cast<uint16_t>(index));
        EXPECT_EQ(0u, sim::ledger().heapBlocks) << "detail and narrow-path buffers are freed";
        EXPECT_EQ(0u, sim::ledger().deviceInfoLists);
    }
}

TEST_F(UsbPort, SearchesTwentyIndicesAndSkippedInterfacesCount) {
    for (int i = 0; i < 18; ++i) addInterface(usbPath(L"vid_9999"));
    addInterface(usbPath(L"vid_067b"), SPINT_ACTIVE | SPINT_DEFAULT);  // index 18: active, but not only active
    addInterface(usbPath(L"vid_0416"));                                  // index 19: still in reach
    EXPECT_EQ(1, openUsbPort(500));
    EXPECT_NE(std::string::npos, sim::callsOf("CreateFileW").front().find("vid_0416"));
    closeUsbPort(1);

    sim::deviceInterfaces().insert(sim::deviceInterfaces().begin(), sim::DeviceInterface{usbPath(L"vid_9999"), SPINT_REMOVED});
    sim::clearCalls();
    EXPECT_EQ(kUsbNoPrinter, openUsbPort(500)) << "the printer at index 20 is out of reach";
    EXPECT_EQ("SetupDiEnumDeviceInterfaces(19)", sim::callsOf("SetupDiEnumDeviceInterfaces").back());
}

TEST_F(UsbPort, OnlyTheFirstAcceptablePrinterIsTried) {
    std::wstring first = addInterface(usbPath(L"vid_067b"));
    addInterface(usbPath(L"vid_0416"));
    sim::usb(first).writeOpens = {false, false, false};
    EXPECT_EQ(kUsbNoPrinter, openUsbPort(500));
    for (const std::string& call : sim::callsOf("CreateFileW")) EXPECT_NE(std::string::npos, call.find("vid_067b")) << call;
    EXPECT_EQ(1, sim::callCount("SetupDiGetClassDevsW"));
}

TEST_F(UsbPort, OpensThreeTimesPerHandleKeepingTheLast) {
    std::wstring path = addInterface(usbPath(L"vid_067b"));
    sim::usb(path).readOpens = {true, false, true};
    EXPECT_EQ(1, openUsbPort(250));
    EXPECT_EQ((std::vector<std::string>{"W", "close", "pause", "W", "close", "pause", "W", "pause", "R", "close", "pause",
                                        "R", "pause", "R", "pause"}),
              openSequence());
    EXPECT_EQ((std::vector<std::string>{"CreateFileW(" + std::string(path.begin(), path.end()) + ",0x40000000,0x0)"}),
              std::vector<std::string>{sim::callsOf("CreateFileW").front()});
    EXPECT_NE(std::string::npos, sim::callsOf("CreateFileW").back().find(",0x80000000,0x40000000)")) << "read handle is overlapped";
    EXPECT_EQ(2u, sim::ledger().handles);
    EXPECT_EQ(250, usbPortTable().entryAt(1)->readTimeoutMs);
}

TEST_F(UsbPort, InvalidHandlesFailWithNothingLeft) {
    std::wstring path = addInterface(usbPath(L"vid_067b"));
    sim::usb(path).writeOpens = {true, true, false};
    EXPECT_EQ(kUsbNoPrinter, openUsbPort(500));
    EXPECT_EQ((std::vector<std::string>{"W", "close", "pause", "W", "close", "pause", "W", "pause", "R", "close", "R",
                                        "close", "R", "close"}),
              openSequence())
        << "no pauses after read attempts once the write handle is invalid";

    sim::usb(path).writeOpens.clear();
    sim::usb(path).readOpens = {true, true, true, true, true, false};  // the third read attempt of this open
    EXPECT_EQ(kUsbNoPrinter, openUsbPort(500));
    EXPECT_EQ(0u, usbPortTable().count());
}

TEST_F(UsbPort, ListAndDetailFailures) {
    sim::failCall("SetupDiGetClassDevsW", 1);
    EXPECT_EQ(kUsbNoDeviceList, openUsbPort(500));
    EXPECT_EQ(kUsbNoPrinter, openUsbPort(500)) << "no interfaces present";

    addInterface(usbPath(L"vid_9999"));
    sim::deviceInterfaces().push_back(sim::DeviceInterface{usbPath(L"vid_067b"), SPINT_ACTIVE, true});
    EXPECT_EQ(kUsbDetailQueryFailed, openUsbPort(500));

    sim::deviceInterfaces().back() = sim::DeviceInterface{usbPath(L"vid_067b"), SPINT_ACTIVE, false, true};
    EXPECT_EQ(kUsbDetailQueryFailed, openUsbPort(500)) << "size query that reports no size";

    sim::deviceInterfaces().pop_back();
    sim::deviceInterfaces().push_back(sim::DeviceInterface{usbPath(L"vid_067b")});
    sim::failCall("HeapAlloc", sim::callCount("HeapAlloc") + 3);  // the second interface's detail buffer
    EXPECT_EQ(kUsbDetailQueryFailed, openUsbPort(500)) << "detail buffer not allocated";
    EXPECT_EQ(0u, usbPortTable().count());
}

TEST_F(UsbPort, ReadsAreBoundedByTheEntrysTimeout) {
    std::wstring path = addInterface(usbPath(L"vid_067b"));
    ASSERT_EQ(1, openUsbPort(300));
    sim::UsbDevice& printer = sim::usb(path);
    printer.reads = {sim::UsbRead{sim::ReadKind::Completes, {1, 2, 3}},
                     sim::UsbRead{sim::ReadKind::Pends, {4, 5}, 200},
                     sim::UsbRead{sim::ReadKind::Pends, {6}, 310},
                     sim::UsbRead{sim::ReadKind::Pends, {7, 8}, 400, false, 0, true},
                     sim::UsbRead{sim::ReadKind::Fails, {}, 0, false, ERROR_GEN_FAILURE},
                     sim::UsbRead{sim::ReadKind::Completes, {}}};
    uint8_t buffer[8] = {};
    EXPECT_EQ(3, readUsbPort(1, buffer, 8));
    EXPECT_BYTES((Bytes{1, 2, 3}), Bytes(buffer, buffer + 3));
    EXPECT_EQ(2, readUsbPort(1, buffer, 8)) << "completes within the wait";
    EXPECT_BYTES((Bytes{4, 5}), Bytes(buffer, buffer + 2));

    sim::clearCalls();
    uint64_t before = sim::now();
    EXPECT_EQ(0, readUsbPort(1, buffer, 8)) << "times out";
    EXPECT_EQ(300u, sim::now() - before);
    std::vector<std::string> calls = sim::calls();
    ASSERT_EQ(6u, calls.size());
    EXPECT_EQ((std::vector<std::string>{"CreateEventW()", "ReadFile(8,overlapped)", "WaitForSingleObject(300)",
                                        "CancelIo()", "GetOverlappedResult(wait)"}),
              std::vector<std::string>(calls.begin(), calls.end() - 1));
    EXPECT_EQ(0u, calls.back().find("CloseHandle(")) << "each request's own event is closed again";
    EXPECT_EQ(0u, sim::ledger().pendingIo) << "the cancelled read has finished before the call returned";
    EXPECT_EQ(1, readUsbPort(1, buffer, 8)) << "the late answer stays with the printer for the next read";
    EXPECT_EQ(6, buffer[0]);
    EXPECT_EQ(2, readUsbPort(1, buffer, 8)) << "bytes that landed while the cancel was issued are counted";
    EXPECT_BYTES((Bytes{7, 8}), Bytes(buffer, buffer + 2));

    EXPECT_EQ(0, readUsbPort(1, buffer, 8)) << "fails";
    EXPECT_EQ(0, readUsbPort(1, buffer, 8)) << "completes with no bytes";
    EXPECT_EQ(0, readUsbPort(2, buffer, 8)) << "no such entry";
}

// Answers the printer still holds from an earlier query arrive a USB frame
// after each read starts, so the drain must wait a little for each.
TEST_F(UsbPort, TheDrainTakesLateAnswersThatArriveInTheNextFrame) {
    std::wstring path = addInterface(usbPath(L"vid_067b"));
    ASSERT_EQ(1, openUsbPort(300));
    sim::UsbDevice& printer = sim::usb(path);
    printer.reads = {sim::UsbRead{sim::ReadKind::Completes, {0x16}}, sim::UsbRead{sim::ReadKind::Completes, {0x12}}};
    const size_t handles = sim::ledger().handles;
    const uint64_t before = sim::now();
    drainUsbPort(1);
    EXPECT_TRUE(printer.reads.empty()) << "both late answers taken";
    EXPECT_LE(sim::now() - before, 15u) << "a few frames per read, not the read time-out";
    EXPECT_EQ(handles, sim::ledger().handles) << "no event left open";
    EXPECT_EQ(0u, sim::ledger().pendingIo);

    sim::failCall("CreateEventW");
    sim::clearCalls();
    uint8_t byte = 0;
    EXPECT_EQ(0, readUsbPort(1, &byte, 1));
    EXPECT_TRUE(sim::callsOf("ReadFile").empty()) << "without an event of its own no read is started";
}

TEST_F(UsbPort, TimeoutsZeroAndMinusOneWaitWithoutLimit) {
    std::wstring path = addInterface(usbPath(L"vid_067b"));
    for (int32_t timeout : {0, -1}) {
        ASSERT_EQ(1, openUsbPort(timeout));
        sim::usb(path).reads = {sim::UsbRead{sim::ReadKind::Pends, {9}, 60000}};
        uint8_t byte = 0;
        sim::clearCalls();
        EXPECT_EQ(1, readUsbPort(1, &byte, 1)) << "timeout " << timeout;
        EXPECT_EQ(std::vector<std::string>{"WaitForSingleObject(INFINITE)"}, sim::callsOf("WaitForSingleObject"));
        closeUsbPort(1);
    }
}

TEST_F(UsbPort, EntryPointsWriteAndCloseInOrder) {
    std::wstring path = addInterface(usbPath(L"vid_067b"));
    ASSERT_EQ(257, openPort(1, {}));
    ASSERT_EQ(258, openPort(1, {})) << "a second open of the same printer appends a further entry";
    jint written = 0;
    EXPECT_EQ(1, writePort(258, {0x1B, 0x40, 0x41}, &written));
    EXPECT_EQ(3, written);
    EXPECT_BYTES((Bytes{0x1B, 0x40, 0x41}), sim::usb(path).written);
    EXPECT_TRUE(sim::callsOf("PurgeComm").empty()) << "USB writes purge nothing";

    sim::failCall("WriteFile", 2);
    EXPECT_EQ(0, writePort(257, {1}, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(kUsbWriteNoEntry, writeUsbPort(3, "x", 1));

    UsbPortEntry first = *usbPortTable().entryAt(1);
    UsbPortEntry second = *usbPortTable().entryAt(2);
    sim::clearCalls();
    EXPECT_EQ(1, closePort(257));
    auto closeOf = [](HANDLE handle) {
        char text[32];
        std::snprintf(text, sizeof text, "CloseHandle(0x%x)", static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)));
        return std::string(text);
    };
    EXPECT_EQ((std::vector<std::string>{closeOf(first.writeHandle), closeOf(first.readHandle)}),
              sim::callsOf("CloseHandle"))
        << "write handle first, then read handle";
    EXPECT_EQ(second.readHandle, usbPortTable().entryAt(1)->readHandle) << "the later port moved down to index 1";
    EXPECT_EQ(nullptr, usbPortTable().entryAt(2));
    EXPECT_EQ(0, closeUsbPort(2));
    EXPECT_EQ(0, readUsbPort(2, &written, 1));
}

// Opens never store null handles, but an entry that holds one must not be
// written, read or closed through.
TEST_F(UsbPort, EntriesWithNullHandlesAreLeftAlone) {
    usbPortTable().append(UsbPortEntry{500, nullptr, nullptr});
    uint8_t byte = 0;
    EXPECT_EQ(kUsbWriteNoEntry, writeUsbPort(1, "x", 1));
    EXPECT_EQ(0, readUsbPort(1, &byte, 1));
    EXPECT_EQ(0, closeUsbPort(1));
    EXPECT_EQ(1u, usbPortTable().count());
    EXPECT_TRUE(sim::calls().empty());
    usbPortTable().removeAt(1);
}

}  // namespace
