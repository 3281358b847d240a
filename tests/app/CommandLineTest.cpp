#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <set>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/CommandLine.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/DevicePaths.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using Action = CommandLine::Action;

namespace {

std::set<QString> OptionsNamedIn(const QString& text) {
    std::set<QString> options;
    const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
    for (const QRegularExpressionMatch& match : option.globalMatch(text))
        options.insert(match.captured());
    return options;
}

// The README's "At the bench" section, up to the next heading of its level.
QString AtTheBenchSection() {
    QFile readme(QStringLiteral(KVD_README));
    const QRegularExpression section(QStringLiteral("\n## At the bench\n.*?(?=\n## |$)"),
                                     QRegularExpression::DotMatchesEverythingOption);
    return readme.open(QIODevice::ReadOnly)
               ? section.match(QString::fromUtf8(readme.readAll())).captured()
               : QString();
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    // The arguments as the system hands them over (on Windows in UTF-8). `folder`
    // at the start of one stands for an existing folder of the test's own, and
    // what follows it for a folder made in it under that name. `file`: the file
    // shown, found from the folder the program was started in.
    void readsWhatTheProgramIsAskedToDo_data() {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("saveFolder");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QByteArray>("file");
        const auto runs = [](const char* name, const QByteArrayList& arguments,
                             const QString& port = {}, bool saveFolder = false,
                             const QByteArray& file = {}) {
            QTest::newRow(name) << arguments << int(Action::Run) << port << saveFolder << ""
                                << file;
        };
        const auto refused = [](const char* name, const QByteArrayList& arguments,
                                const QString& refusal) {
            QTest::newRow(name) << arguments << int(Action::Refuse) << "" << false << refusal
                                << QByteArray();
        };

        runs("nothing: start as always", {});
        runs("a port number", {"--port", "2"}, "2");
        runs("a device path", {QByteArray("--port=") + test::MissingDevice}, test::MissingDevice);
        runs("a save folder", {"--save-dir", "folder"}, "", true);
        QTest::newRow("version") << QByteArrayList{"-v"} << int(Action::ShowVersion) << "" << false
                                 << "" << QByteArray();
        refused("an unknown option", {"--baud", "9600"}, "Unknown option 'baud'");
        refused("Qt's own options are not taken", {"--help-all"}, "Unknown option");
        refused("a port with no value", {"--port"}, "Missing value after '--port'");
        refused("a port that is a word", {"--port", "one"}, "--port \"one\" is neither");
        refused("port 0", {"--port", "0"}, "--port \"0\" is neither");
        refused("a typo in the number", {"--port", "1 2"}, "--port \"1 2\"");
#ifndef _WIN32
        // On Linux a name is bytes: one in Latin-1, as on an old USB stick, is kept.
        runs("a save folder named in Latin-1", {"--save-dir", QByteArray("folder/Pr\xfc") + "fung"},
             "", true);
#endif
        refused("a save folder that does not exist", {"--save-dir", "/nonexistent/shots"},
                "--save-dir \"/nonexistent/shots\" is not an existing folder");
        runs("without a window",
             {"--no-window", "--port", "2", "--save-dir", "folder", "--count", "3",
              "--keep-unreadable"},
             "2", true);
        refused("without a window, no folder", {"--no-window", "--port", "2"},
                "--no-window needs --port and --save-dir");
        refused("a count in the window", {"--count", "3"}, "go with --no-window");
        refused("a count of none",
                {"--no-window", "--port", "2", "--save-dir", "folder", "--count", "0"},
                "--count \"0\" is not a number of screenshots");
        runs("export a PDF", {"--export", "r.pdf", "--comment", "bench 4", "a.bmp", "b.bmp"});
        runs("export a PNG at scale 8", {"--export", "a.png", "--scale", "8", "a.bmp"});
        refused("export as what", {"--export", "a.jpg", "a.bmp"},
                "--export \"a.jpg\" names neither a .png nor a .pdf file");
        refused("export two into one PNG", {"--export", "a.png", "a.bmp", "b.bmp"},
                "--export OUT.png needs one picture file");
        refused("export nothing", {"--export", "r.pdf"}, "needs the picture");
        refused("scale 9", {"--export", "a.png", "--scale", "9", "a.bmp"},
                "--scale \"9\" is not a whole number");
        refused("a scale for a PDF", {"--export", "r.pdf", "--scale", "2", "a.bmp"},
                "--scale goes with --export OUT.png");
        refused("a comment without export", {"--comment", "x"}, "go with --export");
        refused("export while capturing", {"--export", "r.pdf", "--port", "1", "a.bmp"},
                "--export takes no --port");
        refused("a count for an export", {"--export", "r.pdf", "--count", "3", "a.bmp"},
                "--export takes no --port, --save-dir, --no-window, --count");
        refused("keep unreadable blocks of an export",
                {"--export", "r.pdf", "--keep-unreadable", "a.bmp"},
                "--export takes no --port, --save-dir, --no-window, --count or "
                "--keep-unreadable");
        // Each option once: a second would quietly win over the first.
        const auto twice = [&](const char* option, const QByteArrayList& arguments) {
            refused(qPrintable(QString("two --%1").arg(option)), arguments,
                    QString("--%1 is given 2 times; give it at most once").arg(option));
        };
        twice("port", {"--port", "1", "--port", "2"});
        twice("export", {"--export", "a.pdf", "--export", "b.pdf", "a.bmp"});
        twice("scale", {"--export", "a.png", "--scale", "2", "--scale=3", "a.bmp"});
        twice("comment", {"--export", "r.pdf", "--comment", "a", "--comment", "b", "a.bmp"});
        twice("save-dir", {"--save-dir", "folder", "--save-dir", "folder"});
        twice("no-window", {"--no-window", "--port", "2", "--save-dir", "folder", "--no-window"});
        twice("count", {"--no-window", "--port", "2", "--save-dir", "folder", "--count", "3",
                        "--count", "3"});
        refused("a file to show without a window",
                {"--no-window", "--port", "2", "--save-dir", "folder", "a.bmp"},
                "--no-window shows no file, so \"a.bmp\" has no place");
        refused("a line break in a refused value stays on one line", {"--port", "1\n2"},
                "--port \"1?2\"");
        refused("a short name after two dashes", {"--v"}, "Unknown option 'v'");
        refused("a file to show with no name", {""}, "which is no file");
        runs("of several files, the first", {"a.bmp", "/tmp/b.bmp"}, "", false, "a.bmp");
#ifndef _WIN32
        const QByteArray latin1 = QByteArray("Pr\xfc") + "fung.bmp";
        runs("a file named in Latin-1", {latin1}, "", false, latin1);
#endif
    }

    void readsWhatTheProgramIsAskedToDo() {
        QFETCH(QByteArrayList, arguments);
        QFETCH(int, action);
        QFETCH(QString, port);
        QFETCH(bool, saveFolder);
        QFETCH(QString, refusal);
        QFETCH(QByteArray, file);
        QTemporaryDir folder;
        std::vector<std::string> given{"kvd62-capture"};
        std::string madeFolder; // as the system writes it: C:\Users\... on Windows
        test::RemovedAtEnd removed;
        for (const QByteArray& argument : arguments) {
            given.push_back(argument.toStdString());
            if (argument.startsWith("folder")) {
                const std::string made = argument.mid(6).toStdString();
                given.back() = folder.path().toStdString() + made;
                if (!made.empty()) {
                    removed.folder = given.back();
                    QVERIFY(std::filesystem::create_directory(removed.folder));
                }
                madeFolder = QDir::toNativeSeparators(folder.path()).toStdString() + made;
            }
        }

        const CommandLine command = ReadCommandLine(given);
        QCOMPARE(int(command.action), action);
        const bool noWindow = action == int(Action::Run) && arguments.contains("--no-window");
        QCOMPARE(command.options.noWindow, noWindow);
        QCOMPARE(command.options.count, noWindow ? 3 : 0);
        QCOMPARE(command.options.keepUnreadable, noWindow);
        const bool exported = action == int(Action::Run) && arguments.contains("--export");
        QCOMPARE(command.options.exportTo.has_value(), exported);
        // Only the window keeps clear of the console it was started from: Windows
        // ends every program attached to a console when that console is closed.
        QCOMPARE(WritesToConsole(command), action != int(Action::Run) || noWindow || exported);
        QCOMPARE(QString::fromStdString(command.options.port.value_or("")), port);
        QCOMPARE(command.options.saveFolder.has_value(), saveFolder);
        if (saveFolder)
            QVERIFY2(command.options.saveFolder->string() == madeFolder,
                     command.options.saveFolder->string().c_str());
        QCOMPARE(QByteArray::fromStdString(command.options.file.value_or("")),
                 file.isEmpty() ? QByteArray() : QDir::currentPath().toUtf8() + "/" + file);
        if (action == int(Action::Refuse)) {
            const QString text = QString::fromStdString(command.text);
            QVERIFY2(text.startsWith("kvd62-capture: ") && text.contains(refusal) &&
                         !text.contains('\n'),
                     qPrintable(text));
        }
    }

    // The program itself: a refused command line is one line on standard error
    // and status 2 (1 for a save folder it may not write into). It is run with no display to
    // connect to, so a program that went on to open its window would fail in another way.
    void theProgramRefusesABadCommandLineWithoutAWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::newRow("an unknown option") << QStringList{"--bogus"} << 2 << "'bogus'";
        // PLANTED: a folder reached through a link that another user made in a
        // folder shared by all, as /tmp; refused before the port is opened.
        QTest::newRow("a save folder through another user's link")
            << QStringList{"--no-window", "--port", "2", "--save-dir", "PLANTED"} << 1
            << "another user";
        // ".." after the link is above where the link leads, as the system takes it.
        QTest::newRow("a save folder above another user's link")
            << QStringList{"--no-window", "--port", "2", "--save-dir", "PLANTED/.."} << 1
            << "another user";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "";
        // The simulator, run the same way.
        QTest::newRow("simulator: an unknown option")
            << QStringList{"kvd62-simulator", "--bogus", "1"} << 2 << "unknown option '--bogus'";
        QTest::newRow("simulator: a screenshot every 0 seconds")
            << QStringList{"kvd62-simulator", "--every", "0"} << 2 << "--every 0 is no interval";
        QTest::newRow("simulator: an interval that is no number")
            << QStringList{"kvd62-simulator", "--every", "abc"} << 2
            << "--every \"abc\" is not a number of seconds above 0 and up to 1000000";
        QTest::newRow("simulator: screenshot 0 sent unreadable")
            << QStringList{"kvd62-simulator", "--unreadable", "0"} << 2
            << "--unreadable \"0\" is not a number from 1 to 1000000";
        QTest::newRow("simulator: copies into a missing folder")
            << QStringList{"kvd62-simulator", "--copy-to", "/nonexistent/copies", "--count", "1"}
            << 2 << "--copy-to \"/nonexistent/copies\" is not an existing folder";
    }

