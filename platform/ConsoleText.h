#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kvd {

// Writes UTF-8 text to standard output or error. On Windows a console shows it
// in UTF-16 (through WriteConsoleW: the console's code page cannot hold every
// folder name), and a file or a pipe gets the UTF-8 bytes; elsewhere the bytes
// go as they are.
void WriteText(std::FILE* stream, const std::string& utf8);

// The command line's arguments in UTF-8. On Windows they come from the UTF-16
// command line, since main()'s argv is in the ANSI code page and a folder named
// beyond it would arrive with '?' in its name.
std::vector<std::string> CommandLineArguments(int argc, char* argv[]);

} // namespace kvd
