#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <unistd.h>

#include "platform/StdFileSystem.h"
#include "platform/Utf8Path.h"
#include "platform/qt/QtDiskWorker.h"
#include "platform/qt/QtExportEncoder.h"
#include "platform/qt/QtPictureLoader.h"
#include "platform/qt/QtSerialPort.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/FakeServices.h"
#include "tests/support/FormRig.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"
#include "windows/Form1.h"
#include "windows/PictureControl.h"

using namespace kvd;
using test::Decoded;
using test::ReadAll;
namespace fs = std::filesystem;

namespace {

// How long any wait for the program may take. Generous on purpose: on a loaded
// machine everything is slower, and a real hang is stopped by the watchdog.
constexpr int LineWaitMs = 30000;

// The real picture loader, recording every screenshot the window decodes, in
// order, and counting the files it reads.
struct RecordingLoader final : PictureLoader {
    QtPictureLoader real;
    std::vector<std::string> decoded;
    int filesRead = 0;

    std::optional<Picture> loadFile(const fs::path& path, std::string& whyNot) override {
        ++filesRead;
        return real.loadFile(path, whyNot);
    }
    std::optional<Picture> loadBytes(std::string_view bytes, std::string& whyNot) override {
        decoded.emplace_back(bytes);
        return real.loadBytes(bytes, whyNot);
    }
};

// Whether the process has the device open.
bool HasOpen(qint64 pid, const std::string& device) {
    std::error_code error;
    for (const fs::directory_entry& fd :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        if (fs::read_symlink(fd.path(), error) == device)
            return true;
    return false;
}

// How many screenshots in the folder are complete, or (`writing`) are being
// written. One being written is there under a ".part-" name until its last byte
// is on the disk: counting it, a test would stop the program in the middle of it.
std::size_t SavedIn(const QTemporaryDir& folder, bool writing = false) {
    const std::set<std::string> names = test::FilesIn(folder.path().toStdString());
    return std::size_t(std::count_if(names.begin(), names.end(), [&](const std::string& name) {
        return (name.find(".part-") != std::string::npos) == writing;
    }));
}

// Who holds Qt's lock on the device, as the lock file named after it says
// (LCK..pts_3 for /dev/pts/3, in the first of Qt's lock folders it may write
// in); 0 when there is none.
qint64 LockHolder(const std::string& device) {
    std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
    std::replace(name.begin(), name.end(), '/', '_');
    for (const char* folder : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                               "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"}) {
        qint64 holder = 0;
        if (std::ifstream(fs::path(folder) / ("LCK.." + name)) >> holder)
            return holder;
    }
    return 0;
}

// Resident memory of this process, in KiB.
long ResidentKb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The whole program on its real serial port and picture loader, with the
// instrument on a pseudo-terminal reached through a link, as a user reaches an
// adapter through /dev/serial/by-id. The poll timer runs for real.
struct LineRig : test::ServicesOf<RecordingLoader, QtExportEncoder, QtSerialPort, QtDiskWorker> {
    LineRig() : ServicesOf(nullptr, [this] { return listed; }) {
        services.tempImagePath = folder / "kvd62temp.bmp";
    }

    QTemporaryDir dir;
    fs::path folder{dir.path().toStdString()};
    // As long as the names in /dev/serial/by-id, with a space and an umlaut.
    fs::path cableLink = folder / PathFromUtf8("usb-FTDI_FT232R_USB_UART_A50285BI-if00 Prüfplatz");
    // The serial devices port numbers count through: none, so that the rig never
    // reaches the machine's own ports.
    std::vector<SerialDevice> listed;
    Form1 form{services};

    void plugIn(const test::PseudoTerminal& cable) {
        fs::remove(cableLink);
        fs::create_symlink(cable.devicePath(), cableLink);
    }
    void selectCable() { select(Utf8FromPath(cableLink)); }
    // Types a port number or a device path into "Serial port", then Enter.
    void select(const std::string& port) {
        auto* edit = form.findChild<QComboBox*>("Combo1")->lineEdit();
        edit->clear();
        // A key at a time, as typed; QTest's keyClicks knows ASCII keys only.
        for (const QChar key : QString::fromStdString(port))
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(key), Qt::NoModifier);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QImage shown() { return form.findChild<PictureControl*>("Image1")->picture(); }

