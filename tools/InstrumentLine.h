#pragma once

#include <string>
#include <string_view>

namespace kvd {

// The instrument's end of the serial line, for the simulator: a serial device
// set to 57600 bit/s, 8 data bits, no parity, 1 stop bit, or, where no device is
// given, a new pseudo-terminal whose other end kvd62-capture opens (not on
// Windows, which has none: there a COM port is given, such as one end of a
// virtual null-modem pair).
class InstrumentLine {
public:
    InstrumentLine() = default;
    ~InstrumentLine();
    InstrumentLine(const InstrumentLine&) = delete;
    InstrumentLine& operator=(const InstrumentLine&) = delete;

    // Opens `device`, or a new pseudo-terminal when it is empty; false with the
    // reason in error() when that fails.
    bool open(const std::string& device);
    // The device to give kvd62-capture.
    const std::string& deviceName() const { return deviceName_; }
    const std::string& error() const { return error_; }

    // Sends the bytes at the line's pace; false when the line stops taking them.
    bool send(std::string_view bytes);
    // Waits until all is sent and the program has had time to read it, then
    // hangs up (closing a pseudo-terminal drops what is unread).
    void finish();

private:
    std::string deviceName_;
    std::string error_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace kvd
