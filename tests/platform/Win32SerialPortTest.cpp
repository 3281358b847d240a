#include <QTest>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>

#include "capture/CaptureSession.h"
#include "capture/ConfigurePort.h"
#include "capture/ProbePorts.h"
#include "capture/SelectorText.h"
#include "platform/win32/Win32SerialPort.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {

// A USB-serial driver playing back what real ones answer, as the documentation
// and QSerialPort's years of reports describe them; Wine's COM port, a
// pseudo-terminal, never answers these. One port, COM7, listed as an FTDI
// adapter's.
class ScriptedDriver final : public CommDriver {
public:
    std::string waiting;                              // bytes on the line, not yet read
    DWORD lineErrors = 0;                             // reported by the next ClearCommError
    DWORD failClear = 0, failModem = 0, failRead = 0; // error codes; 0: the call works
    bool failState = false, failTimeouts = false;
    bool pulled = false; // the adapter is gone: it cannot be opened again
    std::vector<ListedPort> listed{{"COM7", "\\Device\\VCP0"}};
    std::map<std::string, PortHardware> devices; // as SetupAPI describes them
    std::vector<std::wstring> opened;            // the paths CreateFileW was asked for

    DWORD openError = 0; // CreateFileW fails with it
    bool held = false;   // CreateFileW waits, as for a paired device, until release()

    HANDLE open(const std::wstring& path) override {
        std::unique_lock lock(gate_);
        released_.wait(lock, [this] { return !held; });
        opened.push_back(path);
        if (pulled || openError != 0) {
            error_ = pulled ? ERROR_FILE_NOT_FOUND : openError;
            return INVALID_HANDLE_VALUE;
        }
        return reinterpret_cast<HANDLE>(7);
    }
    void release() {
        {
            const std::lock_guard lock(gate_);
            held = false;
        }
        released_.notify_all();
    }
    BOOL setupComm(HANDLE, DWORD) override { return TRUE; }
    DWORD failGetState = 0; // GetCommState fails with it
    BOOL getState(HANDLE, DCB&) override { return Answer(failGetState); }
    BOOL setState(HANDLE, DCB&) override { return Answer(failState ? ERROR_INVALID_PARAMETER : 0); }
    BOOL setTimeouts(HANDLE, COMMTIMEOUTS&) override {
        return Answer(failTimeouts ? ERROR_GEN_FAILURE : 0);
    }
    BOOL escape(HANDLE, DWORD) override { return TRUE; }
    BOOL clearError(HANDLE, DWORD& errors, COMSTAT& status) override {
        errors = std::exchange(lineErrors, 0);
        status.cbInQue = DWORD(waiting.size());
        return Answer(failClear);
    }
    BOOL modemStatus(HANDLE, DWORD& status) override {
        status = 0;
        return Answer(failModem);
    }
    BOOL read(HANDLE, char* into, DWORD size, DWORD& got) override {
        got = 0;
        if (failRead != 0)
            return Answer(failRead);
        got = DWORD(std::min<std::size_t>(size, waiting.size()));
        waiting.copy(into, got);
        waiting.erase(0, got);
        return TRUE;
    }
    void close(HANDLE) override {}
    DWORD lastError() override { return error_; }
    std::vector<ListedPort> ports() override { return listed; }
    std::map<std::string, PortHardware> hardware() override { return devices; }

private:
    BOOL Answer(DWORD error) {
        error_ = error;
        return error == 0;
    }
    DWORD error_ = 0;
    std::mutex gate_;
    std::condition_variable released_;
};

} // namespace

