#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <system_error>
#include <variant>

#include "capture/PortMessages.h"
#include "capture/SelectorText.h"
#include "flows/ExportFlow.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace {

constexpr const char* ProgramName = "kvd62-capture";

const QCommandLineOption HelpOption({QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("Show this help and exit."));
const QCommandLineOption VersionOption({QStringLiteral("v"), QStringLiteral("version")},
                                       QStringLiteral("Show the version and exit."));

const QCommandLineOption PortOption(
    QStringLiteral("port"),
    QStringLiteral("Start on this serial port: a port number (1, 2, ...) or a device path "
                   "(/dev/ttyUSB0; on Windows COM7), as if typed into \"Serial port\"."),
    QStringLiteral("port"));

const QCommandLineOption
    SaveDirOption(QStringLiteral("save-dir"),
                  QStringLiteral("Save every screenshot that arrives into this existing folder, as "
                                 "kvd62-YYYYMMDD-HHMMSS-NNN.bmp (NNN counts 001, 002 ... within a "
                                 "second, so that names sort in arrival order), without asking."),
                  QStringLiteral("folder"));

const QCommandLineOption NoWindowOption(
    QStringLiteral("no-window"),
    QStringLiteral("Capture without a window (no display needed): save every screenshot into "
                   "--save-dir, print each file's path, and go on until Ctrl+C or --count. Needs "
                   "--port and --save-dir."));

const QCommandLineOption CountOption(QStringLiteral("count"),
                                     QStringLiteral("With --no-window: end after N screenshots."),
                                     QStringLiteral("N"));

const QCommandLineOption KeepUnreadableOption(
    QStringLiteral("keep-unreadable"),
    QStringLiteral("With --no-window: keep each block that starts like a screenshot but is not a "
                   "readable bitmap, as kvd62-YYYYMMDD-HHMMSS-NNN-unreadable.bin."));

const QCommandLineOption ExportOption(
    QStringLiteral("export"),
    QStringLiteral("Write the picture files given as one PNG picture (OUT ending in .png: one "
                   "file, each pixel enlarged to a block of --scale pixels across) or as one PDF "
                   "document (OUT ending in .pdf: every file in the order given, with its time "
                   "and --comment), then end. Needs no display; an existing OUT is replaced."),
    QStringLiteral("OUT"));

const QCommandLineOption
    ScaleOption(QStringLiteral("scale"),
                QStringLiteral("With --export OUT.png: the scale, 1 to 8 (default 4)."),
                QStringLiteral("N"));

const QCommandLineOption
    CommentOption(QStringLiteral("comment"),
                  QStringLiteral("With --export OUT.pdf: a comment printed under each picture."),
                  QStringLiteral("TEXT"));

namespace fs = std::filesystem;

// An argument that is not UTF-8 goes through the parser with each byte from 0x80
// up as a lone low surrogate (U+DC80 to U+DCFF), which no UTF-8 text decodes to,
// and comes out of it byte for byte (ArgumentBytes). Said in a message, such a
// byte shows as a replacement character.
QString ArgumentText(const std::string& bytes) {
    QString text = QString::fromStdString(bytes);
    if (text.toStdString() == bytes)
        return text;
    text.clear();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text += value < 0x80 ? QChar(value) : QChar(char16_t(0xDC00 + value));
    }
    return text;
}

// The bytes an argument, or the value of an option in it, stands for. In UTF-8
// text the first character beyond ASCII is never a lone low surrogate.
std::string ArgumentBytes(const QString& text) {
    const auto beyondAscii =
        std::find_if(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x80; });
    if (beyondAscii == text.end() || !beyondAscii->isLowSurrogate())
        return text.toStdString();
    std::string bytes;
    for (const QChar c : text)
        bytes += static_cast<char>(c.unicode() < 0x80 ? c.unicode() : c.unicode() - 0xDC00);
    return bytes;
}

// A file or folder named on the command line, as the system names it.
fs::path PathFromArgument(const QString& text) {
#ifdef _WIN32
    return PathFromUtf8(ArgumentBytes(text)); // given in UTF-8 there
#else
    return fs::path(ArgumentBytes(text));
#endif
}

