// The Linux serial transport's open on a pseudo-terminal, seen by an ordinary
// account: root ignores exclusive mode, so what the library leaves on the
// terminal only shows to another user (setpriv, as nobody).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "port_entries.h"
#include "serial_port.h"

namespace {

using namespace vellamoor;

// Whether an ordinary account can open the terminal at path for reading and writing.
bool nobodyOpens(const std::string& path) {
    const std::string command =
        "setpriv --reuid=65534 --regid=65534 --clear-groups sh -c 'exec 3<>" + path + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(SerialOpen, AFailedOpenLeavesTheTerminalOpenToOthers) {
    if (geteuid() != 0) GTEST_SKIP() << "another account needs root";
    int printer = -1;
    int slave = -1;
    ASSERT_EQ(0, openpty(&printer, &slave, nullptr, nullptr, nullptr));
    const std::string path = ttyname(slave);
    close(slave);
    ASSERT_EQ(0, chmod(path.c_str(), 0666));
    setenv("VELLAMOOR_COM5", path.c_str(), 1);
    ASSERT_TRUE(nobodyOpens(path)) << path << " before any open";

    // An open that fails after the terminal was set up: the table is full.
    SerialPortEntry placeholder{};
    placeholder.fd = -1;
    while (serialPortTable().append(placeholder) != 0) {
    }
    EXPECT_EQ(kSerialTableFull, openSerialPort(5, 9600, 500));
    EXPECT_TRUE(nobodyOpens(path)) << path << " after the failed open";

    while (serialPortTable().count() > 0) serialPortTable().removeAt(0);
    close(printer);
}

}  // namespace
