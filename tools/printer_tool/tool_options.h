#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellamoor {

enum class Transport { None, Serial, Network, Usb };

struct ToolOptions {
    Transport transport = Transport::None;
    int comPort = 0;
    int speedIndex = 1;            // into 9600, 19200, 38400, 115200
    uint8_t address[4] = {};
    int timeoutMs = 1000;
    std::string printFile;         // empty: no file
    bool testReceipt = false;
    bool status = false;
    bool exitStatus = false;       // the exit code carries the printer's state
    bool list = false;             // list the serial ports and USB printers present
    bool help = false;
    bool version = false;
    std::string library;           // empty: the DLL beside the tool
};

// Exit codes of the tool, one per kind of failure.
enum ToolExit : int {
    kExitSuccess = 0,
    kExitUsage = 2,           // bad arguments
    kExitNoLibrary = 3,       // the DLL did not load or lacks an entry point
    kExitPortNotOpened = 4,   // the port did not open
    kExitWriteFailed = 5,     // the printer did not take the whole job
    kExitNoStatus = 6,        // the printer did not answer the status query
    // With --exit-status, the printer's state (0 is ready):
    kExitPaperNearEnd = 10,   // ready, but the paper is running out
    kExitOffline = 11,
    kExitCoverOpen = 12,
    kExitPaperEnd = 13,
    kExitCutterError = 14,
};

// The exit code that carries a printer's state, the gravest first: cover
// open, paper end, cutter error, offline, paper near end; else ready (0).
int statusExitCode(const std::vector<uint8_t>& parsedStatus);

// Parses argv[1..]; on failure returns false and says why in `error`.
bool parseToolOptions(const std::vector<std::string>& arguments, ToolOptions& options, std::string& error);

const char* toolUsage();

// The printer's state in words, from a ParsedStatus array.
std::string describeStatus(const std::vector<uint8_t>& parsedStatus);

// A short receipt that shows text, alignment, emphasis and the cutter.
std::vector<uint8_t> testReceipt(const std::string& transportName);

}  // namespace vellamoor
