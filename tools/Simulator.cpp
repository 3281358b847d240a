// kvd62-simulator: stands in for a KVD62 instrument when none is at hand. It
// opens a pseudo-terminal (or a serial device given by path; on Windows, a COM
// port such as one end of a virtual null-modem pair), says which device
// to type into kvd62-capture's "Serial port" box, and sends the instrument's
// screenshots over it at the instrument's pace: one each time Enter is pressed,
// or one every few seconds.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

#include "tools/InstrumentLine.h"
#include "tools/SimulatedScreen.h"

namespace {

struct Options {
    std::string device;    // empty: a new pseudo-terminal
    double every = 0;      // seconds between screenshots; 0: on Enter
    std::size_t noise = 0; // bytes of line noise before each screenshot
    int count = 0;         // screenshots to send before ending; 0: no limit
    std::string copyTo;    // a folder to keep a copy of each screenshot in
    int unreadable = 0;    // the screenshot sent as a block that is no bitmap; 0: none
};

const char* const Usage =
    "Usage: kvd62-simulator [OPTION]...\n"
    "Stands in for a KVD62 instrument: sends its screenshots (2750-byte 192 x 112\n"
    "bitmaps) at 57600 bit/s on a new pseudo-terminal, whose path it prints first,\n"
    "one each time Enter is pressed.\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "  -v, --version    show the version and exit\n"
    "  --device PATH    send on this serial device (on Windows, a COM port: COM7)\n"
    "                   instead of a new pseudo-terminal\n"
    "  --every SECONDS  send one every SECONDS seconds (more than 0) instead of one\n"
    "                   per Enter\n"
    "  --noise BYTES    put this many bytes of line noise before each screenshot\n"
    "  --count N        end after N screenshots\n"
    "  --copy-to DIR    also write each screenshot sent as DIR/screenshot-N.bmp\n"
    "  --unreadable N   send screenshot N (the first is 1) as a block that starts\n"
    "                   like one but is not a readable bitmap\n";

// The numbers an option takes, as its refusal says them.
std::string RangeOf(const std::string& name) {
    if (name == "--every")
        return "of seconds above 0 and up to 1000000";
    if (name == "--unreadable")
        return "from 1 to 1000000";
    return "from 0 to 1000000";
}

// A one-line reason for a command line that is refused; empty when it is read.
std::string ReadOptions(int argc, char* argv[], Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            std::cout << Usage;
            std::exit(0);
        }
        if (name == "--version" || name == "-v") {
            std::cout << "kvd62-simulator " KVD_VERSION "\n";
            std::exit(0);
        }
        const bool known = name == "--device" || name == "--copy-to" || name == "--every" ||
                           name == "--noise" || name == "--count" || name == "--unreadable";
        if (!known)
            return "unknown option '" + name + "'";
        if (i + 1 >= argc)
            return name + " needs a value";
        const std::string value = argv[++i];
        if (name == "--device" || name == "--copy-to") {
            (name == "--device" ? options.device : options.copyTo) = value;
            continue;
        }
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(number >= 0) || number > 1e6)
            return name + " \"" + value + "\" is not a number " + RangeOf(name);
        // Every screenshot at once would be no interval: leave --every out to send on
        // Enter.
        if (name == "--every" && number == 0)
            return "--every 0 is no interval; give seconds above 0, or leave --every out to "
                   "send one per Enter";
        // Screenshots are counted from 1: screenshot 0 would never come.
        if (name == "--unreadable" && number < 1)
            return name + " \"" + value + "\" is not a number " + RangeOf(name);
        if (name == "--every")
            options.every = number;
        else if (name == "--noise")
            options.noise = std::size_t(number);
        else if (name == "--count")
            options.count = int(number);
        else
            options.unreadable = int(number);
    }
    return {};
}

// Waits for the next screenshot's turn: Enter, or the interval; false at the
// end of the input.
bool NextTurn(const Options& options, int sent) {
    if (options.count > 0 && sent >= options.count)
        return false;
    if (options.every > 0) {
        if (sent > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(options.every));
        return true;
    }
    std::string line;
    return bool(std::getline(std::cin, line));
}

} // namespace

int main(int argc, char* argv[]) {
    Options options;
    if (const std::string refused = ReadOptions(argc, argv, options); !refused.empty()) {
        std::cerr << "kvd62-simulator: " << refused << " (see kvd62-simulator --help)\n";
        return 2;
    }
    if (!options.copyTo.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.copyTo, error)) {
            std::cerr << "kvd62-simulator: --copy-to \"" << options.copyTo
                      << "\" is not an existing folder; make it first, or name another\n";
            return 2;
        }
    }
    kvd::InstrumentLine line;
    if (!line.open(options.device)) {
        std::cerr << "kvd62-simulator: " << line.error() << "\n";
        return 1;
    }
    std::cout << line.deviceName() << std::endl;
    std::cerr << "Type " << line.deviceName() << " into \"Serial port\" in kvd62-capture, then "
              << (options.every > 0 ? "wait for the screenshots."
                                    : "press Enter here for each screenshot.")
              << std::endl;
    for (int sent = 0; NextTurn(options, sent); ++sent) {
        const std::string screenshot = sent + 1 == options.unreadable
                                           ? kvd::PlainFrame('\x7f')
                                           : kvd::SimulatedScreenshot(sent + 1);
        if (!options.copyTo.empty()) {
            const std::string copy =
                options.copyTo + "/screenshot-" + std::to_string(sent + 1) + ".bmp";
            if (!(std::ofstream(copy, std::ios::binary) << screenshot).flush()) {
                std::cerr << "kvd62-simulator: " << copy
                          << " could not be written; check the folder --copy-to names\n";
                return 1;
            }
        }
        if (!line.send(kvd::LineNoise(options.noise, unsigned(sent)) + screenshot)) {
            std::cerr << "kvd62-simulator: " << line.error() << "\n";
            return 1;
        }
        std::cerr << "Sent screenshot " << sent + 1 << std::endl;
    }
    line.finish();
    return 0;
}
