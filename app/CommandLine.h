#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kvd {

// Pictures to export and where (--export): one PNG, or one PDF of them all.
struct ExportOrder {
    std::filesystem::path out;
    bool pdf = false;
    std::vector<std::filesystem::path> files;
    int scale = 0;
    std::string comment;
};

// What the program was asked to do at start, beyond what the window does anyway.
struct StartOptions {
    // Opened once the start-up probe is done, as if typed into "Serial port".
    std::optional<std::string> port;
    // Every arriving screenshot is saved here (an absolute path).
    std::optional<std::filesystem::path> saveFolder;
    // A picture file to show at start, as "Load image" shows it.
    std::optional<std::string> file;
    // Capture without a window, into saveFolder from port, until stopped or
    // `count` screenshots (0: no end) are saved.
    bool noWindow = false;
    int count = 0;
    // Without a window: unreadable blocks are kept as files too.
    bool keepUnreadable = false;
    // Export these files, then end, without a window.
    std::optional<ExportOrder> exportTo;
};

struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };
    Action action = Action::Run;
    StartOptions options;
    // The help or version text, or the one-line reason a command line is refused.
    std::string text;
};

// Reads the program's arguments (the first is the program itself), as the system
// hands them over (CommandLineArguments): on Linux bytes, so that a file or
// folder named in another encoding than UTF-8 (a Latin-1 name on an old USB
// stick) is kept byte for byte. Nothing here needs the application object, so a
// refused command line never opens a window.
CommandLine ReadCommandLine(const std::vector<std::string>& arguments);

// Whether what the program was asked to do writes to a console: help, version,
// a refused command line, an export and the capture without a window do; the
// window does not. On Windows only these attach the windowed program to the
// console it was started from: Windows ends every program attached to a console
// when that console is closed, so the window keeps clear of it.
bool WritesToConsole(const CommandLine& command);

} // namespace kvd
