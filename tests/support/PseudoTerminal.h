#pragma once

#include <string>

namespace kvd::test {

// A pseudo-terminal pair standing in for the instrument's cable: the program
// opens the device path, the test writes the instrument's bytes into the other
// end at the line's real pace.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return instrument_ >= 0; }
    // The device the program opens ("/dev/pts/7").
    const std::string& devicePath() const { return device_; }
    // A descriptor of the program's end, for reading back its line settings.
    int programEnd() const { return program_; }

    // Writes the bytes at the line's pace (ten bits a byte) in small bursts; false
    // when the far end refused them or stopped taking them for seconds.
    bool send(const std::string& bytes, int bitsPerSecond = 57600);
    // How many bytes sent wait in the system for the program to take them.
    int unread() const;
    // Unplugs the cable: closes the instrument's end.
    void unplug();

private:
    int instrument_ = -1;
    int program_ = -1;
    std::string device_;
};

} // namespace kvd::test