    // Sends from another thread at the line's pace while the program runs its
    // event loop and ticks, as with a real instrument; returns once the last byte
    // is on the line.
    bool send(test::PseudoTerminal& cable, const std::string& bytes) {
        auto sending = std::async(std::launch::async, [&] { return cable.send(bytes); });
        while (sending.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return sending.get();
    }
};

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    // A real hang-up, as only a kernel device shows it: the cable pulled on the
    // real port, in the running window with its real timer, and a new line
    // behind the same device name when it is plugged back in. Which device a lost
    // port is retried as is the session's rule (CaptureSessionTest); how the
    // selector shows it, the window's (PollTickTest).
    void screenshotsArriveOverTheLineAndSurviveAnUnplug() {
        LineRig rig;
        test::PseudoTerminal cable;
        QVERIFY(cable.ok());
        rig.plugIn(cable);
        rig.selectCable();
        QCOMPARE(rig.comm.state(), PortState::Open);

        // A screenshot at the line's real pace, noise before it, and the cable
        // pulled right after its last byte: the port has it, the window not yet
        // (no tick in between). It is shown all the same.
        const std::string first = test::TwoColourBitmap(71);
        rig.form.Timer1->stop();
        const std::string line = std::string("\0\xff noise", 8) + first;
        QVERIFY(rig.send(cable, line));
        // All of it in the port's hands. (The pseudo-terminal's own queue can be
        // empty while bytes are still on their way to it: a cable pulled then
        // would cut the screenshot short, which is another row's case.)
        QTRY_COMPARE_WITH_TIMEOUT(rig.comm.bytesWaiting(), int(line.size()), LineWaitMs);
        cable.unplug();
        rig.form.Timer1->start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.form.session().currentScreenshot() == first, LineWaitMs);
        QCOMPARE(rig.shown(), Decoded(first));
        QVERIFY(ReadAll(rig.services.tempImagePath) == first);
        QVERIFY(rig.box.shown.empty());

        // Unplugged: the port is closed at once, so nothing spins on a dead device.
        QTRY_COMPARE_WITH_TIMEOUT(rig.comm.state(), PortState::Lost, LineWaitMs);
        const auto* device = rig.comm.findChild<QSerialPort*>();
        QVERIFY(device && !device->isOpen());
        auto* combo = rig.form.findChild<QComboBox*>("Combo1");
        QTRY_VERIFY_WITH_TIMEOUT(combo->toolTip().contains(": lost"), LineWaitMs);

        // Plugged back in: capture resumes by itself; the unsaved first screenshot
        // is asked about when the second arrives.
        test::PseudoTerminal again;
        rig.plugIn(again);
        QTRY_COMPARE_WITH_TIMEOUT(rig.comm.state(), PortState::Open, LineWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(combo->toolTip().endsWith(": open"), LineWaitMs);
        rig.box.answers.push_back(DialogAnswer::No);
        const std::string second = test::TwoColourBitmap(72);
        // How soon after its last byte it is shown is a figure, not a rule here:
        // it depends on how soon the kernel passes the bytes on, which a busy
        // machine delays (bench/ReceiveFigures measures it).
        QVERIFY(rig.send(again, second));
        QTRY_VERIFY_WITH_TIMEOUT(rig.form.session().currentScreenshot() == second, LineWaitMs);
        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        QCOMPARE(rig.shown(), Decoded(second));
        QVERIFY(ReadAll(rig.services.tempImagePath) == second);
    }

