// Arbitrary command lines (the input split at NUL bytes, one argument each, after
// the program's name) to the command-line reader, as main() hands them over: on
// Linux the arguments' own bytes, UTF-8 or not. It never crashes; a refusal is
// one line of UTF-8 that names the program and does nothing; help and version
// come only when asked for; and a command line it accepts asks for something
// consistent: only options --help lists, each of them honoured, --port and
// --save-dir at most once, a port number or device path as given, the existing
// folder given, a window-less capture with its port and folder, a count and the
// keeping of unreadable blocks only without a window, and an export with a .png
// or .pdf file, at least one picture (one for a PNG) and a scale from 1 to 8, the
// files named as given, byte for byte.
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

using namespace kvd;
using Action = CommandLine::Action;
namespace fs = std::filesystem;

// A broken rule names itself on standard error, so the input saved beside it
// says at once what it broke.
#define Require(holds) ((holds) ? void() : Broken(#holds, __LINE__))

[[noreturn]] void Broken(const char* rule, int line) {
    std::fprintf(stderr, "broken at line %d: %s\n", line, rule);
    std::abort();
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

// The options --help lists, long and short, each with whether it takes a value.
std::map<std::string, bool> ListedInHelp() {
    const CommandLine help = ReadCommandLine({"kvd62-capture", "--help"});
    Require(help.action == Action::ShowHelp);
    std::map<std::string, bool> takesValue;
    // "  -h, --help", "  --port <port>": one option a line, two spaces in, before
    // its description (whose own lines, further in, may name options too).
    const QRegularExpression line(
        QStringLiteral(R"(^  (?:-([A-Za-z?]), )?--([a-z][a-z-]*)( <[^>]+>)?)"),
        QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch& match :
         line.globalMatch(QString::fromStdString(help.text))) {
        const bool value = !match.captured(3).isEmpty();
        takesValue["--" + match.captured(2).toStdString()] = value;
        if (!match.captured(1).isEmpty())
            takesValue["-" + match.captured(1).toStdString()] = value;
    }
    // The reader's contract with the README: these are the options it takes.
    for (const char* option : {"--help", "--version", "--port", "--save-dir", "--no-window",
                               "--count", "--keep-unreadable", "--export", "--scale", "--comment"})
        Require(takesValue.count(option) == 1);
    return takesValue;
}

const std::map<std::string, bool>& Listed() {
    static const std::map<std::string, bool> listed = ListedInHelp();
    return listed;
}

// What an accepted command line gave, read the way --help describes it: options
// until "--", each value-taking one with its value after '=' or as the next
// argument; short options may be run together ("-hv"). Anything not listed
// means the reader took an option it does not offer.
struct Given {
    std::map<std::string, std::vector<std::string>> values;
    std::set<std::string> flags;
    std::vector<std::string> files;

    bool has(const std::string& option) const {
        return flags.count(option) > 0 || values.count(option) > 0;
    }
    std::size_t times(const std::string& option) const {
        const auto found = values.find(option);
        return found == values.end() ? 0 : found->second.size();
    }
    const std::string& value(const std::string& option) const { return values.at(option).back(); }
};

Given ReadAsHelpSays(const std::vector<std::string>& arguments) {
    const std::map<std::string, bool>& listed = Listed();
    Given given;
    bool optionsEnd = false;
    for (std::size_t at = 1; at < arguments.size(); ++at) {
        const std::string& argument = arguments[at];
        if (optionsEnd || argument == "-" || !StartsWith(argument, "-")) {
            given.files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnd = true;
            continue;
        }
        if (StartsWith(argument, "--")) {
            const std::size_t equals = argument.find('=');
            const std::string name = argument.substr(0, equals);
            const auto found = listed.find(name);
            Require(found != listed.end()); // an option --help does not list
            if (!found->second) {
                Require(equals == std::string::npos); // a value after an option that takes none
                given.flags.insert(name);
            } else if (equals != std::string::npos) {
                given.values[name].push_back(argument.substr(equals + 1));
            } else {
                Require(at + 1 < arguments.size()); // a value that is missing
                given.values[name].push_back(arguments[++at]);
            }
            continue;
        }
        for (std::size_t letter = 1; letter < argument.size(); ++letter) {
            const auto found = listed.find(std::string("-") + argument[letter]);
            Require(found != listed.end() && !found->second);
            given.flags.insert(argument[letter] == 'h' ? "--help" : "--version");
        }
    }
    return given;
}

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong forms,
// no surrogates, nothing beyond U+10FFFF.
bool IsUtf8(const std::string& text) {
    static const unsigned long Least[] = {0, 0x80, 0x800, 0x10000};
    static const unsigned char LeadBits[] = {0x7F, 0x1F, 0x0F, 0x07};
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const int more = lead < 0x80   ? 0
                         : lead < 0xC0 ? -1
                         : lead < 0xE0 ? 1
                         : lead < 0xF0 ? 2
                         : lead < 0xF8 ? 3
                                       : -1;
        if (more < 0 || text.size() - at <= std::size_t(more))
            return false;
        unsigned long code = lead & LeadBits[more];
        for (int next = 1; next <= more; ++next) {
            const auto byte = static_cast<unsigned char>(text[at + next]);
            if ((byte & 0xC0) != 0x80)
                return false;
            code = code << 6 | (byte & 0x3F);
        }
        if (code < Least[more] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        at += 1 + more;
    }
    return true;
}

bool IsOneLine(const std::string& text) {
    return !text.empty() && text.find_first_of("\n\r") == std::string::npos;
}

void CheckRefusal(const CommandLine& command) {
    // One line of text that names the program; the program adds the line feed
    // when it prints it.
    Require(IsOneLine(command.text));
    Require(IsUtf8(command.text));
    Require(StartsWith(command.text, "kvd62-capture: "));
    Require(command.text.size() > std::string("kvd62-capture: ").size());
    // A refused command line does nothing.
    const StartOptions& options = command.options;
    Require(!options.port && !options.saveFolder && !options.file && !options.noWindow &&
            options.count == 0 && !options.keepUnreadable && !options.exportTo);
}

// A device path, or a port number from 1 to 32767 in digits alone (leading
// zeros and all).
bool IsPortNumberOrDevice(const std::string& port) {
    if (StartsWith(port, "/"))
        return true;
    if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long number = 0;
    for (const char digit : port)
        number = std::min(number * 10 + (digit - '0'), 100000L);
    return number >= 1 && number <= 32767;
}

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The file named, as the window finds it: from the folder it started in, under
// the name's own bytes.
void CheckFileToShow(const std::string& file, const std::string& given) {
    Require(fs::path(file).is_absolute());
    const fs::path name = fs::path(given).filename();
    if (!name.empty() && name != "." && name != "..")
        Require(fs::path(file).filename() == name);
}

void CheckExport(const Given& given, const StartOptions& options) {
    const ExportOrder& order = *options.exportTo;
    Require(given.has("--export"));
    // Exporting captures nothing and opens no window.
    Require(!options.port && !options.saveFolder && !options.noWindow && !options.file);
    Require(!given.has("--port") && !given.has("--save-dir") && !given.has("--no-window"));
    // A count and kept blocks are for capture without a window, which this is not.
    Require(!given.has("--count") && !given.has("--keep-unreadable"));
    const std::string& out = given.value("--export");
    Require(order.out.string() == out);
    std::string suffix = out.substr(out.size() < 4 ? 0 : out.size() - 4);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    Require(suffix == ".pdf" || suffix == ".png");
    Require(order.pdf == (suffix == ".pdf"));
    // The pictures, in the order given, at least one; a PNG holds exactly one.
    Require(!order.files.empty() && order.files.size() == given.files.size());
    for (std::size_t at = 0; at < order.files.size(); ++at)
        Require(order.files[at].string() == given.files[at]);
    Require(order.pdf || order.files.size() == 1);
    Require(order.scale >= 1 && order.scale <= 8);
    if (given.has("--scale")) {
        Require(!order.pdf);
        const std::string& scale = given.value("--scale");
        Require(scale.find(char('0' + order.scale)) != std::string::npos);
    }
    if (given.has("--comment")) {
        Require(order.pdf);
        Require(order.comment == given.value("--comment") ||
                (!IsUtf8(given.value("--comment")) && IsUtf8(order.comment)));
    } else {
        Require(order.comment.empty());
    }
}

void CheckRun(const Given& given, const StartOptions& options) {
    // Each option given is honoured, else the command line is refused.
    Require(!given.has("--scale") && !given.has("--comment"));
    Require(given.times("--port") <= 1 && given.times("--save-dir") <= 1);
    Require(options.port.has_value() == given.has("--port"));
    if (options.port) {
        // As given, without the blanks around it.
        const std::string& port = *options.port;
        Require(IsPortNumberOrDevice(port));
        Require(!IsBlank(port.front()) && !IsBlank(port.back()));
        Require(given.value("--port").find(port) != std::string::npos);
    }
    Require(options.saveFolder.has_value() == given.has("--save-dir"));
    if (options.saveFolder) {
        // The folder given, named from the root.
        const fs::path& folder = *options.saveFolder;
        Require(folder.is_absolute() && (folder.has_filename() || folder == folder.root_path()));
        std::error_code error;
        Require(fs::is_directory(folder, error));
        Require(fs::equivalent(folder, fs::path(given.value("--save-dir")), error));
    }
    Require(options.noWindow == given.has("--no-window"));
    if (options.noWindow)
        Require(options.port && options.saveFolder);
    // A count and kept blocks are for capture without a window.
    Require(options.count >= 0);
    Require((options.count > 0) == given.has("--count"));
    Require(options.keepUnreadable == given.has("--keep-unreadable"));
    if (options.count > 0 || options.keepUnreadable)
        Require(options.noWindow);
    // Of several files the window shows the first.
    Require(options.file.has_value() == !given.files.empty());
    if (options.file)
        CheckFileToShow(*options.file, given.files.front());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // As main() hands them over on Linux: the program, then each argument's bytes.
    std::vector<std::string> arguments{"kvd62-capture"};
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t start = 0;
    for (std::size_t at = 0; at <= size; ++at)
        if (at == size || data[at] == 0) {
            if (at > start || at < size)
                arguments.emplace_back(text + start, at - start);
            start = at + 1;
        }

    const CommandLine command = ReadCommandLine(arguments);
    if (command.action == Action::Refuse) {
        CheckRefusal(command);
        return 0;
    }
    const Given given = ReadAsHelpSays(arguments);
    const bool help = given.has("--help"), version = given.has("--version");
    switch (command.action) {
    case Action::ShowHelp:
        Require(help);
        Require(StartsWith(command.text, "Usage: kvd62-capture ") && command.text.back() == '\n');
        break;
    case Action::ShowVersion:
        Require(version && !help);
        Require(StartsWith(command.text, "kvd62-capture ") && command.text.back() == '\n' &&
                IsOneLine(command.text.substr(0, command.text.size() - 1)));
        break;
    default:
        Require(!help && !version);
        if (command.options.exportTo)
            CheckExport(given, command.options);
        else
            CheckRun(given, command.options);
        break;
    }
    return 0;
}
