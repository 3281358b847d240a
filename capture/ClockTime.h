#pragma once

#include <ctime>
#include <string>

namespace kvd {

// The local time of a moment, as file names and reports give it.
std::tm LocalTime(std::time_t when);
// The clock time of a moment, HH:MM:SS, as reports and the history give it.
std::string ClockTime(std::time_t when);

} // namespace kvd
