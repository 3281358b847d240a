#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvd {

// True when device path a comes before b in natural order: runs of digits compare
// by their value, so /dev/ttyS2 comes before /dev/ttyS10.
bool NaturallyBefore(std::string_view a, std::string_view b);

// The device of port n (1 for the first) among the system's serial devices taken
// in natural order; empty when there are fewer than n.
std::string NthDevice(std::vector<std::string> devices, int n);

} // namespace kvd
