#pragma once

namespace kvd {

// The program is a windowed one on Windows, so it has no console of its own.
// Started from a Command Prompt or PowerShell, its standard output and error
// then go to that console, unless they already go to a file or a pipe. The
// prompt does not wait for a windowed program, though: kvd62-capture.com, the
// console twin, is the one a Command Prompt runs, waits for and reads the exit
// status of.
void UseParentConsole();

} // namespace kvd
