#pragma once

// Serial devices as this system names them: a long one, the shorter one typed
// on the way to it, and one that no test port has.
namespace kvd::test {
#ifdef _WIN32
constexpr const char* LongDevice = "COM10";
constexpr const char* ShortDevice = "COM1";
constexpr const char* MissingDevice = "COM33";
#else
constexpr const char* LongDevice = "/dev/ttyS10";
constexpr const char* ShortDevice = "/dev/ttyS1";
constexpr const char* MissingDevice = "/dev/ttyUSB3";
// The names users are told to type, since they survive re-plugging: 64 bytes,
// and one with a space and letters beyond ASCII, as a udev rule may name it.
constexpr const char* ByIdDevice = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
constexpr const char* NamedDevice = "/dev/serial/by-id/usb-Prolific_Prüfplatz 3-if00-port0";
#endif
} // namespace kvd::test