// The line itself is tried end to end by scripts/windows.sh, which hands the
// program a pseudo-terminal as a COM port through Wine.
class Win32SerialPortTest : public QObject {
    Q_OBJECT

private slots:
    // A port that is not there says which, and in words that do not send a
    // Windows user looking for Linux's serial-device group.
    void aMissingPortSaysWhich_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("device");
        QTest::newRow("number") << "187"
                                << "COM187";
        QTest::newRow("a name, in any case") << "cOm190"
                                             << "cOm190";
    }
    void aMissingPortSaysWhich() {
        QFETCH(QString, given);
        QFETCH(QString, device);
        Win32SerialPort port;
        const Outcome opened = ConfigurePort(port, ReadPortAddress(given.toStdString()), true);
        QVERIFY(!opened.ok());
        QCOMPARE(port.state(), PortState::Closed);
        QCOMPARE(QString::fromStdString(port.deviceName()), device);
        QCOMPARE(QString::fromStdString(port.problem()),
                 QString("there is no serial port %1 on this computer").arg(device));
        QCOMPARE(port.bytesWaiting(), 0);
        QVERIFY(port.read().empty());
    }

    // What drivers do when their adapter is pulled, or the line garbles, and
    // what the program must make of it. Half a screenshot arrives on COM7, then
    // `fault` strikes with the rest on the line, then a whole screenshot comes.
    // An unplug, however the driver says it, is a loss; an overrun drops the
    // screenshot it cut, never joins it to the next; a port that refuses its
    // settings or timeouts is not used.
    void driversAsTheyBehave_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("handedOut");
        QTest::addColumn<QString>("said");
        const int lost = int(PortState::Lost), open = int(PortState::Open);
        QTest::newRow("FTDI or Prolific pulled: ReadFile fails (operation aborted, bad command)")
            << "read 995" << lost << 0 << ": lost";
        QTest::newRow("pulled, ClearCommError fails: access denied")
            << "clear 5" << lost << 0 << ": lost";
        QTest::newRow("Bluetooth gone: GetCommModemStatus fails, device removed")
            << "modem 1617" << lost << 0 << ": lost";
        QTest::newRow("pulled, every call still works: the name leaves the list")
            << "unlisted" << lost << 0 << ": lost";
        QTest::newRow("an overrun in the middle of a screenshot")
            << "overrun" << open << 1 << "Bytes were lost on the line (overrun";
        QTest::newRow("no modem lines: GetCommModemStatus never answers")
            << "nomodem" << open << 2 << ": open";
        QTest::newRow("SetCommTimeouts refused")
            << "timeouts" << int(PortState::Closed) << 0 << "read timeouts were refused";
        QTest::newRow("SetCommState refused")
            << "state" << int(PortState::Closed) << 0 << "line settings were refused";
        // Pulled, then a device is plugged in and listed as COM7: the adapter
        // itself, or another, which Windows may give the number (Device
        // Manager lets the user do so). Only the instrument's adapter is opened.
        QTest::newRow("pulled, and back as COM7") << "back" << open << 1 << "COM7: open";
        QTest::newRow("pulled, and another adapter made COM7: not opened")
            << "another" << lost << 0
            << R"(COM7 is now another device (USB-SERIAL CH340, USB\VID_1A86&PID_7523\5&2E1F&0&3); )"
               R"(waiting for the instrument's adapter (USB Serial Port, )"
               R"(FTDIBUS\VID_0403+PID_6001+A50285BIA\0000) to return)";
        // Swapped between two looks, COM7 listed all the while, for one of the
        // same make, whose driver's device is the same: the list looks as it
        // did, so it is told apart only once opened, and closed again unread.
        QTest::newRow("swapped for another of the same make: closed again unread")
            << "same make" << lost << 0
            << R"(COM7 is now another device (USB Serial Port, FTDIBUS\VID_0403+PID_6001+A7B3C2D1A\0000))";
    }
    void driversAsTheyBehave() {
        QFETCH(QString, fault);
        QFETCH(int, state);
        QFETCH(int, handedOut);
        QFETCH(QString, said);
        const std::string first = test::TwoColourBitmap(31), second = test::TwoColourBitmap(32);
        ScriptedDriver driver;
        const auto ftdi = [](const char* serial) {
            return PortHardware{"USB Serial Port (COM7)",
                                std::string("FTDIBUS\\VID_0403+PID_6001+") + serial + "A\\0000",
                                "Ports"};
        };
        driver.devices["COM7"] = ftdi("A50285BI");
        driver.failTimeouts = fault == "timeouts";
        driver.failState = fault == "state";
        driver.failModem = fault == "nomodem" ? ERROR_INVALID_PARAMETER : 0;
        Win32SerialPort port(driver);
        // Each CreateFileW runs on a thread of its own. The scripted driver
        // answers at once, but on a loaded machine the thread may not have run
        // yet when the port looks: the user's open waits for its answer here,
        // and a reopen's answer is awaited before the polls that take it, as a
        // driver's answer comes well within the half second between polls.
        port.setOpenWait(std::chrono::hours(1));
        test::FakePictureLoader pictures;
        ArrivalHold hold;
        CaptureSession session(port, pictures, hold);
        session.choosePort("7", PortChoice::Typed);
        std::vector<std::string> arrived;
        const auto tick = [&](const std::string& bytes) {
            driver.waiting += bytes;
            session.tick();
            while (const std::optional<Arrival> arrival = session.nextArrival())
                if (arrival->kind == Arrival::Kind::Screenshot) // not a piece the loss cut off
                    arrived.push_back(arrival->bytes);
        };
        tick(first.substr(0, 1400));
        const QStringList call = fault.split(' ');
        const DWORD code = call.size() > 1 ? DWORD(call[1].toULong()) : 0;
        if (call[0] == "read")
            driver.failRead = code;
        else if (call[0] == "clear")
            driver.failClear = code;
        else if (call[0] == "modem")
            driver.failModem = code;
        else if (fault == "unlisted" || fault == "back" || fault == "another")
            driver.listed.clear();
        else if (fault == "same make")
            driver.failRead = ERROR_OPERATION_ABORTED;
        else if (fault == "overrun")
            driver.lineErrors = CE_OVERRUN;
        driver.pulled = int(PortState::Lost) == state || fault == "back";
        tick(first.substr(fault == "overrun" ? 1500 : 1400)); // an overrun lost 100 bytes
        if (fault == "back" || fault == "another" || fault == "same make") {
            QCOMPARE(session.portState(), PortState::Lost);
            session.tick(); // retried while the adapter is away
            driver.pulled = false;
            driver.failRead = 0;
            if (fault == "another") {
                driver.listed = {{"COM7", "\\Device\\USBSER000"}};
                driver.devices["COM7"] = {"USB-SERIAL CH340 (COM7)",
                                          R"(USB\VID_1A86&PID_7523\5&2E1F&0&3)", "Ports"};
            } else {
                driver.listed = {{"COM7", "\\Device\\VCP0"}};
                if (fault == "same make")
                    driver.devices["COM7"] = ftdi("A7B3C2D1");
            }
        }
        tick(second);
        if (fault == "back" || fault == "another" || fault == "same make") {
            // That tick's reopen may or may not have had its answer yet; once it
            // has, a tick takes it, and the bytes are read by the tick after
            // the one that reopened the port.
            QVERIFY(!port.stillOpening(std::chrono::hours(1)));
            tick({});
            tick({});
        }
        QCOMPARE(int(session.portState()), state);
        if (fault == "another") // not even opened: CreateFileW was asked for it once, at the start
            QCOMPARE(int(driver.opened.size()), 1);
        QCOMPARE(int(arrived.size()), handedOut);
        if (handedOut > 0)
            QVERIFY(arrived.back() == second);
        QVERIFY2(QString::fromStdString(session.portDescription()).contains(said),
                 session.portDescription().c_str());
    }

    // CreateFileW on an outgoing Bluetooth port waits for the paired device, for
    // seconds, where Wine's COM ports answer at once. The port the user chooses
    // waits a moment for it and goes on without the answer: the window says that
    // the port has not answered yet, and choosing it again starts no other open.
    // A lost port's retries never wait. No poll waits on it either (each would
    // wait an hour here): the answer, held until the polls have passed, is taken
    // at the first poll after it came, with one CreateFileW for them all.
    // Without a window the capture waits for the answer, saying so at once and
    // again every so often (here, at once). "pulled": the adapter is unplugged
    // between CreateFileW and GetCommState.
    void aPendingOpenNeverHoldsAPoll_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("said");
        const int open = int(PortState::Open), closed = int(PortState::Closed),
                  lost = int(PortState::Lost);
        const QString late = "COM7 did not answer: a Bluetooth port waits for the device it is "
                             "paired with";
        const QString pulled = "COM7 was unplugged or switched off while it was being opened";
        for (const QString how : {"chosen", "retried", "no window"}) {
            const int failed = how == "retried" ? lost : closed;
            const QString lostAs = how == "retried" ? "COM7: lost (" : "";
            QTest::addRow("%s: it answers late", qPrintable(how))
                << how << "open" << open << "COM7: open";
            QTest::addRow("%s: the semaphore times out", qPrintable(how))
                << how << "121" << failed << lostAs + late;
            QTest::addRow("%s: pulled while it opened", qPrintable(how))
                << how << "pulled" << failed << lostAs + pulled;
        }
        QTest::newRow("chosen: pulled, its driver says it was removed")
            << "chosen"
            << "removed" << closed << pulled;
    }
    void aPendingOpenNeverHoldsAPoll() {
        QFETCH(QString, how);
        QFETCH(QString, answer);
        QFETCH(int, state);
        QFETCH(QString, said);
        ScriptedDriver driver;
        Win32SerialPort port(driver);
        test::FakePictureLoader pictures;
        ArrivalHold hold;
        CaptureSession session(port, pictures, hold);
        if (how == "retried") {
            session.choosePort("7", PortChoice::Typed);
            QCOMPARE(session.portState(), PortState::Open);
            driver.failRead = ERROR_OPERATION_ABORTED;
            session.tick();
            QCOMPARE(session.portState(), PortState::Lost);
            driver.failRead = 0;
        }
        driver.held = true;
        port.setOpenWait(std::chrono::milliseconds(0));
        if (how != "retried")
            for (int choice = 0; choice < 2; ++choice)
                session.choosePort("7", PortChoice::Typed);
        port.setOpenWait(std::chrono::hours(1)); // only the user's choice may wait
        const auto answers = [&] {
            if (answer == "pulled") {
                driver.failGetState = ERROR_GEN_FAILURE;
                driver.listed.clear();
            } else if (answer == "removed") {
                driver.failGetState = ERROR_DEVICE_REMOVED;
            } else if (answer != "open") {
                driver.openError = answer.toULong();
            }
            driver.release();
        };
        QStringList lines;
        if (how == "no window") {
            session.waitForPort(
                std::chrono::milliseconds(0),
                [&](const std::string& line) {
                    lines << QString::fromStdString(line);
                    if (lines.size() == 2)
                        answers();
                },
                [] { return false; });
            QVERIFY2(lines.size() >= 2 && lines[0].contains("has not answered yet") &&
                         lines[0].endsWith("Waiting for it; Ctrl+C gives up."),
                     qPrintable(lines.join('\n')));
            for (const QString& line : lines.mid(1))
                QCOMPARE(line, "still waiting for COM7 to answer.");
        } else {
            for (int poll = 0; poll < 3; ++poll) {
                session.tick();
                QVERIFY2(session.portDescription().find("COM7 has not answered yet") !=
                             std::string::npos,
                         session.portDescription().c_str());
            }
            answers();
            QVERIFY(!port.stillOpening(std::chrono::hours(1)));
            session.tick();
        }
        QCOMPARE(int(session.portState()), state);
        QVERIFY2(QString::fromStdString(session.portDescription()).startsWith(said),
                 session.portDescription().c_str());
        QCOMPARE(int(driver.opened.size()), how == "retried" ? 2 : 1);
    }

    // Start-up tries the first two ports Windows lists that are worth trying:
    // an adapter's before the board's own, in COM-number order, never a
    // Bluetooth port or a modem, whose open can wait for seconds; a typed number
    // still means COMn. Wine's SetupAPI knows none of the devices behind its
    // ports, so these rows answer as SetupAPI does on Windows: "name=driver's
    // device[=instance ID=setup class=Device Manager's name[=the devices it hangs
    // on, nearest first, apart by ;]]".
    void startUpTriesTheListedPorts_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QList<int>>("probed");
        const QString ftdi = R"(=FTDIBUS\VID_0403+PID_6001+A50285BIA\0000=Ports)";
        const QString prolific = R"(=USB\VID_067B&PID_2303\5&1A2B3C&0&2=Ports)";
        const QString board = R"(=ACPI\PNP0501\1=Ports=Communications Port)";
        QTest::newRow("only COM10, unknown to SetupAPI as Wine's are")
            << QStringList{R"(COM10=\Device\Serial9)"} << QList<int>{10};
        QTest::newRow("the board's COM1 and an adapter's COM7")
            << QStringList{R"(COM1=\Device\Serial0)" + board + " (COM1)",
                           R"(COM7=\Device\VCP0)" + ftdi + "=USB Serial Port (COM7)"}
            << QList<int>{7, 1};
        QTest::newRow("COM3 before COM10, then no more")
            << QStringList{R"(COM10=\Device\ProlificSerial0)" + prolific,
                           R"(COM3=\Device\VCP0)" + ftdi, R"(COM4=\Device\Serial0)" + board}
            << QList<int>{3, 10};
        QTest::newRow("no ports") << QStringList{} << QList<int>{};
        QTest::newRow("a name beyond any port number")
            << QStringList{R"(COM99999999999=\Device\VCP0)" + ftdi, R"(COM2=\Device\Serial1)"}
            << QList<int>{2};
        QTest::newRow("an office PC: Intel AMT's port, the board's, an adapter on its own bus")
            << QStringList{R"(COM3=\Device\Serial2=PCI\VEN_8086&DEV_A13D&SUBSYS_07A11028\3&1&0&B3=Ports=)"
                           R"(Intel(R) Active Management Technology - SOL (COM3))",
                           R"(COM1=\Device\Serial0)" + board + " (COM1)",
                           R"(COM9=\Device\UPort0=UPORTBUS\PORT_1\7&2E1F&0&1=Ports=USB Serial Port (COM9)=)"
                           R"(UPORTBUS\ROOT\6&1&0;USB\VID_110A&PID_1150\5&1A2B3C&0&4)"}
            << QList<int>{9, 1};
        QTest::newRow("a USB modem and Bluetooth, then the board's port")
            << QStringList{R"(COM6=\Device\USBSER000=USB\VID_1199&PID_9071&MI_03\6&1&0&0003=Modem)",
                           R"(COM3=\Device\BthModem0)", R"(COM1=\Device\Serial0)" + board}
            << QList<int>{1};
    }
    void startUpTriesTheListedPorts() {
        QFETCH(QStringList, listed);
        QFETCH(QList<int>, probed);
        ScriptedDriver driver;
        driver.listed.clear();
        for (const QString& port : listed) {
            const std::string name = port.section('=', 0, 0).toStdString();
            driver.listed.push_back({name, port.section('=', 1, 1).toStdString()});
            if (port.section('=', 2).isEmpty())
                continue;
            PortHardware& device = driver.devices[name];
            device = {port.section('=', 4, 4).toStdString(), port.section('=', 2, 2).toStdString(),
                      port.section('=', 3, 3).toStdString()};
            for (const QString& parent : port.section('=', 5).split(';', Qt::SkipEmptyParts))
                device.parents.push_back(parent.toStdString());
        }
        Win32SerialPort port(driver);
        CaptureState state;
        const ProbeReport report = ProbePorts(state, port);
        // Only the ports tried are ever opened (every one opens here), all through
        // the device namespace, which alone opens COM10 and above.
        QStringList opened, tried;
        for (const std::wstring& path : driver.opened)
            opened << QString::fromStdWString(path);
        for (int n : probed)
            tried << QString(R"(\\.\COM%1)").arg(n);
        QCOMPARE(opened, tried);
        QCOMPARE(int(report.found.size()), int(probed.size()));
        // The selector's list names each as Device Manager does, where it can.
        for (std::size_t i = 0; i < report.found.size(); ++i) {
            const std::string name = "COM" + std::to_string(report.found[i].port);
            const std::string known = driver.devices[name].friendlyName;
            QCOMPARE(report.found[i].port, probed[int(i)]);
            QCOMPARE(QString::fromStdString(report.found[i].device),
                     QString::fromStdString(known.empty() ? name : known));
        }
    }
};

KVD_REGISTER_TEST(Win32SerialPortTest)
#include "Win32SerialPortTest.moc"
