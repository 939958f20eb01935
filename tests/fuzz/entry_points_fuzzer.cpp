// Drives random sequences of the six entry points against a simulated world
// with random platform failures. Any crash, sanitizer report, leaked handle,
// socket, list or heap block, unreleased array, or result outside the
// documented set stops the run.

#include <fuzzer/FuzzedDataProvider.h>
#include <net_vellamoor_printerio_IOPort.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mini_jvm.h"
#include "jni/parsed_status.h"
#include "port_entries.h"
#include "ports/network_port.h"
#include "ports/network_printer.h"
#include "ports/serial_port.h"
#include "ports/usb_port.h"
#include "simulation.h"

namespace {

using sim::Bytes;

void check(bool condition, const std::string& what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

const char* const kFaultableCalls[] = {"CreateFileW", "CloseHandle", "WriteFile", "ReadFile", "SetCommState",
                                       "SetCommTimeouts", "HeapAlloc", "SetupDiGetClassDevsW",
                                       "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailW",
                                       "WideCharToMultiByte", "WaitForSingleObject", "socket", "ioctlsocket",
                                       "connect", "select", "setsockopt", "getsockopt", "send", "recv",
                                       "closesocket"};

const wchar_t* const kUsbPaths[] = {L"\\\\?\\usb#vid_067b&pid_1", L"\\\\?\\usb#VID_1FC9&pid_2", L"\\\\?\\usb#vid_04b8&p",
                                    L"short", L"\\\\?\\usb#vid_0483"};

void buildWorld(FuzzedDataProvider& input) {
    for (const wchar_t* path : {L"COM1", L"COM3", L"\\\\.\\COM10"}) {
        sim::SerialDevice& device = sim::serial(path);
        Bytes answers = input.ConsumeBytes<uint8_t>(4);
        bool silent = input.ConsumeBool();
        device.respond = [answers, silent](sim::SerialDevice& d, const Bytes& written) {
            if (silent || answers.empty()) return;
            for (uint8_t byte : written) d.answer({answers[byte % answers.size()]});
        };
    }
    size_t interfaces = input.ConsumeIntegralInRange<size_t>(0, 4);
    for (size_t i = 0; i < interfaces; ++i) {
        const wchar_t* path = kUsbPaths[input.ConsumeIntegralInRange<size_t>(0, 4)];
        sim::deviceInterfaces().push_back(sim::DeviceInterface{path, input.ConsumeIntegralInRange<DWORD>(0, 3),
                                                              input.ConsumeBool(), input.ConsumeBool()});
        sim::UsbDevice& device = sim::usb(path);
        device.writeOpens = {input.ConsumeBool(), input.ConsumeBool(), input.ConsumeBool()};
        int kind = input.ConsumeIntegralInRange<int>(0, 2);
        uint64_t after = input.ConsumeIntegralInRange<uint64_t>(0, 1000);
        Bytes reply = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 200));
        device.respond = [kind, after, reply](sim::UsbDevice& d, const Bytes&) {
            d.reads.push_back(sim::UsbRead{static_cast<sim::ReadKind>(kind), reply, after});
        };
    }
    for (const char* peer : {"10.0.0.1:9100", "10.0.0.1:4000", "10.0.0.2:9100", "10.0.0.2:4000"}) {
        sim::Peer& remote = sim::peer(peer);
        remote.connect = static_cast<sim::Connect>(input.ConsumeIntegralInRange<int>(0, 3));
        remote.readyAfterMs = input.ConsumeIntegralInRange<uint64_t>(0, 2000);
        remote.sendLimit = input.ConsumeIntegralInRange<int>(-1, 64);
        remote.closedByPeer = input.ConsumeBool();
        Bytes reply = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 200));
        remote.respond = [reply](sim::Peer& p, const Bytes&) {
            if (!reply.empty()) p.replies.push_back(reply);
        };
    }
    size_t faults = input.ConsumeIntegralInRange<size_t>(0, 4);
    for (size_t i = 0; i < faults; ++i) {
        sim::failCall(kFaultableCalls[input.ConsumeIntegralInRange<size_t>(0, std::size(kFaultableCalls) - 1)],
                      input.ConsumeIntegralInRange<int>(0, 12));
    }
}

