#include "tool_options.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "open_parameters.h"
#include "parsed_status.h"

namespace vellamoor {
namespace {

bool parseNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && value >= low && value <= high;
}

bool parseAddress(const std::string& text, uint8_t (&address)[4]) {
    unsigned parts[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4) return false;
    for (int i = 0; i < 4; ++i) {
        if (parts[i] > 255) return false;
        address[i] = static_cast<uint8_t>(parts[i]);
    }
    return true;
}

bool refuse(std::string& error, const std::string& why) {
    error = why;
    return false;
}

bool chooseTransport(ToolOptions& options, Transport transport, std::string& error) {
    if (options.transport != Transport::None) return refuse(error, "give only one of --serial, --network and --usb");
    options.transport = transport;
    return true;
}

bool needsValue(const std::vector<std::string>& arguments, size_t& i, std::string& value, std::string& error) {
    if (i + 1 >= arguments.size()) return refuse(error, arguments[i] + " needs a value");
    value = arguments[++i];
    return true;
}

bool parseSpeed(const std::string& text, int& speedIndex) {
    long speed = 0;
    if (!parseNumber(text, 1, 1000000, speed)) return false;
    for (int i = 0; i < kSpeedIndices; ++i) {
        if (BaudRateTable[i] == speed) speedIndex = i + 1;
    }
    return BaudRateTable[speedIndex - 1] == speed;
}

bool parseOne(const std::vector<std::string>& arguments, size_t& i, ToolOptions& options, std::string& error) {
    const std::string& option = arguments[i];
    std::string value;
    long number = 0;
    if (option == "--help" || option == "-h") {
        options.help = true;
        return true;
    }
    if (option == "--version") {
        options.version = true;
        return true;
    }
    if (option == "--usb") return chooseTransport(options, Transport::Usb, error);
    if (option == "--test-receipt") {
        options.testReceipt = true;
        return true;
    }
    if (option == "--status") {
        options.status = true;
        return true;
    }
    if (option == "--exit-status") {
        options.exitStatus = true;
        return true;
    }
    if (option == "--list") {
        options.list = true;
        return true;
    }
    if (option != "--serial" && option != "--speed" && option != "--network" && option != "--timeout" &&
        option != "--print" && option != "--library") {
        return refuse(error, "unknown option " + option);
    }
    if (!needsValue(arguments, i, value, error)) return false;
    if (option == "--serial") {
        if (!parseNumber(value, 1, 127, number)) return refuse(error, "--serial takes a COM port number from 1 to 127");
        options.comPort = static_cast<int>(number);
        return chooseTransport(options, Transport::Serial, error);
    }
    if (option == "--speed") {
        return parseSpeed(value, options.speedIndex) || refuse(error, "--speed takes 9600, 19200, 38400 or 115200");
    }
    if (option == "--network") {
        if (!parseAddress(value, options.address)) {
            return refuse(error, "--network takes an IPv4 address like 192.168.1.100");
        }
        return chooseTransport(options, Transport::Network, error);
    }
    if (option == "--timeout") {
        if (!parseNumber(value, 0, 600000, number)) return refuse(error, "--timeout takes milliseconds from 0 to 600000");
        options.timeoutMs = static_cast<int>(number);
        return true;
    }
    if (option == "--print") {
        options.printFile = value;
        return true;
    }
    options.library = value;
    return true;
}

}  // namespace

bool parseToolOptions(const std::vector<std::string>& arguments, ToolOptions& options, std::string& error) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (!parseOne(arguments, i, options, error)) return false;
        if (options.help) return true;
    }
    if (options.version) return true;
    if (options.list) {
        if (options.transport != Transport::None || !options.printFile.empty() || options.testReceipt) {
            return refuse(error, "--list takes no printer and prints nothing; add --status to ask each one");
        }
        return true;
    }
    if (options.exitStatus && !options.status) return refuse(error, "--exit-status needs --status");
    if (options.transport == Transport::None) {
        return refuse(error, "choose a printer with --serial N, --network ADDRESS or --usb");
    }
    if (!options.printFile.empty() && options.testReceipt) {
        return refuse(error, "give either --print FILE or --test-receipt, not both");
    }
    if (options.printFile.empty() && !options.testReceipt && !options.status) {
        return refuse(error, "nothing to do: add --print FILE, --test-receipt or --status");
    }
    return true;
}

