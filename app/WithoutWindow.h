#pragma once

#include "app/CommandLine.h"

namespace kvd {

// Capture without a window (--no-window): needs no display, and creates no
// window. Returns the exit status: 0 when it ended as asked (see ConsoleStop, or
// --count screenshots saved), 1 when the port could not be opened.
int RunWithoutWindow(int argc, char* argv[], const StartOptions& options);

} // namespace kvd
