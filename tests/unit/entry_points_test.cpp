#include <climits>

#include "library_test.h"

namespace {

using namespace vellamoor;

// A bad array from Java must never crash the JVM: null arrays, arrays the JVM
// cannot provide, short arrays and counts outside the array all fail cleanly,
// and every array obtained is released once with mode 0 (checked after each
// test).
class EntryPoints : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        sim::serial(L"COM3");
        handle = openPort(2, {3, 1});
        ASSERT_EQ(513, handle);
    }
    jint handle = 0;
};

TEST_F(EntryPoints, OpenWithoutUsableParametersOpensNothing) {
    sim::clearCalls();
    EXPECT_EQ(0, Java_net_vellamoor_printerio_IOPort_nativeOpenPort(jvm.env(), nullptr, 2, nullptr, 500));
    EXPECT_EQ(0, Java_net_vellamoor_printerio_IOPort_nativeOpenPort(jvm.env(), nullptr, 1, nullptr, 500))
        << "USB needs the array too";
    jvm.failNextGets(1);
    EXPECT_EQ(0, openPort(2, {4, 1})) << "JVM returned no elements";
    EXPECT_EQ(0, openPort(4, {3, 1})) << "no such port type";
    EXPECT_EQ(0, openPort(3, {127, 0, 0})) << "network address needs four bytes";
    EXPECT_TRUE(sim::calls().empty()) << "nothing may reach the platform; first call: " << sim::calls().front();
}

TEST_F(EntryPoints, WriteRefusesCountsOutsideTheArray) {
    struct Case {
        const char* label;
        jint from;
        jint to;
    } cases[] = {{"negative count", 5, 2},
                 {"count beyond the array", 0, 11},
                 {"overflowing difference", INT_MIN, INT_MAX},
                 {"underflowing difference", INT_MAX, INT_MIN}};
    Bytes data(10, 0x41);
    for (const Case& c : cases) {
        jint written = -1;
        EXPECT_EQ(0, writePort(handle, data, c.from, c.to, &written)) << c.label;
        EXPECT_EQ(0, written) << c.label;
    }
    EXPECT_TRUE(sim::serial(L"COM3").written.empty());
}

TEST_F(EntryPoints, WriteWithoutUsableArraysSendsNothing) {
    jintArray result = jvm.newIntArray(1, -7);
    EXPECT_EQ(0, Java_net_vellamoor_printerio_IOPort_nativeWritePort(jvm.env(), nullptr, handle, nullptr, 0, 4, result));
    EXPECT_EQ(0, jvm.ints(result)[0]) << "null data still stores 0";

    // The refused Get leaves an exception pending; the mini JVM reports any
    // further JNI call, so the result array stays as it was.
    jintArray untouched = jvm.newIntArray(1, -7);
    jvm.failNextGets(1);
    EXPECT_EQ(0, Java_net_vellamoor_printerio_IOPort_nativeWritePort(jvm.env(), nullptr, handle,
                                                                      jvm.newByteArray({1, 2, 3, 4}), 0, 4, untouched));
    EXPECT_EQ(-7, jvm.ints(untouched)[0]) << "data elements unavailable";

    EXPECT_EQ(0, Java_net_vellamoor_printerio_IOPort_nativeWritePort(jvm.env(), nullptr, handle,
                                                                      jvm.newByteArray({1, 2, 3, 4}), 0, 4, nullptr));
    EXPECT_EQ(0, Java_net_vellamoor_printerio_IOPort_nativeWritePort(
                     jvm.env(), nullptr, handle, jvm.newByteArray({1, 2, 3, 4}), 0, 4, jvm.newIntArray(0)));
    EXPECT_TRUE(sim::serial(L"COM3").written.empty());
}

TEST_F(EntryPoints, HandleDecoding) {
    jint written = 0;
    EXPECT_EQ(1, writePort(0x7FFF0201, {0x31}, &written)) << "bits 16-31 are ignored";
    EXPECT_EQ(0, writePort(0x0401, {0x32}, &written)) << "port type 4";
    EXPECT_EQ(0, written);
    EXPECT_EQ(1, closePort(0x0901)) << "port type 9";
    EXPECT_EQ(1u, serialPortTable().count());
    EXPECT_BYTES(Bytes{0x31}, sim::serial(L"COM3").written);
}

TEST_F(EntryPoints, ReservedEntryPointsAnswerFixedValues) {
    EXPECT_EQ(0, Java_net_vellamoor_printerio_IOPort_nativeReadPort(jvm.env(), nullptr, handle, 1, 2, 3, 4));
    EXPECT_EQ(1, Java_net_vellamoor_printerio_IOPort_nativeResetDevice(jvm.env(), nullptr, handle));
    EXPECT_TRUE(sim::serial(L"COM3").written.empty());
}

}  // namespace