    // The instrument simulator as a person uses it: started, its device typed
    // into "Serial port", Enter pressed for each screenshot (with line noise
    // before each). Each arrives whole, and each looks different.
    void theSimulatorsScreenshotsAreShown() {
        LineRig rig;
        QProcess simulator;
        test::EndWithTheTest(simulator);
        simulator.start(KVD_SIMULATOR, {"--noise", "300"});
        QVERIFY2(simulator.waitForStarted(LineWaitMs), "the simulator did not start");
        QVERIFY2(simulator.waitForReadyRead(LineWaitMs), "the simulator named no device");
        const QString device = QString::fromUtf8(simulator.readLine()).trimmed();
        rig.select(device.toStdString());
        QCOMPARE(rig.comm.state(), PortState::Open);

        rig.box.answers = {DialogAnswer::No};
        std::vector<QImage> shown;
        for (int screenshot = 1; screenshot <= 2; ++screenshot) {
            simulator.write("\n");
            QTRY_COMPARE_WITH_TIMEOUT(rig.pictures.decoded.size(), std::size_t(screenshot),
                                      LineWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(
                rig.form.session().currentScreenshot() == rig.pictures.decoded.back(), LineWaitMs);
            shown.push_back(rig.shown());
        }
        simulator.closeWriteChannel();
        QVERIFY(simulator.waitForFinished(LineWaitMs));
        QCOMPARE(simulator.exitCode(), 0);
        QCOMPARE(shown[0].size(), QSize(192, 112));
        QCOMPARE(shown[1].size(), QSize(192, 112));
        QVERIFY(shown[0] != shown[1]);
        QCOMPARE(rig.box.shown.size(), std::size_t(1)); // asked about the first, once
    }

    // Screenshots back to back at the line's rate with "Disable Save" ticked:
    // every one is decoded once and shown, in order, byte for byte (never read
    // back from the temporary file), and nothing accumulates.
    // KVD_SOAK_SCREENSHOTS sets how many; CTest runs 20.
    void soakScreenshotsBackToBackAtLineRate() {
        const int count = qEnvironmentVariableIntValue("KVD_SOAK_SCREENSHOTS");
        if (count <= 0)
            QSKIP("the soak runs when KVD_SOAK_SCREENSHOTS says how many screenshots (CTest "
                  "sets 20)");
        LineRig rig;
        test::PseudoTerminal cable;
        rig.plugIn(cable);
        rig.selectCable();
        QTest::mouseClick(rig.form.findChild<QCheckBox*>("Check2"), Qt::LeftButton);
        std::vector<std::string> sent;
        std::string line;
        for (int i = 0; i < count; ++i) {
            sent.push_back(test::TwoColourBitmap(std::uint32_t(5000 + i)));
            line += sent.back();
        }
        const long residentBefore = ResidentKb();
        QVERIFY(rig.send(cable, line));
        // Each is decoded as it is cut, in a tick, and shown in a turn of the
        // event loop after it.
        QTRY_COMPARE_WITH_TIMEOUT(rig.pictures.decoded.size(), sent.size(), LineWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form.session().currentScreenshot() == sent.back(), LineWaitMs);
        QVERIFY(rig.pictures.decoded == sent);
        QCOMPARE(rig.pictures.filesRead, 0);
        QVERIFY(ReadAll(rig.services.tempImagePath) == sent.back());
        QVERIFY(rig.box.shown.empty());
        QVERIFY(rig.form.session().bytesReceived() == 0);
        QCOMPARE(rig.form.session().waitingCount(), std::size_t(0));
        qInfo("%d screenshots shown; resident memory %ld KiB before, %ld KiB after", count,
              residentBefore, ResidentKb());
    }

    // The program as a bench script starts it: on the instrument's port, saving
    // every screenshot into a folder, in its window or without one (and then
    // without any display). Each arrives there whole, byte for byte, and no
    // question stops the next (an open question would hold it back). Without a
    // window each file's path is printed, the program ends by itself after
    // --count screenshots, and when stopped in the middle of a screenshot it
    // leaves only whole files. An adapter unplugged and plugged back (the same
    // device name, a new line behind it) is said once each, and capture goes on:
    // a real hang-up in the program without a window, and the one place where
    // what it says of the port is seen on its standard error. Ctrl+C while a
    // slow disk holds a write: the line is still read, and every screenshot that
    // came before it is saved, whole, before the program ends. A screenshot
    // that lost bytes on the line is dropped and said, and costs no other.
    void theProgramStartedOnAPortSavesEveryScreenshot_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("in its window") << "window";
        QTest::newRow("without a window, 3 counted") << "count";
        QTest::newRow("without a window, stopped mid-screenshot") << "stopped";
        // Its terminal closed, or the ssh session it runs in dropped.
        QTest::newRow("without a window, hung up mid-screenshot") << "hung up";
        QTest::newRow("without a window, unplugged and plugged back") << "unplugged";
        QTest::newRow("without a window, its folder removed") << "folder removed";
        // Checked, locked and opened as the device it leads to: Qt takes the
        // name as text, and would lock and open another name.
        QTest::newRow("without a window, on a link named in Latin-1") << "Latin-1";
        // 100 bytes lost without a word, before the three.
        QTest::newRow("without a window, bytes lost on the line") << "bytes lost";
        // A second copy started on the same port is told who has it, not sent to
        // look for a permission, and the first goes on.
        QTest::newRow("without a window, a second copy on its port") << "second copy";
#ifdef KVD_SLOW_FSYNC
        QTest::newRow("without a window, Ctrl+C twice while the disk holds a write") << "slow disk";
#endif
    }
    void theProgramStartedOnAPortSavesEveryScreenshot() {
        QFETCH(QString, how);
        test::PseudoTerminal line;
        QVERIFY(line.ok());
        QTemporaryDir shots, runtime; // runtime: where its temporary file goes
        const test::RemovedAtEnd removed{runtime.path().toStdString()}; // a Latin-1 name too
        // The adapter's name, which stays when the line behind it changes.
        const fs::path adapter =
            fs::path(runtime.path().toStdString()) / (how == "Latin-1" ? "port-\xe9" : "ttyUSB0");
        fs::create_symlink(line.devicePath(), adapter);
        QProcess program;
        test::EndWithTheTest(program);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QStringList arguments{"--port", QString::fromStdString(adapter.string()), "--save-dir",
                              shots.path()};
        QString started = QStringLiteral(KVD_PROGRAM);
        if (how == "Latin-1") {
            // Qt hands a program its arguments in UTF-8: the name's own bytes come
            // from the shell's printf.
            started = QStringLiteral("/bin/sh");
            arguments = QStringList{"-c",
                                    R"(program=$1; port=$(printf '%s\351' "$2"); shift 2; )"
                                    R"(exec "$program" --port "$port" "$@")",
                                    "sh", KVD_PROGRAM, runtime.path() + "/port-"} +
                        arguments.mid(2);
        }
        if (how == "window") {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else {
            for (const char* display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                environment.remove(QString::fromLatin1(display));
            arguments << "--no-window";
            if (how != "slow disk")
                arguments << "--count"
                          << "3";
        }
        // With the slow disk, every flush to it waits while this file is there.
        const fs::path held = fs::path(runtime.path().toStdString()) / "fsync-held";
#ifdef KVD_SLOW_FSYNC
        if (how == "slow disk") {
            std::ofstream{held};
            environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KVD_SLOW_FSYNC));
            environment.insert(QStringLiteral("KVD_FSYNC_HOLD"),
                               QString::fromStdString(held.string()));
            // The sanitizer build's runtime is then not the first library loaded.
            environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                   QStringLiteral(":verify_asan_link_order=0"));
        }
#endif
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        program.setProcessEnvironment(environment);
        program.start(started, arguments);
        QVERIFY2(program.waitForStarted(LineWaitMs), "the program did not start");
        QTRY_VERIFY_WITH_TIMEOUT(HasOpen(program.processId(), line.devicePath()), LineWaitMs);
        if (how == "Latin-1")
            QCOMPARE(LockHolder(line.devicePath()), program.processId());