const char* toolUsage() {
    return "Usage: printertool PRINTER ACTION... [--timeout MS] [--library DLL]\n"
           "       printertool --list [--status] [--timeout MS] [--library DLL]\n"
           "       printertool --version [--library DLL]\n"
           "Prints on a receipt printer and reports its state through the VellamoorJIO library.\n"
           "\n"
           "PRINTER, exactly one of:\n"
           "  --serial N          the printer on COM port N (1-127)\n"
           "  --speed BPS         serial speed: 9600 (default), 19200, 38400 or 115200\n"
           "  --network ADDRESS   the network printer at IPv4 ADDRESS (data on TCP 9100, status on 4000)\n"
           "  --usb               the first attached USB printer of a supported make\n"
           "ACTION, one or more of:\n"
           "  --print FILE        send FILE to the printer unchanged (raw ESC/POS)\n"
           "  --test-receipt      print a short built-in test receipt\n"
           "  --status            ask the printer for its state and report it in words\n"
           "  --exit-status       with --status: the exit code carries the state (table below)\n"
           "FINDING THE PRINTER:\n"
           "  --list              list the serial ports (with the COM number the library binds each\n"
           "                      to) and USB printers present, one per line, opening none of them;\n"
           "                      with --status, ask each one the library can open for its state\n"
           "OPTIONS:\n"
           "  --timeout MS        read, connect and network write time-out (default 1000)\n"
           "  --library DLL       the library to load (default: the DLL beside this program)\n"
           "  --version           show the version and the path of the library that loads\n"
           "  --help              show this text\n"
           "\n"
           "Exit codes: 0 done, 2 bad arguments, 3 library not loaded, 4 port did not open,\n"
           "5 printer did not take the whole job, 6 printer did not answer the status query.\n"
           "With --exit-status: 0 ready, 10 paper near end (ready, but warn), 11 offline,\n"
           "12 cover open, 13 paper end, 14 cutter error, 6 no answer; the gravest state wins\n"
           "in the order cover open, paper end, cutter error, offline, paper near end.\n";
}

std::string describeStatus(const std::vector<uint8_t>& s) {
    std::string words;
    auto add = [&words](bool flag, const char* word) {
        if (flag) words += std::string(words.empty() ? "" : ", ") + word;
    };
    add(s[kOfflinePosition] == 0, "online");
    add(s[kOfflinePosition] != 0, "offline");
    add(s[kCoverOpenPosition] != 0, "cover open");
    add(s[kAutoCutterErrorPosition] != 0, "auto-cutter error");
    add(s[kPaperEndPosition] != 0, "paper end");
    add(s[kPaperNearEndPosition] != 0, "paper near end");
    add(s[kPaperEndPosition] == 0 && s[kPaperNearEndPosition] == 0, "paper present");
    std::string reply;
    const size_t count = s[kReplyCountPosition];  // 1 to 128; 128 is stored as 0x80
    for (size_t i = 0; i < count && kReplyBytesPosition + i < s.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", s[kReplyBytesPosition + i]);
        reply += hex;
    }
    return words + " (reply" + reply + ")";
}

int statusExitCode(const std::vector<uint8_t>& s) {
    if (s[kCoverOpenPosition] != 0) return kExitCoverOpen;
    if (s[kPaperEndPosition] != 0) return kExitPaperEnd;
    if (s[kAutoCutterErrorPosition] != 0) return kExitCutterError;
    if (s[kOfflinePosition] != 0) return kExitOffline;
    if (s[kPaperNearEndPosition] != 0) return kExitPaperNearEnd;
    return kExitSuccess;
}

std::vector<uint8_t> testReceipt(const std::string& transportName) {
    std::vector<uint8_t> job;
    auto command = [&job](std::initializer_list<uint8_t> bytes) { job.insert(job.end(), bytes); };
    auto line = [&job](const std::string& text) {
        job.insert(job.end(), text.begin(), text.end());
        job.push_back('\n');
    };
    const uint8_t ESC = 0x1B, GS = 0x1D;
    command({ESC, '@'});          // initialise
    command({ESC, 'a', 1});       // centre
    command({ESC, 'E', 1});
    line("VELLAMOOR TEST RECEIPT");
    command({ESC, 'E', 0});
    line("printed over " + transportName);
    command({ESC, 'a', 0});       // left
    line("------------------------------------------");
    line("1 x Coffee                           2.50");
    line("2 x Croissant                        4.40");
    command({ESC, 'a', 2, ESC, 'E', 1});
    line("TOTAL 6.90");
    command({ESC, 'E', 0, ESC, 'a', 0});
    line("------------------------------------------");
    command({ESC, 'a', 1});
    line("Thank you!");
    command({ESC, 'd', 3});       // feed three lines
    command({GS, 'V', 66, 0});    // feed to the cutter and cut
    return job;
}

}  // namespace vellamoor
