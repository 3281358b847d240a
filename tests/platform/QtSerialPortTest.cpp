#include <QFileInfo>
#include <QLockFile>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <climits>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "capture/ConfigurePort.h"
#include "capture/PortLink.h"
#include "capture/ProbePorts.h"
#include "platform/posix/PortHolder.h"
#include "platform/posix/SysfsIdentity.h"
#include "platform/qt/QtSerialPort.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
namespace fs = std::filesystem;

namespace {

// Drains the port the way the poll tick does, until `count` bytes have come.
std::string Receive(QtSerialPort& port, std::size_t count) {
    std::string received;
    QElapsedTimer guard;
    guard.start();
    while (received.size() < count && guard.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (port.bytesWaiting() > 0)
            received += port.read();
    }
    return received;
}

// Where a port is opened from, and what stands in its way. A child process runs
// as "nobody" when the tests run as root, whom neither permissions nor a device
// held alone bind.
enum class RunIn {
    ThisTest,      // this test as it runs
    Controlling,   // a child in a session of its own, a pseudo-terminal its controlling one
    StandardInput, // the same, the terminal only its standard input (as after setsid)
    StandardError, // the same, the terminal only its standard error
    Locked,        // this test, another process holding the lock file (a second copy's case)
    NoPermission,  // a child the device is closed to, its lock file held by another process
    HeldAlone,     // a child, while this test has the device open for itself alone
    LockLeft,      // a child; a lock file the superuser's ended process left, not removable
    LockIsAPipe,   // a pipe another user planted as the lock file: Qt's lock would wait
    LockIsALink,   // a link to /dev/zero planted so: Qt's lock would read without end
    LockForged,    // another user's lock file naming a running process not theirs
    LockGarbled    // another user's lock file naming no process at all
};

constexpr uid_t Nobody = 65534;

// A process of the test's own that holds `lock` as Qt's serial port holds a
// port's lock file, until it is let go.
class LockHolder {
public:
    explicit LockHolder(const std::string& lock) {
        int locked[2];
        if (::pipe(locked) != 0 || ::pipe(release_) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(release_[1]);
            {
                QLockFile held(QString::fromStdString(lock));
                const char said = held.tryLock() ? '1' : '0';
                if (::write(locked[1], &said, 1) != 1)
                    ::_exit(1);
                char nothing;
                while (::read(release_[0], &nothing, 1) > 0) {
                }
            }
            ::_exit(0);
        }
        ::close(locked[1]);
        ::close(release_[0]);
        char said = '0';
        held_ = pid_ > 0 && ::read(locked[0], &said, 1) == 1 && said == '1';
        ::close(locked[0]);
    }
    ~LockHolder() {
        ::close(release_[1]);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool held() const { return held_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
    bool held_ = false;
};

// Opens the port as the program does: the reason it did not open (a port that
// did not open is left closed, its problem that reason), or a word on what else.
std::string WhyNotOpened(const PortAddress& address, const QtSerialPort::DeviceLister& listed) {
    QtSerialPort port(nullptr, listed);
    const Outcome opened = ConfigurePort(port, address, false);
    if (opened.ok())
        return "<opened>";
    if (opened.reason().empty() || port.problem() != opened.reason() ||
        port.state() != PortState::Closed || port.bytesWaiting() != 0)
        return "<left in another state>";
    return opened.reason();
}

// The same, in a child process in `terminal` as `runIn` says. A check that let
// it through would set only the test's own terminal to raw mode.
std::string WhyNotOpenedIn(RunIn runIn, const test::PseudoTerminal& terminal,
                           const PortAddress& address, const QtSerialPort::DeviceLister& listed) {
    int result[2];
    if (::pipe(result) != 0)
        return "<no pipe>";
    const pid_t child = ::fork();
    if (child == 0) {
        const int nothing = ::open("/dev/null", O_RDWR);
        for (int stream = 0; stream <= 2; ++stream)
            ::dup2(nothing, stream);
        const int stream = runIn == RunIn::StandardError ? 2 : 0;
        bool ready = ::setsid() >= 0;
        if (runIn == RunIn::Controlling)
            ready = ready && ::ioctl(terminal.programEnd(), TIOCSCTTY, 0) == 0;
        else if (runIn == RunIn::StandardInput || runIn == RunIn::StandardError)
            ready = ready && ::dup2(terminal.programEnd(), stream) == stream;
        else if (::geteuid() == 0)
            ready = ready && ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0;
        const std::string said = ready ? WhyNotOpened(address, listed) : "<no terminal>";
        const bool written = ::write(result[1], said.data(), said.size()) == ssize_t(said.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(result[1]);
    std::string said;
    char bytes[256];
    for (ssize_t got; (got = ::read(result[0], bytes, sizeof bytes)) > 0;)
        said.append(bytes, std::size_t(got));
    ::close(result[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return "<the child failed>";
    return said;
}

// Lays out, under `root`, what Linux shows in /sys of USB-serial adapters below
// a hub: "NAME VID:PID SERIAL SOCKET" each, ";" between them ("-": no serial
// number). A ttyUSB is a usb-serial port below its interface; a ttyACM is its
// interface's own.
void LayOutAdapters(const fs::path& root, const QString& adapters) {
    fs::remove_all(root / "sys");
    fs::create_directories(root / "sys/class/tty");
    const std::map<std::string, std::pair<std::string, std::string>> makers = {
        {"0403", {"FTDI", "FT232R USB UART"}},
        {"067b", {"Prolific Technology Inc.", "USB-Serial Controller"}},
        {"2341", {"Arduino (www.arduino.cc)", "Arduino Uno"}}};
    const auto write = [](const fs::path& file, const std::string& text) {
        std::ofstream(file) << text << "\n";
    };
    const fs::path hub = root / "sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";
    fs::create_directories(hub);
    write(hub / "idVendor", "1d6b");
    for (const QString& adapter : adapters.split(';', Qt::SkipEmptyParts)) {
        const QStringList field = adapter.split(' ', Qt::SkipEmptyParts);
        const std::string name = field[0].toStdString(),
                          vendor = field[1].section(':', 0, 0).toStdString(),
                          socket = field[3].toStdString();
        const fs::path usb = hub / socket;
        const fs::path interface = usb / (socket + ":1.0");
        const bool acm = name.starts_with("ttyACM");
        const fs::path port = acm ? interface : interface / name;
        fs::create_directories(port / "tty" / name);
        write(usb / "idVendor", vendor);
        write(usb / "idProduct", field[1].section(':', 1).toStdString());
        if (field[2] != "-")
            write(usb / "serial", field[2].toStdString());
        write(usb / "manufacturer", makers.at(vendor).first);
        write(usb / "product", makers.at(vendor).second);
        if (!acm)
            write(port / "port_number", "0");
        fs::create_symlink(fs::relative(port, port / "tty" / name), port / "tty" / name / "device");
        fs::create_symlink(fs::relative(port / "tty" / name, root / "sys/class/tty"),
                           root / "sys/class/tty" / name);
    }
}

} // namespace

class QtSerialPortTest : public QObject {
    Q_OBJECT

private slots:
    // The start-up probe opens ports before any line settings are given; the
    // port kept is opened again with them. Every byte value comes through
    // unchanged. Then a screenshot, and the line goes down. Until the line is
    // looked at the port stays open; then it is found lost and closed, and what
    // had arrived is read once. The port, opened by its number, still names the
    // device it was lost as, which is the one retried, not the one its number
    // names in the system's list now.
    void opensWithTheLineSettingsAndReceivesUntilTheLineGoesDown_data() {
        QTest::addColumn<bool>("hangUp");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the far end hung up") << true << "the line hung up";
        QTest::newRow("the device node went away") << false << "the device has gone";
    }

    void opensWithTheLineSettingsAndReceivesUntilTheLineGoesDown() {
        QFETCH(bool, hangUp);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const std::string link = dir.path().toStdString() + "/ttyUSB0";
        test::PseudoTerminal cable, other;
        QVERIFY(cable.ok());
        QCOMPARE(::symlink(cable.devicePath().c_str(), link.c_str()), 0);
        std::vector<SerialDevice> listed{{link, true}, {other.devicePath()}}; // an adapter first
        QtSerialPort port(nullptr, [&listed] { return listed; });
        port.setPort(PortAddress::number(1));
        const Outcome probed = port.open();
        QVERIFY2(probed.ok(), probed.reason().c_str());
        port.close();
        QCOMPARE(port.state(), PortState::Closed);
        const Outcome opened = ConfigurePort(port, PortAddress::number(1), false);
        QVERIFY2(opened.ok(), opened.reason().c_str());
        QCOMPARE(port.state(), PortState::Open);
        QCOMPARE(port.deviceName(), link);
        termios line{};
        QCOMPARE(tcgetattr(cable.programEnd(), &line), 0);
        QCOMPARE(cfgetispeed(&line), speed_t(B57600));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
        QCOMPARE(line.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));

        std::string bytes;
        for (int i = 0; i < 512; ++i)
            bytes += static_cast<char>(i % 256);
        QVERIFY(cable.send(bytes));
        QVERIFY(Receive(port, bytes.size()) == bytes);
        QCOMPARE(port.bytesWaiting(), 0);
        const std::string screenshot = test::TwoColourBitmap(9);
        QVERIFY(cable.send(screenshot));
        QTRY_COMPARE_WITH_TIMEOUT(cable.unread(), 0, 10000); // taken by the port
        port.checkLine();
        QCOMPARE(port.state(), PortState::Open);

        // No event loop runs from here on, so Qt reports nothing.
        hangUp ? cable.unplug() : void(::unlink(link.c_str()));
        listed = {{other.devicePath()}}; // the other device is port 1 now
        QCOMPARE(port.state(), PortState::Open);
        port.checkLine();
        QCOMPARE(port.state(), PortState::Lost);
        QCOMPARE(QString::fromStdString(port.problem()), reason);
        QVERIFY(!port.findChild<QSerialPort*>()->isOpen());
        QCOMPARE(port.deviceName(), link);
        QCOMPARE(port.bytesWaiting(), int(screenshot.size()));
        QVERIFY(port.read() == screenshot);
        QCOMPARE(port.bytesWaiting(), 0);
        QVERIFY(port.read().empty());
    }

    // Who has a device's name, as Linux tells it: what had `device` (`before`),
    // what has it now (`after`), and where the adapter that had it is now
    // (`movedTo`). A folder laid out by LayOutAdapters stands in for /sys; names
    // in /dev are only asked about, never opened. A pseudo-terminal ("pts") is a
    // real one, kept by the program's own link and port: "pts again" is the next
    // one made after it closed, which Linux gives the same number.
    void tellsTheDeviceBehindANameApart_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("movedTo");
        const auto row = [](const char* name, const QString& device, const QString& before,
                            const QString& after, const char* now, const QString& words = "",
                            const QString& movedTo = "") {
            QTest::newRow(name) << device << before << after << now << words << movedTo;
        };
        const QString a = "ttyUSB0 0403:6001 A50285BI 1-1.2", usb0 = "/dev/ttyUSB0";
        const QString ftdiA = "FTDI FT232R USB UART, serial A50285BI";
        const QString prolific = "Prolific Technology Inc. USB-Serial Controller, no serial "
                                 "number, in USB socket 1-1.4";
        const QString uno = "ttyACM0 2341:0043 85735313 1-1.3";
        row("another of the same make under its name", usb0, a, "ttyUSB0 0403:6001 A7B3C2D1 1-1.2",
            "another", "FTDI FT232R USB UART, serial A7B3C2D1");
        row("the same adapter in another USB socket", usb0, a, "ttyUSB0 0403:6001 A50285BI 1-1.4",
            "same", ftdiA, usb0);
        row("the two swapped: another under its name, the adapter under the next", usb0,
            a + ";ttyUSB1 067b:2303 - 1-1.4",
            "ttyUSB0 067b:2303 - 1-1.4;ttyUSB1 0403:6001 A50285BI 1-1.2", "another", prolific,
            "/dev/ttyUSB1");
        row("without a serial number, known by its socket: in another, it is another", usb0,
            "ttyUSB0 067b:2303 - 1-1.2", "ttyUSB0 067b:2303 - 1-1.4", "another", prolific);
        row("a USB board's own port (ttyACM)", "/dev/ttyACM0", uno, uno, "same",
            "Arduino (www.arduino.cc) Arduino Uno, serial 85735313", "/dev/ttyACM0");
        row("unplugged", usb0, a, "", "absent");
        // A by-id name, or a link the user made: no name the kernel hands out.
        row("a name that carries the identity",
            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", a, a, "not checked");
        row("a board's port", "/dev/ttyS0", "", "", "not checked");
        row("a pseudo-terminal, still open", "pts", "pts", "pts", "same", "a pseudo-terminal");
        row("a pseudo-terminal closed: the next one made has its number", "pts", "pts", "pts again",
            "another", "a pseudo-terminal");
    }

    void tellsTheDeviceBehindANameApart() {
        QFETCH(QString, device);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, now);
        QFETCH(QString, words);
        QFETCH(QString, movedTo);
        DeviceIdentity was, is;
        std::string found;
        if (device == "pts") {
            std::optional<test::PseudoTerminal> cable(std::in_place);
            QtSerialPort port;
            PortLink link(port);
            QVERIFY(link.choose(PortAddress::device(cable->devicePath()), false).ok());
            was = port.identity();
            const std::string path = cable->devicePath();
            std::optional<test::PseudoTerminal> next;
            if (after == "pts again") {
                // Lost as the program loses it: the far end closes, and the port.
                // A real one lives longer than a tick of the kernel's clock,
                // which stamps the time a pseudo-terminal is made.
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                cable->unplug();
                QTRY_VERIFY_WITH_TIMEOUT((link.keepUp(), link.state() == PortState::Lost), 10000);
                cable.reset();
                next.emplace();
                if (next->devicePath() != path)
                    QSKIP("another program was given the closed pseudo-terminal's number first");
                QVERIFY(next->send("no screenshot of this line is read"));
                // Not opened at all: that alone sets a terminal to raw mode.
                const int opens = ::inotify_init1(IN_NONBLOCK);
                QVERIFY(opens >= 0 && ::inotify_add_watch(opens, path.c_str(), IN_OPEN) >= 0);
                link.keepUp();
                char event[sizeof(inotify_event) + NAME_MAX + 1];
                const bool opened = ::read(opens, event, sizeof event) > 0;
                ::close(opens);
                QVERIFY2(!opened, "the next program's pseudo-terminal was opened");
                QCOMPARE(link.state(), PortState::Lost);
                QCOMPARE(port.bytesWaiting(), 0);
                QVERIFY2(link.describe().starts_with(
                             path + " is now another pseudo-terminal, not the one that was lost, "
                                    "and is not opened: a closed pseudo-terminal never comes back"),
                         link.describe().c_str());
            }
            is = port.identify(path);
        } else {
            QTemporaryDir dir;
            const fs::path root = dir.path().toStdString();
            LayOutAdapters(root, before);
            was = ReadDeviceIdentity(device.toStdString(), root);
            LayOutAdapters(root, after);
            is = ReadDeviceIdentity(device.toStdString(), root);
            found = FindAdapter(was, root);
        }
        const QString told = is.sameAs(was)                                ? "same"
                             : is.kind == DeviceIdentity::Kind::Absent     ? "absent"
                             : is.kind == DeviceIdentity::Kind::NotChecked ? "not checked"
                                                                           : "another";
        QCOMPARE(told, now);
        QCOMPARE(QString::fromStdString(is.words), words);
        QCOMPARE(QString::fromStdString(found), movedTo);
    }

    // In `text` and `reason`, TERMINAL is the pseudo-terminal of the child, or in
    // the way (as port 1, the one device listed); HOLDER the process the lock file
    // names, LOCK that file; NODE a device node of TERMINAL named in Latin-1.
    void portsThatDoNotOpen_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("runIn");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, const QString& text, const QString& reason,
                            RunIn runIn = RunIn::ThisTest,
                            PortAddress::Kind kind = PortAddress::Kind::Device) {
            QTest::newRow(name) << int(kind) << text << int(runIn) << reason;
        };
        const auto number = PortAddress::Kind::Number;
        const QString ownTerminal = "it is the terminal this program runs in, not";
        row("a missing device", "/nonexistent/ttyUSB7", "there is no such device");
        row("a device that is no terminal", "/dev/null", "");
        row("the program's own terminal", "/dev/tty",
            "it is the terminal this program runs in, not a serial port: name the instrument's "
            "serial device instead, such as /dev/ttyUSB0");
        row("a folder", "/dev", "it is a folder, not a serial device");
        row("a plain file", "/etc/passwd", "it is not a serial device");
        // Qt would lock and open it as another name, the bytes taken for UTF-8.
        row("a device named in Latin-1, by no other name", "NODE",
            "it is named in another encoding than UTF-8, and so is the device it leads to");
        row("port 0", "0", "there is no serial port 0", RunIn::ThisTest, number);
        row("an unusable number", "99999", "\"99999\" is not a port number", RunIn::ThisTest,
            PortAddress::Kind::Unusable);
        // Opened, each would set the user's terminal to raw mode, Ctrl+C off.
        row("the controlling terminal, listed as port 1", "1", ownTerminal, RunIn::Controlling,
            number);
        row("standard input's terminal as /proc/self/fd/0", "/proc/self/fd/0",
            "it is the terminal this program runs in (TERMINAL), not", RunIn::StandardInput);
        row("standard error's terminal, without a controlling terminal", "TERMINAL", ownTerminal,
            RunIn::StandardError);
        row("the console", "/dev/console", "it is the system console, not a serial port: name");
        row("the current virtual console", "/dev/tty0",
            "it is a virtual console of this computer, not");
        row("the pseudo-terminal master of devpts", "/dev/pts/ptmx",
            "it is the pseudo-terminal master, which makes");
        // Qt says "permission" of each of these; only the first is.
        row("a device this user may not open, whoever has it", "TERMINAL", "Permission denied",
            RunIn::NoPermission);
        row("a port another program has locked, as a second copy finds it", "TERMINAL",
            "TERMINAL is in use by another program (tst_platform, process HOLDER)", RunIn::Locked);
        row("a device another program has open for itself alone", "TERMINAL",
            "TERMINAL is in use by another program", RunIn::HeldAlone);
        row("a lock file left by a program that has ended, the superuser's", "TERMINAL",
            "TERMINAL is locked by LOCK, which process HOLDER left when it ended: remove that file "
            "(sudo rm LOCK), then try again",
            RunIn::LockLeft);
        const QString planted =
            "TERMINAL cannot be locked: its lock file LOCK is a pipe, a link or a device";
        row("a pipe planted as its lock file", "TERMINAL", planted, RunIn::LockIsAPipe);
        row("a link to an endless device planted as its lock file", "TERMINAL", planted,
            RunIn::LockIsALink);
        row("another user's lock file naming the first process, not theirs", "TERMINAL",
            "TERMINAL cannot be locked: its lock file LOCK names process 1 (", RunIn::LockForged);
        row("another user's lock file naming no process", "TERMINAL",
            "TERMINAL cannot be locked: its lock file LOCK names no process that holds it, and "
            "another user may have put it there",
            RunIn::LockGarbled);
    }

    void portsThatDoNotOpen() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(int, runIn);
        const RunIn in = RunIn(runIn);
        QFETCH(QString, reason);
        if ((text == "/dev/console" || text == "/dev/tty0") && !QFileInfo::exists(text))
            QSKIP("this system has no console device (a container started without one)");
        test::PseudoTerminal terminal;
        QVERIFY(terminal.ok());
        const std::string device = terminal.devicePath();
        text.replace("TERMINAL", QString::fromStdString(device));
        reason.replace("TERMINAL", QString::fromStdString(device));
        const std::optional<fs::path> lock =
            LockFilePath(LockFileName(device.substr(std::string("/dev/").size())));
        // A lock file for this new terminal's number is a stale one, left by a run
        // that was killed: no process can hold a terminal that was just made.
        std::error_code ignored;
        if (lock)
            fs::remove(*lock, ignored);
        std::optional<LockHolder> holder;
        if (in == RunIn::Locked || in == RunIn::NoPermission) {
            QVERIFY(lock);
            holder.emplace(lock->string());
            QVERIFY2(holder->held(), lock->c_str());
            reason.replace("HOLDER", QString::number(holder->pid()));
        }
        const bool root = ::geteuid() == 0;
        const bool forged = in == RunIn::LockForged || in == RunIn::LockGarbled;
        if (in == RunIn::NoPermission)
            QCOMPARE(::chmod(device.c_str(), 0), 0);
        if ((in == RunIn::HeldAlone || in == RunIn::LockLeft || forged) && root)
            QCOMPARE(::chown(device.c_str(), Nobody, Nobody), 0);
        if (in == RunIn::HeldAlone)
            QCOMPARE(::ioctl(terminal.programEnd(), TIOCEXCL), 0);
        const bool planted = in == RunIn::LockIsAPipe || in == RunIn::LockIsALink || forged;
        const auto removeLock = qScopeGuard([&] {
            if ((in == RunIn::LockLeft || planted) && lock)
                fs::remove(*lock);
        });
        if (planted) {
            QVERIFY(lock && !fs::exists(fs::symlink_status(*lock)));
            if (forged && !root)
                QSKIP("writing another user's lock file needs root");
            if (in == RunIn::LockIsAPipe)
                QCOMPARE(::mkfifo(lock->c_str(), 0666), 0);
            else if (in == RunIn::LockIsALink)
                fs::create_symlink("/dev/zero", *lock);
            else {
                // Another user's, in the folder where only a file's owner may
                // remove it: Qt, run as nobody, may not remove it as stale.
                std::ofstream(*lock) << (in == RunIn::LockForged ? "1\nsystemd\n" : "hello\n");
                QCOMPARE(::chown(lock->c_str(), Nobody - 1, Nobody - 1), 0);
            }
            reason.replace("LOCK", QString::fromStdString(lock->string()));
        }
        if (in == RunIn::LockLeft) {
            if (!root)
                QSKIP("only the superuser can leave a lock file that the user may not remove");
            QVERIFY(lock && !fs::exists(*lock));
            const pid_t ended = ::fork();
            if (ended == 0)
                ::_exit(0);
            QCOMPARE(::waitpid(ended, nullptr, 0), ended);
            std::ofstream(*lock) << ended << "\nkvd62-capture\n";
            reason.replace("HOLDER", QString::number(ended));
            reason.replace("LOCK", QString::fromStdString(lock->string()));
        }
        PortAddress address =
            kind == int(PortAddress::Kind::Device)   ? PortAddress::device(text.toStdString())
            : kind == int(PortAddress::Kind::Number) ? PortAddress::number(text.toInt())
                                                     : PortAddress::unusable(text.toStdString());
        QTemporaryDir nodes;
        const test::RemovedAtEnd removed{nodes.path().toStdString()};
        if (text == "NODE") {
            const std::string node = nodes.path().toStdString() + "/pts-\xe9";
            struct stat terminalNode {};
            QCOMPARE(::stat(terminal.devicePath().c_str(), &terminalNode), 0);
            if (::mknod(node.c_str(), S_IFCHR | 0600, terminalNode.st_rdev) != 0)
                QSKIP("this test cannot make device nodes (that takes CAP_MKNOD)");
            address = PortAddress::device(node);
        }

        QtSerialPort::DeviceLister listed = ListSerialDevices;
        if (in == RunIn::Controlling || in == RunIn::StandardInput)
            listed = [&terminal] {
                return std::vector<SerialDevice>{{terminal.devicePath(), false}};
            };
        const bool here = in == RunIn::ThisTest || in == RunIn::Locked || (planted && !forged);
        const std::string said =
            here ? WhyNotOpened(address, listed) : WhyNotOpenedIn(in, terminal, address, listed);
        QVERIFY2(!said.empty() && said[0] != '<', said.c_str());
        QVERIFY2(QString::fromStdString(said).startsWith(reason), said.c_str());
    }
};

KVD_REGISTER_TEST(QtSerialPortTest)
#include "QtSerialPortTest.moc"