class Session {
public:
    explicit Session(FuzzedDataProvider& input) : input_(input) {}

    void step() {
        switch (input_.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
            open();
            break;
        case 1:
            write();
            break;
        case 2:
            check(Java_net_vellamoor_printerio_IOPort_nativeClosePort(jvm_.env(), nullptr, handle()) == 1, "close != 1");
            break;
        case 3:
            status();
            break;
        case 4:
            check(Java_net_vellamoor_printerio_IOPort_nativeReadPort(jvm_.env(), nullptr, handle(), 1, 2, 3, 4) == 0,
                  "read != 0");
            break;
        default:
            check(Java_net_vellamoor_printerio_IOPort_nativeResetDevice(jvm_.env(), nullptr, handle()) == 1,
                  "reset != 1");
        }
        check(jvm_.outstandingElements() == 0, "array elements not released");
        check(jvm_.misuses().empty(), "JNI misuse: " + (jvm_.misuses().empty() ? "" : jvm_.misuses().front()));
    }

private:
    // A null array, one whose elements the JVM refuses (refused is set), or
    // one of up to maxLength random bytes.
    jbyteArray byteArray(size_t maxLength, bool* refused = nullptr) {
        int shape = input_.ConsumeIntegralInRange<int>(0, 9);
        if (refused != nullptr) *refused = shape == 1;
        if (shape == 0) return nullptr;
        if (shape == 1) jvm_.failNextGets(1);
        return jvm_.newByteArray(input_.ConsumeBytes<uint8_t>(input_.ConsumeIntegralInRange<size_t>(0, maxLength)));
    }

    jint handle() {
        int shape = input_.ConsumeIntegralInRange<int>(0, 3);
        if (shape == 0 && !opened_.empty()) return opened_[input_.ConsumeIntegralInRange<size_t>(0, opened_.size() - 1)];
        if (shape == 1) return input_.ConsumeIntegral<jint>();
        return input_.ConsumeIntegralInRange<jint>(0, 0x4FF);
    }

    jint timeout() {
        static const jint choices[] = {0, 1, 300, 1500, -1};
        return choices[input_.ConsumeIntegralInRange<size_t>(0, 4)];
    }

    void open() {
        jint type = input_.ConsumeIntegralInRange<jint>(0, 4);
        jbyteArray parameters = byteArray(6);
        if (parameters != nullptr && type == 2 && input_.ConsumeBool()) {
            parameters = jvm_.newByteArray({static_cast<uint8_t>(input_.PickValueInArray({1, 3, 10, 7})),
                                            input_.ConsumeIntegralInRange<uint8_t>(0, 5)});
        }
        if (parameters != nullptr && type == 3 && input_.ConsumeBool()) {
            parameters = jvm_.newByteArray({10, 0, 0, input_.ConsumeIntegralInRange<uint8_t>(1, 2)});
        }
        jint h = Java_net_vellamoor_printerio_IOPort_nativeOpenPort(jvm_.env(), nullptr, type, parameters, timeout());
        if (h == 0) return;
        check((h >> 8) == type && type >= 1 && type <= 3 && (h & 0xFF) >= 1, "open returned " + std::to_string(h));
        opened_.push_back(h);
    }