    void theProgramRefusesABadCommandLineWithoutAWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        const QString programPath = QStringLiteral(KVD_PROGRAM);
        QString name = QStringLiteral("kvd62-capture");
        QString path = programPath;
        if (arguments.front() == "kvd62-simulator") {
            name = arguments.takeFirst();
            path = QFileInfo(programPath).absolutePath() + "/../tools/" + name +
                   (programPath.endsWith(".exe") ? ".exe" : "");
            QVERIFY2(QFileInfo::exists(path), qPrintable(path + " is not built"));
        }
        const QTemporaryDir shared;
        bool kernelGuards = false;
        if (const qsizetype at = arguments.indexOf(QRegularExpression("PLANTED.*")); at >= 0) {
#ifdef _WIN32
            QSKIP("links are made by administrators on Windows");
#else
            if (geteuid() != 0)
                QSKIP("planting another user's link needs root");
            const std::filesystem::path folder = shared.path().toStdString();
            std::filesystem::create_directory(folder / "private");
            std::filesystem::create_directory_symlink(folder / "private", folder / "shots");
            std::filesystem::permissions(folder, std::filesystem::perms::all |
                                                     std::filesystem::perms::sticky_bit);
            QCOMPARE(lchown((folder / "shots").c_str(), 65534, 65534), 0);
            arguments[at].replace("PLANTED", QString::fromStdString((folder / "shots").string()));
            kernelGuards = test::ReadAll("/proc/sys/fs/protected_symlinks").starts_with("1");
#endif
        }
        QProcess program;
        test::EndWithTheTest(program);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        program.setProcessEnvironment(environment);
        program.start(path, arguments);
        program.closeWriteChannel(); // the simulator, waiting for Enter, ends at once
        QVERIFY(program.waitForFinished());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        // Windows ends its lines in CR LF.
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput()).remove('\r');
        const QString err = QString::fromLocal8Bit(program.readAllStandardError()).remove('\r');
        // Where the kernel guards such links (fs.protected_symlinks), it may
        // refuse the folder first, as none that exists.
        if (kernelGuards && program.exitCode() == 2) {
            status = 2;
            said = "is not an existing folder";
        }
        QVERIFY2(program.exitCode() == status, qPrintable(err));
        if (status != 0) {
            QVERIFY(out.isEmpty());
            QVERIFY2(err.startsWith(name + ": ") && err.contains(said) && err.count('\n') == 1,
                     qPrintable(err));
        } else {
            QVERIFY(err.isEmpty());
            QVERIFY(out.startsWith("Usage: kvd62-capture ") ||
                    out == QStringLiteral("kvd62-capture " KVD_VERSION "\n"));
        }
    }

    // The README's "At the bench" section and --help name the same options.
    void theReadmeAndTheHelpAgree() {
        const QString section = AtTheBenchSection();
        QVERIFY2(!section.isEmpty(), "the README has no \"At the bench\" section");
        const CommandLine help = ReadCommandLine({"kvd62-capture", "--help"});
        const std::set<QString> inHelp = OptionsNamedIn(QString::fromStdString(help.text));
        QVERIFY(inHelp.count("--save-dir") == 1 && inHelp.count("--port") == 1);
        QCOMPARE(OptionsNamedIn(section), inHelp);
    }
};

KVD_REGISTER_TEST(CommandLineTest)
#include "CommandLineTest.moc"