        std::vector<std::string> sent{test::TwoColourBitmap(71), test::TwoColourBitmap(72),
                                      test::TwoColourBitmap(73)};
        if (how == "stopped" || how == "hung up") {
            sent.pop_back();
            for (const std::string& screenshot : sent)
                QVERIFY(line.send(screenshot));
            QTRY_COMPARE_WITH_TIMEOUT(SavedIn(shots), sent.size(), LineWaitMs);
            QVERIFY(line.send(test::TwoColourBitmap(73).substr(0, 1000)));
            QCOMPARE(::kill(pid_t(program.processId()), how == "stopped" ? SIGTERM : SIGHUP), 0);
        } else if (how == "folder removed") {
            // What comes then is kept and said while the capture goes on; the
            // end says it was never written, and the status is a failure.
            fs::remove_all(shots.path().toStdString());
            QVERIFY(line.send(sent[0]));
            QTRY_COMPARE_WITH_TIMEOUT(line.unread(), 0, LineWaitMs);
            QCOMPARE(::kill(pid_t(program.processId()), SIGTERM), 0);
            QVERIFY(program.waitForFinished(LineWaitMs));
            QCOMPARE(program.exitCode(), 1);
            const QString said = QString::fromLocal8Bit(program.readAllStandardError());
            QVERIFY2(said.endsWith(QStringLiteral("1 screenshot that arrived was never written: %1 "
                                                  "could not be written to.\n")
                                       .arg(shots.path())),
                     qPrintable(said));
            return;
        } else if (how == "unplugged") {
            QVERIFY(line.send(sent[0]));
            QTRY_COMPARE_WITH_TIMEOUT(SavedIn(shots), std::size_t(1), LineWaitMs);
            line.unplug();
            fs::remove(adapter);
            test::PseudoTerminal back;
            fs::create_symlink(back.devicePath(), adapter);
            QTRY_VERIFY_WITH_TIMEOUT(HasOpen(program.processId(), back.devicePath()), LineWaitMs);
            QVERIFY(back.send(sent[1]) && back.send(sent[2]));
            QTRY_COMPARE_WITH_TIMEOUT(SavedIn(shots), std::size_t(3), LineWaitMs);
            const QString said = QString::fromLocal8Bit(program.readAllStandardError());
            QCOMPARE(said.count("serial port was lost"), 1);
            QCOMPARE(said.count("serial port is back"), 1);
        } else if (how == "slow disk") {
            // The first screenshot's write is held while three more are sent:
            // more than the serial port keeps by itself (6000 bytes), so they are
            // all taken off the line only if the program goes on reading it.
            // Then Ctrl+C comes twice before the write may end. (A
            // pseudo-terminal holds the sender back when the program stops
            // reading, where a real line loses the bytes: bench/SlowDiskBench
            // counts those.)
            sent.push_back(test::TwoColourBitmap(74));
            QVERIFY(line.send(sent[0]));
            QTRY_VERIFY_WITH_TIMEOUT(SavedIn(shots, true) > 0, LineWaitMs);
            QVERIFY(line.send(sent[1] + sent[2] + sent[3]));
            QTRY_COMPARE_WITH_TIMEOUT(line.unread(), 0, LineWaitMs);
            QCOMPARE(::kill(pid_t(program.processId()), SIGINT), 0);
            QCOMPARE(::kill(pid_t(program.processId()), SIGINT), 0);
            fs::remove(held);
        } else {
            if (how == "bytes lost")
                QVERIFY(line.send(test::TwoColourBitmap(70).erase(1400, 100)));
            if (how == "second copy") {
                QProcess second;
                test::EndWithTheTest(second);
                second.setProcessEnvironment(environment);
                second.start(KVD_PROGRAM, arguments);
                QVERIFY(second.waitForFinished(LineWaitMs));
                QCOMPARE(second.exitCode(), 1);
                QCOMPARE(QString::fromLocal8Bit(second.readAllStandardError()),
                         QStringLiteral("kvd62-capture: the serial port could not be opened (%1 "
                                        "is in use by another program (kvd62-capture, process "
                                        "%2)). Close the program that has the port, then try "
                                        "again.\n")
                             .arg(QString::fromStdString(adapter.string()))
                             .arg(program.processId()));
            }
            for (const std::string& screenshot : sent)
                QVERIFY(line.send(screenshot));
            QTRY_COMPARE_WITH_TIMEOUT(SavedIn(shots), std::size_t(3), LineWaitMs);
            if (how == "window")
                program.terminate();
        }
        // (waitForFinished says false for a program that has already ended.)
        QVERIFY(program.state() == QProcess::NotRunning || program.waitForFinished(LineWaitMs));
        if (how == "window") { // SIGTERM closes the window, which lets go of the port
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(LockHolder(adapter.string()), 0);
        }
        // Every one whole, byte for byte. (What the files are named, and that
        // the names sort in the order they came, is the save folder's rule,
        // tested there.)
        std::multiset<std::string> saved;
        QStringList paths;
        for (const std::string& name : test::FilesIn(shots.path().toStdString())) {
            saved.insert(ReadAll(fs::path(shots.path().toStdString()) / name));
            paths << shots.path() + "/" + QString::fromStdString(name);
        }
        QCOMPARE(saved.size(), sent.size());
        QVERIFY(saved == std::multiset<std::string>(sent.begin(), sent.end()));
        if (how != "window") {
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            // Each file's path as it is written: in the order sent.
            QStringList printed = QString::fromLocal8Bit(program.readAllStandardOutput())
                                      .split('\n', Qt::SkipEmptyParts);
            QCOMPARE(printed.size(), paths.size());
            for (qsizetype i = 0; i < printed.size(); ++i)
                QVERIFY(ReadAll(printed[i].toStdString()) == sent[std::size_t(i)]);
            printed.sort();
            QCOMPARE(printed, paths);
        }
        const QString said = QString::fromLocal8Bit(program.readAllStandardError());
        if (how == "bytes lost")
            QVERIFY2(
                said.contains(QStringLiteral("(it is cut short after 2650 bytes, where another "
                                             "screenshot starts) was dropped.")),
                qPrintable(said));
        if (how == "stopped" || how == "hung up" || how == "slow disk")
            QVERIFY2(said.endsWith(QStringLiteral("kvd62-capture: stopped; %1 screenshots saved.\n")
                                       .arg(sent.size())),
                     qPrintable(said));
    }
};

KVD_REGISTER_TEST(EndToEndTest)
#include "EndToEndTest.moc"