    void write() {
        bool refused = false;
        jbyteArray data = byteArray(300, &refused);
        jintArray result = nullptr;
        size_t resultLength = input_.ConsumeIntegralInRange<size_t>(0, 2);
        if (input_.ConsumeIntegralInRange<int>(0, 5) != 0) result = jvm_.newIntArray(resultLength, -7);
        jint from = input_.ConsumeBool() ? input_.ConsumeIntegral<jint>() : input_.ConsumeIntegralInRange<jint>(0, 5);
        jint to = input_.ConsumeBool() ? input_.ConsumeIntegral<jint>() : input_.ConsumeIntegralInRange<jint>(0, 300);
        jint r = Java_net_vellamoor_printerio_IOPort_nativeWritePort(jvm_.env(), nullptr, handle(), data, from, to, result);
        check(r == 0 || r == 1, "write returned " + std::to_string(r));
        if (result == nullptr || resultLength == 0) {
            check(r == 0, "write without a result array succeeded");
            return;
        }
        jint written = jvm_.ints(result)[0];
        // After a refused Get no further JNI call is made, so the count stays untouched.
        if (refused) return check(r == 0 && written == -7, "write after a refused Get touched the result");
        check(written == 0 || (written > 0 && static_cast<int64_t>(written) <= static_cast<int64_t>(to) - from),
              "written " + std::to_string(written) + " of " + std::to_string(static_cast<int64_t>(to) - from));
        check((r == 1) == (written > 0), "result and count disagree");
    }

    void status() {
        jbyteArray array = byteArray(200);
        Bytes before = array != nullptr ? jvm_.bytes(array) : Bytes();
        jint r = Java_net_vellamoor_printerio_IOPort_nativeGetParsedStatus(jvm_.env(), nullptr, handle(), array);
        check(r == 0 || r == 1, "status returned " + std::to_string(r));
        if (array == nullptr) return check(r == 0, "status without an array succeeded");
        Bytes after = jvm_.bytes(array);
        if (r == 0) return check(before == after, "failed status changed the array");
        check(after.size() >= vellamoor::kReplyBytesPosition && after[3] == before[3] && after[4] == before[4] &&
                  after[7] == before[7],
              "status wrote positions 3, 4 or 7");
        for (int position : {vellamoor::kCoverOpenPosition, vellamoor::kOfflinePosition,
                             vellamoor::kAutoCutterErrorPosition, vellamoor::kPaperEndPosition,
                             vellamoor::kPaperNearEndPosition}) {
            check(after[position] <= 1, "flag is not 0 or 1");
        }
    }

    FuzzedDataProvider& input_;
    minijvm::MiniJvm jvm_;
    std::vector<jint> opened_;
};

// Waiting forever on a silent printer opened with time-out 0 is documented
// behaviour; the simulation reports it instead of hanging.
bool documentedWait(const std::string& misuse) {
    return misuse.find("forever") != std::string::npos || misuse.find("without limit") != std::string::npos;
}

void closeEverything() {
    while (vellamoor::serialPortTable().count() != 0) vellamoor::closeSerialPort(0);
    while (vellamoor::usbPortTable().count() != 0) vellamoor::closeUsbPort(0);
    while (vellamoor::networkPortTable().count() != 0) vellamoor::closeNetworkPort(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::recordCalls(false);  // nothing here reads the call log
    sim::reset();
    vellamoor::statusSocketIndex = -1;
    FuzzedDataProvider input(data, size);
    buildWorld(input);
    {
        Session session(input);
        for (int steps = 0; steps < 48 && input.remaining_bytes() > 0; ++steps) session.step();
    }
    sim::clearFaults();  // the clean-up itself must succeed
    closeEverything();
    for (const std::string& misuse : sim::misuses()) check(documentedWait(misuse), "Win32 misuse: " + misuse);
    sim::Ledger ledger = sim::ledger();
    check(ledger.handles == 0 && ledger.sockets == 0 && ledger.deviceInfoLists == 0 && ledger.heapBlocks == 0 &&
              ledger.pendingIo == 0,
          "leak: handles " + std::to_string(ledger.handles) + ", sockets " + std::to_string(ledger.sockets) +
              ", lists " + std::to_string(ledger.deviceInfoLists) + ", heap " + std::to_string(ledger.heapBlocks));
    // The simulated world goes with its input: what one run allocates it
    // frees, so libFuzzer's leak check (run whenever the counts differ) stays
    // for real leaks.
    sim::reset();
    return 0;
}
