#pragma once

namespace kvd {

// The program is a windowed one on Windows, so it has no console of its own.
// Started from a Command Prompt or PowerShell, its standard output and error
// then go to that console, unless they already go to a file or a pipe.
void UseParentConsole();

} // namespace kvd
