#pragma once

// Random sequences of the six entry points with random handles, null,
// refused, short, empty and large arrays and from/to pairs of every sign,
// checking each result against what the library documents. Shared by the
// fuzzers of both platforms; each builds its own world underneath.

#include <fuzzer/FuzzedDataProvider.h>
#include <net_vellamoor_printerio_DataPath.h>
#include <net_vellamoor_printerio_IOPort.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

#include "jni/parsed_status.h"
#include "mini_jvm.h"
#include "port_entries.h"
#include "ports/network_port.h"
#include "ports/serial_port.h"
#include "ports/usb_port.h"

namespace fuzzing {

// Stops the run when condition is false. what is a text or a callable that
// makes one: a message that needs formatting is only made for a failure, as
// the checks run millions of times.
template <typename What>
void check(bool condition, const What& what) {
    if (condition) return;
    std::string text;
    if constexpr (std::is_invocable_v<What>) text = what();
    else text = what;
    std::fprintf(stderr, "fuzz check failed: %s\n", text.c_str());
    std::abort();
}

using Bytes = std::vector<uint8_t>;

class Session {
public:
    explicit Session(FuzzedDataProvider& input) : input_(input) {}

    void step() {
        switch (input_.ConsumeIntegralInRange<int>(0, 6)) {
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
        case 5:
            readData();
            break;
        default:
            check(Java_net_vellamoor_printerio_IOPort_nativeResetDevice(jvm_.env(), nullptr, handle()) == 1,
                  "reset != 1");
        }
        check(jvm_.outstandingElements() == 0, "array elements not released");
        check(jvm_.misuses().empty(), [&] { return "JNI misuse: " + jvm_.misuses().front(); });
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
        check((h >> 8) == type && type >= 1 && type <= 3 && (h & 0xFF) >= 1,
              [&] { return "open returned " + std::to_string(h); });
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
        check(r == 0 || r == 1, [&] { return "write returned " + std::to_string(r); });
        if (result == nullptr || resultLength == 0) {
            check(r == 0, "write without a result array succeeded");
            return;
        }
        jint written = jvm_.ints(result)[0];
        // After a refused Get no further JNI call is made, so the count stays untouched.
        if (refused) return check(r == 0 && written == -7, "write after a refused Get touched the result");
        check(written == 0 || (written > 0 && static_cast<int64_t>(written) <= static_cast<int64_t>(to) - from),
              [&] { return "written " + std::to_string(written) + " of " + std::to_string(int64_t{to} - from); });
        check((r == 1) == (written > 0), "result and count disagree");
    }

    void status() {
        jbyteArray array = byteArray(200);
        Bytes before = array != nullptr ? jvm_.bytes(array) : Bytes();
        jint r = Java_net_vellamoor_printerio_IOPort_nativeGetParsedStatus(jvm_.env(), nullptr, handle(), array);
        check(r == 0 || r == 1, [&] { return "status returned " + std::to_string(r); });
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

    // A count within the array, or one of the results without bytes.
    void readData() {
        jbyteArray buffer = byteArray(40);
        const jint length = buffer != nullptr ? static_cast<jint>(jvm_.bytes(buffer).size()) : 0;
        jint r = Java_net_vellamoor_printerio_DataPath_nativeRead(jvm_.env(), nullptr, handle(), buffer, timeout());
        jvm_.failNextGets(0);  // a refused time-out is answered before the array is asked for
        check(r >= net_vellamoor_printerio_DataPath_ARGUMENTS_REFUSED && r <= length,
              [&] { return "data read returned " + std::to_string(r) + " into " + std::to_string(length); });
    }

    FuzzedDataProvider& input_;
    minijvm::MiniJvm jvm_;
    std::vector<jint> opened_;
};

// Up to 48 steps, as far as the input goes.
inline void runSession(FuzzedDataProvider& input) {
    Session session(input);
    for (int steps = 0; steps < 48 && input.remaining_bytes() > 0; ++steps) session.step();
}

// Closes what the session left open, so that the world's ledger then shows
// only what the library itself lost.
inline void closeEverything() {
    while (vellamoor::serialPortTable().count() != 0) vellamoor::closeSerialPort(0);
    while (vellamoor::usbPortTable().count() != 0) vellamoor::closeUsbPort(0);
    while (vellamoor::networkPortTable().count() != 0) vellamoor::closeNetworkPort(0);
}

}  // namespace fuzzing