// The folder named, as an absolute path as the system writes it (C:\shots on
// Windows, for the paths printed); nothing when it is no existing folder.
std::optional<fs::path> ExistingFolder(const QString& text) {
#ifdef _WIN32
    const QFileInfo folder(text);
    if (!folder.isDir())
        return std::nullopt;
    return PathFromUtf8(QDir::toNativeSeparators(folder.absoluteFilePath()).toStdString());
#else
    const fs::path given = PathFromArgument(text);
    std::error_code error;
    if (!fs::is_directory(given, error))
        return std::nullopt;
    fs::path folder = fs::absolute(given, error);
    // ".." is kept for the save to take as the system does: after a link, it is
    // the folder above where the link leads, not the link's own folder.
    if (std::find(folder.begin(), folder.end(), "..") == folder.end())
        folder = folder.lexically_normal();
    return folder.has_filename() ? folder : folder.parent_path(); // "shots/" is "shots"
#endif
}

// The file named, as an absolute path, in the UTF-8 paths travel in (on Linux,
// the name's own bytes).
std::string AbsoluteFile(const QString& text) {
#ifdef _WIN32
    return QFileInfo(text).absoluteFilePath().toStdString();
#else
    std::error_code error;
    return fs::absolute(PathFromArgument(text), error).lexically_normal().string();
#endif
}

// One line, whatever the arguments it repeats hold: a line break or another
// control character in one shows as "?".
CommandLine Refused(QString reason) {
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    for (QChar& c : reason)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    return {CommandLine::Action::Refuse,
            {},
            std::string(ProgramName) + ": " + reason.toStdString() + " (see " + ProgramName +
                " --help)"};
}

// Without the application object (not made yet) Qt cannot name the program.
std::string HelpText(const QCommandLineParser& parser) {
    QString text =
        parser.helpText().replace(QStringLiteral("<executable_name>"), QLatin1String(ProgramName));
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    return text.toStdString();
}

void SetUp(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Takes screenshots from a KVD62 handheld instrument over its serial "
                       "cable, shows them, saves them as bitmap files and prints them."));
    // Qt's own --help-all would list Qt's options, which this command line does
    // not take.
    parser.addOption(HelpOption);
    parser.addOption(VersionOption);
    parser.addOption(PortOption);
    parser.addOption(SaveDirOption);
    parser.addOption(NoWindowOption);
    parser.addOption(CountOption);
    parser.addOption(KeepUnreadableOption);
    parser.addOption(ExportOption);
    parser.addOption(ScaleOption);
    parser.addOption(CommentOption);
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("A picture file to show, as \"Load image\" does (of several, the first); "
                       "with --export, the files to export."),
        QStringLiteral("[file...]"));
}

bool EndsWith(const QString& path, const char* suffix) {
    return path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
}

