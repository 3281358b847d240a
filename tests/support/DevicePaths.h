#pragma once

// Serial devices as this system names them, for the tests that type or give
// one: a long one, the shorter one it passes through as it is typed, and one
// that no test port has.
namespace kvd::test {
#ifdef _WIN32
constexpr const char* LongDevice = "COM10";
constexpr const char* ShortDevice = "COM1";
constexpr const char* MissingDevice = "COM33";
#else
constexpr const char* LongDevice = "/dev/ttyS10";
constexpr const char* ShortDevice = "/dev/ttyS1";
constexpr const char* MissingDevice = "/dev/ttyUSB3";
#endif
} // namespace kvd::test
