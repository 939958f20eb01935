// Drives random sequences of the six entry points against a simulated world
// with random platform failures. Any crash, sanitizer report, leaked handle,
// socket, list or heap block, unreleased array, or result outside the
// documented set stops the run.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <string>

#include "entry_point_session.h"
#include "ports/network_printer.h"
#include "simulation.h"

namespace {

using sim::Bytes;

using fuzzing::check;

const char* const kFaultableCalls[] = {"CreateFileW", "CloseHandle", "WriteFile", "ReadFile", "SetCommState",
                                       "SetCommTimeouts", "HeapAlloc", "SetupDiGetClassDevsW",
                                       "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailW",
                                       "WideCharToMultiByte", "WaitForSingleObject", "socket", "ioctlsocket",
                                       "connect", "select", "setsockopt", "getsockopt", "send", "recv",
                                       "closesocket"};

const wchar_t* const kUsbPaths[] = {L"\\\\?\\usb#vid_067b&pid_1", L"\\\\?\\usb#VID_1FC9&pid_2", L"\\\\?\\usb#vid_04b8&p",
                                    L"short", L"\\\\?\\usb#vid_0483"};

// What the printers of a world answer. It outlives the inputs, so that the
// world built for each input refills it instead of allocating anew, and the
// responders hold only a pointer to their part.
struct Scripts {
    std::array<Bytes, 3> serialAnswers;
    std::array<Bytes, 4> usbReplies;
    std::array<Bytes, 4> peerReplies;
};

Scripts& scripts() {
    static Scripts* kept = new Scripts();
    return *kept;
}

// Takes up to most bytes of the input into bytes.
void take(FuzzedDataProvider& input, size_t most, Bytes& bytes) {
    bytes.resize(most);
    if (most != 0) bytes.resize(input.ConsumeData(bytes.data(), most));
}

void buildWorld(FuzzedDataProvider& input) {
    Scripts& script = scripts();
    const wchar_t* const serialPaths[] = {L"COM1", L"COM3", L"\\\\.\\COM10"};
    for (size_t i = 0; i < std::size(serialPaths); ++i) {
        const Bytes* answers = &script.serialAnswers[i];
        take(input, 4, script.serialAnswers[i]);
        if (input.ConsumeBool()) script.serialAnswers[i].clear();  // a silent printer
        sim::serial(serialPaths[i]).respond = [answers](sim::SerialDevice& d, const Bytes& written) {
            if (answers->empty()) return;
            for (uint8_t byte : written) d.incoming.emplace_back(sim::now(), (*answers)[byte % answers->size()]);
        };
    }
    size_t interfaces = input.ConsumeIntegralInRange<size_t>(0, 4);
    for (size_t i = 0; i < interfaces; ++i) {
        const wchar_t* path = kUsbPaths[input.ConsumeIntegralInRange<size_t>(0, 4)];
        sim::deviceInterfaces().push_back(sim::DeviceInterface{path, input.ConsumeIntegralInRange<DWORD>(0, 3),
                                                              input.ConsumeBool(), input.ConsumeBool()});
        sim::UsbDevice& device = sim::usb(path);
        device.writeOpens = {input.ConsumeBool(), input.ConsumeBool(), input.ConsumeBool()};
        auto kind = static_cast<sim::ReadKind>(input.ConsumeIntegralInRange<int>(0, 2));
        auto after = input.ConsumeIntegralInRange<uint32_t>(0, 1000);
        const Bytes* reply = &script.usbReplies[i];
        take(input, input.ConsumeIntegralInRange<size_t>(0, 200), script.usbReplies[i]);
        device.respond = [kind, after, reply](sim::UsbDevice& d, const Bytes&) {
            d.reads.push_back(sim::UsbRead{kind, *reply, after});
        };
    }
    const char* const peers[] = {"10.0.0.1:9100", "10.0.0.1:4000", "10.0.0.2:9100", "10.0.0.2:4000"};
    for (size_t i = 0; i < std::size(peers); ++i) {
        sim::Peer& remote = sim::peer(peers[i]);
        remote.connect = static_cast<sim::Connect>(input.ConsumeIntegralInRange<int>(0, 3));
        remote.readyAfterMs = input.ConsumeIntegralInRange<uint64_t>(0, 2000);
        remote.sendLimit = input.ConsumeIntegralInRange<int>(-1, 64);
        remote.closedByPeer = input.ConsumeBool();
        const Bytes* reply = &script.peerReplies[i];
        take(input, input.ConsumeIntegralInRange<size_t>(0, 200), script.peerReplies[i]);
        remote.respond = [reply](sim::Peer& p, const Bytes&) {
            if (!reply->empty()) p.replies.push_back(*reply);
        };
    }
    size_t faults = input.ConsumeIntegralInRange<size_t>(0, 4);
    for (size_t i = 0; i < faults; ++i) {
        sim::failCall(kFaultableCalls[input.ConsumeIntegralInRange<size_t>(0, std::size(kFaultableCalls) - 1)],
                      input.ConsumeIntegralInRange<int>(0, 12));
    }
}

// Waiting forever on a silent printer opened with time-out 0 is documented
// behaviour; the simulation reports it instead of hanging.
bool documentedWait(const std::string& misuse) {
    return misuse.find("forever") != std::string::npos || misuse.find("without limit") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::recordCalls(false);  // nothing here reads the call log
    sim::reset();
    vellamoor::statusSocketIndex = -1;
    FuzzedDataProvider input(data, size);
    buildWorld(input);
    fuzzing::runSession(input);
    sim::clearFaults();  // the clean-up itself must succeed
    fuzzing::closeEverything();
    for (const std::string& misuse : sim::misuses()) {
        check(documentedWait(misuse), [&] { return "Win32 misuse: " + misuse; });
    }
    sim::Ledger ledger = sim::ledger();
    check(ledger.handles == 0 && ledger.sockets == 0 && ledger.deviceInfoLists == 0 && ledger.heapBlocks == 0 &&
              ledger.pendingIo == 0,
          [&] {
              return "leak: handles " + std::to_string(ledger.handles) + ", sockets " + std::to_string(ledger.sockets) +
                     ", lists " + std::to_string(ledger.deviceInfoLists) + ", heap " +
                     std::to_string(ledger.heapBlocks);
          });
    // The simulated world goes with its input: what one run allocates it
    // frees, so libFuzzer's leak check (run whenever the counts differ) stays
    // for real leaks.
    sim::reset();
    return 0;
}