// --export with its files, --scale and --comment; a refusal when they do not go
// together.
std::variant<ExportOrder, CommandLine> ReadExport(const QCommandLineParser& parser) {
    ExportOrder order;
    const QString out = parser.value(ExportOption);
    order.out = PathFromArgument(out);
    order.pdf = EndsWith(out, ".pdf");
    if (!order.pdf && !EndsWith(out, ".png"))
        return Refused(
            QStringLiteral("--export \"%1\" names neither a .png nor a .pdf file").arg(out));
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty() || (!order.pdf && files.size() > 1))
        return Refused(order.pdf ? QStringLiteral("--export OUT.pdf needs the picture files to put "
                                                  "in it")
                                 : QStringLiteral("--export OUT.png needs one picture file"));
    for (const QString& file : files)
        order.files.push_back(PathFromArgument(file));
    if (parser.isSet(ScaleOption) && order.pdf)
        return Refused(QStringLiteral("--scale goes with --export OUT.png"));
    if (parser.isSet(CommentOption) && !order.pdf)
        return Refused(QStringLiteral("--comment goes with --export OUT.pdf"));
    order.scale = DefaultScale;
    if (parser.isSet(ScaleOption)) {
        const std::optional<int> scale = ReadScale(parser.value(ScaleOption).toStdString());
        if (!scale)
            return Refused(QStringLiteral("--scale \"%1\" is not a whole number from 1 to 8")
                               .arg(parser.value(ScaleOption)));
        order.scale = *scale;
    }
    order.comment = parser.value(CommentOption).toStdString();
    return order;
}

} // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& arguments) {
    QStringList texts;
    for (const std::string& argument : arguments)
        texts << ArgumentText(argument);
    // Qt's parser takes "--v" for "-v"; only the names --help lists are taken.
    for (const QString& text : texts.mid(1)) {
        if (text == QLatin1String("--"))
            break;
        if (text.startsWith(QLatin1String("--")) &&
            text.section(QLatin1Char('='), 0, 0).size() == 3)
            return Refused(QStringLiteral("Unknown option '%1'").arg(text.mid(2)));
    }
    QCommandLineParser parser;
    SetUp(parser);
    if (!parser.parse(texts))
        return Refused(parser.errorText());
    // Every option is taken once: a second --export, --scale or --comment would
    // otherwise quietly win over the first.
    const QStringList given = parser.optionNames();
    for (const QCommandLineOption* option :
         {&HelpOption, &VersionOption, &PortOption, &SaveDirOption, &NoWindowOption, &CountOption,
          &KeepUnreadableOption, &ExportOption, &ScaleOption, &CommentOption}) {
        const auto times = std::count_if(given.begin(), given.end(), [option](const QString& name) {
            return option->names().contains(name);
        });
        if (times > 1)
            return Refused(QStringLiteral("--%1 is given %2 times; give it at most once")
                               .arg(option->names().constLast())
                               .arg(times));
    }
    if (parser.isSet(HelpOption))
        return {CommandLine::Action::ShowHelp, {}, HelpText(parser)};
    if (parser.isSet(VersionOption))
        return {CommandLine::Action::ShowVersion,
                {},
                std::string(ProgramName) + " " + KVD_VERSION + "\n"};

    CommandLine command;
    if (parser.isSet(ExportOption)) {
        if (parser.isSet(PortOption) || parser.isSet(SaveDirOption) ||
            parser.isSet(NoWindowOption) || parser.isSet(CountOption) ||
            parser.isSet(KeepUnreadableOption))
            return Refused(QStringLiteral("--export takes no --port, --save-dir, --no-window, "
                                          "--count or --keep-unreadable"));
        std::variant<ExportOrder, CommandLine> order = ReadExport(parser);
        if (auto* refused = std::get_if<CommandLine>(&order))
            return *refused;
        command.options.exportTo = std::get<ExportOrder>(std::move(order));
        return command;
    }
    if (parser.isSet(ScaleOption) || parser.isSet(CommentOption))
        return Refused(QStringLiteral("--scale and --comment go with --export"));
    if (parser.isSet(PortOption)) {
        const std::string port = ArgumentBytes(parser.value(PortOption).trimmed());
        if (!IsGivenPort(port))
            return Refused(QStringLiteral("--port \"%1\" is neither a port number (1, 2, ...) "
                                          "nor a device path such as %2")
                               .arg(parser.value(PortOption), QString::fromLatin1(ExampleDevice)));
        command.options.port = port;
    }
    if (parser.isSet(SaveDirOption)) {
        command.options.saveFolder = ExistingFolder(parser.value(SaveDirOption));
        if (!command.options.saveFolder)
            return Refused(QStringLiteral("--save-dir \"%1\" is not an existing folder")
                               .arg(parser.value(SaveDirOption)));
    }
    if (parser.isSet(NoWindowOption)) {
        if (!command.options.port || !command.options.saveFolder)
            return Refused(QStringLiteral("--no-window needs --port and --save-dir"));
        command.options.noWindow = true;
    } else if (parser.isSet(CountOption) || parser.isSet(KeepUnreadableOption)) {
        return Refused(QStringLiteral("--count and --keep-unreadable go with --no-window"));
    }
    if (parser.isSet(CountOption)) {
        bool whole = false;
        const int count = parser.value(CountOption).toInt(&whole);
        if (!whole || count < 1)
            return Refused(
                QStringLiteral("--count \"%1\" is not a number of screenshots (1, 2, ...)")
                    .arg(parser.value(CountOption)));
        command.options.count = count;
    }
    command.options.keepUnreadable = parser.isSet(KeepUnreadableOption);
    // A file manager's "Open with" may hand over several files; the window shows
    // one picture, the first.
    const QStringList files = parser.positionalArguments();
    if (command.options.noWindow && !files.isEmpty())
        return Refused(QStringLiteral("--no-window shows no file, so \"%1\" has no place there")
                           .arg(files.front()));
    if (!files.isEmpty() && files.front().isEmpty())
        return Refused(QStringLiteral("the file to show is named \"\", which is no file"));
    if (!files.isEmpty())
        command.options.file = AbsoluteFile(files.front());
    return command;
}

bool WritesToConsole(const CommandLine& command) {
    return command.action != CommandLine::Action::Run || command.options.exportTo ||
           command.options.noWindow;
}

} // namespace kvd
