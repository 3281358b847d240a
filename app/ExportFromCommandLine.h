#pragma once

#include "app/CommandLine.h"

namespace kvd {

// --export: reads the files, writes the PNG or the PDF, and says on standard
// error which file could not be read or written, and why. Needs no display and
// creates no window. Returns the exit status: 0 when written, 1 when not.
int RunExport(int argc, char* argv[], const ExportOrder& order);

} // namespace kvd
