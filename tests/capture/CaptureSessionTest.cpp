#include <QTest>

#include "capture/CaptureSession.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/DevicePaths.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using namespace std::chrono_literals;
using test::AsBytes;

namespace {

using test::First, test::Second, test::Third;

const QString LongPath = test::LongDevice;

// The session on a scripted port, started up; `arrived` collects what it hands
// out to be dealt with.
struct Session {
    test::FakeSerialPort comm;
    test::FakePictureLoader pictures;
    ArrivalHold hold;
    CaptureSession session{comm, pictures, hold};
    QList<QByteArray> arrived;

    explicit Session(std::set<int> ports = {1, 2}) { comm.present = std::move(ports); }
    void tick(const std::string& bytes = {}) {
        comm.arrive(bytes);
        session.tick();
        while (std::optional<Arrival> arrival = session.nextArrival())
            arrived << AsBytes(arrival->kind == Arrival::Kind::PictureFile ? arrival->path
                                                                           : arrival->bytes);
    }
};

} // namespace

class CaptureSessionTest : public QObject {
    Q_OBJECT

private slots:
    // A line error drops the screenshot in progress and what came with it, never
    // making one of pieces of two, and says so. "!": a read with an overrun.
    void aLineErrorDropsTheScreenshotInProgress() {
        Session rig;
        rig.session.startUp(std::nullopt);
        QList<int> handedOut, said;
        for (std::string read :
             {"xyz" + First.substr(0, 1400), First.substr(1400), First.substr(0, 1400),
              "!" + First.substr(1500) + Second.substr(0, 100), Second.substr(100), First}) {
            if (read.starts_with('!'))
                rig.comm.lineError = "overrun";
            rig.tick(read.starts_with('!') ? read.substr(1) : read);
            handedOut << int(rig.arrived.size());
            said << int(rig.session.portDescription().ends_with(
                "Bytes were lost on the line (overrun): the screenshot in progress was dropped"));
        }
        QCOMPARE(handedOut, (QList<int>{0, 1, 1, 1, 1, 2}));
        QCOMPARE(said, (QList<int>{0, 0, 0, 1, 1, 1}));
        QCOMPARE(rig.arrived, (QList<QByteArray>{AsBytes(First), AsBytes(First)}));
    }

    // Start-up's selector and what it says; each port opens once at most. With
    // none open it says so once, with what to do about port 1's `refusal`. A
    // `problem` part after "!" must not be said.
    void startUpOpensEachPortOnceAndSaysWhatFailed_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("stateLine");
        QTest::addColumn<QString>("selectorText");
        QTest::addColumn<QStringList>("problem");
        QTest::addColumn<QString>("refusal");
        const QString inUse = "/dev/ttyFAKE1 is in use by another program (kvd62-capture, "
                              "process 1234)";

        QTest::newRow("only port 2") << QList<int>{2} << ""
                                     << "/dev/ttyFAKE2: open"
                                     << "2" << QStringList{} << "";
        QTest::newRow("no port, port 1 refused") << QList<int>{} << ""
                                                 << "/dev/ttyFAKE1: permission denied"
                                                 << "" << QStringList {
            "Port 1 (/dev/ttyFAKE1): permission denied.", "Port 2 (/dev/ttyFAKE2): no such device.",
#ifdef _WIN32 // what is true there: a port another program holds, and its names
                "Another program may be using the port", "(such as COM7)"
        }
#else
                "dialout", "(such as /dev/ttyUSB0)"
        }
#endif
        << "Permission denied";
        QTest::newRow("no port, port 1 in use by another program")
            << QList<int>{} << "" << inUse << ""
            << QStringList{"Port 1: " + inUse + ".", "Close the program that has the port",
                           "!dialout", "!Another program may be using"}
            << inUse;
        QTest::newRow("a missing port given")
            << QList<int>{1, 2} << "5"
            << "/dev/ttyFAKE5: no such device"
            << "5"
            << QStringList{"The serial port given with --port could not be opened "
                           "(/dev/ttyFAKE5: no such device)",
                           "!dialout", "!Close the program"}
            << "";
        QTest::newRow("a port given in use by another program")
            << QList<int>{2} << "1" << inUse << "1"
            << QStringList{"could not be opened (" + inUse + ")",
                           "Close the program that has the port", "!dialout",
                           "!Another program may be using"}
            << inUse;
        QTest::newRow("a port given that this user may not open")
            << QList<int>{2} << "1"
            << "/dev/ttyFAKE1: permission denied"
            << "1"
#ifdef _WIN32
            << QStringList{"Another program may be using the port", "!Close the program"}
#else
            << QStringList{"dialout", "!Close the program"}
#endif
            << "Permission denied";
#ifndef _WIN32 // the stand-in port's devices have Linux's names
        // A link named in Latin-1 opens as its device; the selector shows that name.
        QTest::newRow("a link named in Latin-1 given")
            << QList<int>{1, 2, 3} << QString::fromLatin1("/dev/port-\xe9") << "/dev/ttyFAKE3: open"
            << "/dev/ttyFAKE3" << QStringList{} << "";
#endif
    }

    void startUpOpensEachPortOnceAndSaysWhatFailed() {
        QFETCH(QList<int>, present);
        QFETCH(QString, given);
        QFETCH(QString, stateLine);
        QFETCH(QString, selectorText);
        QFETCH(QStringList, problem);
        QFETCH(QString, refusal);

        Session rig(std::set<int>(present.begin(), present.end()));
        if (!refusal.isEmpty())
            rig.comm.refused[1] = refusal.toStdString();
        rig.comm.opensAs["/dev/port-\xe9"] = "/dev/ttyFAKE3";
        std::optional<std::string> port;
        if (!given.isEmpty())
            port = given.toLatin1().toStdString();
        const PortList selector = rig.session.startUp(port);
        QCOMPARE(QString::fromStdString(selector.text.value_or("")), selectorText);

        const std::set<std::string> once(rig.comm.opened.begin(), rig.comm.opened.end());
        QCOMPARE(once.size(), rig.comm.opened.size());
        QCOMPARE(QString::fromStdString(rig.session.portDescription()), stateLine);
        const std::optional<std::string> said = rig.session.portProblem();
        QCOMPARE(said.has_value(), !problem.isEmpty());
        for (const QString& part : problem)
            QVERIFY2(part.startsWith('!')
                         ? said->find(part.mid(1).toStdString()) == std::string::npos
                         : said->find(part.toStdString()) != std::string::npos,
                     (part + " in: " + QString::fromStdString(*said)).toUtf8().constData());
    }

    // A port chosen before start-up comes to the ports stays open and is listed,
    // the selector's text left as it is; nothing is said. Bytes from a port never
    // join the next one's: port 2's half screenshot is not completed by port 1.
    void aChosenPortStandsAndStartsAfresh() {
        Session rig;
        rig.session.choosePort("2", PortChoice::Typed);
        rig.tick(First.substr(0, 1000));
        const PortList selector = rig.session.startUp(std::nullopt);
        rig.tick(First.substr(1000) + Second.substr(0, 1000));
        QCOMPARE(rig.comm.opened, (std::vector<std::string>{"/dev/ttyFAKE2", "/dev/ttyFAKE1"}));
        QCOMPARE(selector.found.size(), std::size_t(2));
        QVERIFY(!selector.text);
        QVERIFY(!rig.session.portProblem());
        rig.session.choosePort("1", PortChoice::Picked);
        rig.tick(Second.substr(1000) + Third);
        QCOMPARE(rig.arrived, (QList<QByteArray>{AsBytes(First), AsBytes(Third)}));
    }

    // A port number opens as typed; a device path once the typing pauses (never
    // /dev/ttyS1 on the way to /dev/ttyS10); Enter or a pick opens at once.
    void aTypedPortOpensOnceTheTypingIsDone_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("pressEnter");
        QTest::addColumn<QString>("opened");
        QTest::newRow("a number") << "2" << false << "/dev/ttyFAKE2";
        QTest::newRow("a device path, then a pause") << LongPath << false << LongPath;
        QTest::newRow("a device path, then Enter") << LongPath << true << LongPath;
#ifndef _WIN32
        // Past 15 bytes a string's text lives on the heap: these catch a chosen
        // path read after the session let it go.
        const QString byId = QString::fromUtf8(test::ByIdDevice);
        const QString named = QString::fromUtf8(test::NamedDevice);
        const QString deep = "/dev/" + QString(195, 'x');
        QTest::newRow("a by-id path, then a pause") << byId << false << byId;
        QTest::newRow("a name with a space and an umlaut, then a pause") << named << false << named;
        QTest::newRow("200 characters, then a pause") << deep << false << deep;
#endif
    }

    void aTypedPortOpensOnceTheTypingIsDone() {
        QFETCH(QString, typed);
        QFETCH(bool, pressEnter);
        QFETCH(QString, opened);
        Session rig;
        rig.comm.listed = {"/dev/ttyFAKE1", "/dev/ttyFAKE2", test::ShortDevice,
                           typed.toStdString()};
        rig.session.startUp(std::nullopt);
        rig.comm.calls.clear();
        // A person's pace: a key every 150 ms.
        auto now = CaptureSession::Clock::time_point{} + 1h;
        std::chrono::milliseconds wait{};
        for (qsizetype length = 1; length <= typed.size(); ++length) {
            now += 150ms;
            wait = rig.session.selectorEdited(typed.left(length).toStdString(), now);
        }
        const bool path = typed != "2";
        QCOMPARE(rig.comm.calls.empty(), path);
        if (pressEnter) {
            rig.session.choosePort(typed.toStdString(), PortChoice::Typed);
        } else if (path) {
            QVERIFY(wait > 150ms); // longer than a pause between two keys
            now += wait - 1ms;
            QVERIFY(rig.session.typingPaused(now) > 0ms);
            QVERIFY(rig.comm.calls.empty());
            now += 1ms;
            QCOMPARE(rig.session.typingPaused(now), 0ms);
        }
        QCOMPARE(rig.session.typingPaused(now + 1h), 0ms); // nothing opens twice
        QCOMPARE(rig.comm.opened.back(), opened.toStdString());
        QCOMPARE(std::count(rig.comm.calls.begin(), rig.comm.calls.end(), "open"), 1);
    }

    // The instrument's adapter, port 1, goes away; the other moves up to number 1.
    // The lost port is retried as its own device only; its half screenshot is
    // handed out as dropped. A port chosen meanwhile ends the loss. `comesBack`:
    // by serial number, what takes the lost name: the adapter itself, or another
    // (then ours returns as /dev/ttyUSB2). Empty: names are not checked.
    void aLostPortComesBackAsTheSameDevice_data() {
        QTest::addColumn<bool>("saidSo");
        QTest::addColumn<bool>("anotherChosen");
        QTest::addColumn<QString>("comesBack");
        QTest::newRow("the port reports the loss") << true << false << "";
        QTest::newRow("the line hangs up without a word") << false << false << "";
        QTest::newRow("another port chosen while it is lost") << true << true << "";
        QTest::newRow("the same adapter back under its name") << true << false << "itself";
        QTest::newRow("another adapter under its name: not opened; the adapter "
                      "under the next")
            << true << false << "another";
    }

    void aLostPortComesBackAsTheSameDevice() {
        QFETCH(bool, saidSo);
        QFETCH(bool, anotherChosen);
        QFETCH(QString, comesBack);
        const auto adapter = [](const char* serial) {
            return DeviceIdentity{DeviceIdentity::Kind::Device,
                                  std::string("usb 0403:6001 serial ") + serial,
                                  std::string("FTDI FT232R USB UART, serial ") + serial};
        };
        Session rig;
        rig.comm.listed = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
        if (!comesBack.isEmpty())
            rig.comm.identities = {{"/dev/ttyUSB0", adapter("A")}, {"/dev/ttyUSB1", adapter("C")}};
        rig.session.startUp(std::nullopt);
        QCOMPARE(rig.comm.opened, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1"}));

        rig.comm.arrive(First + Second.substr(0, 2000));
        saidSo ? rig.comm.lose() : rig.comm.hangUpSilently();
        rig.comm.listed = {"/dev/ttyUSB1"};
        QVERIFY(rig.session.tick().portChanged);
        rig.tick();
        QCOMPARE(rig.arrived, (QList<QByteArray>{AsBytes(First), AsBytes(Second.substr(0, 2000))}));
        QCOMPARE(rig.comm.opened.size(), std::size_t(2)); // not /dev/ttyUSB1 again
        QCOMPARE(rig.session.portState(), PortState::Lost);
        // The retry's own reason, not the one the port was lost with. An adapter
        // known by its identity is not tried while no device has its name.
        QVERIFY2(rig.session.portDescription().starts_with(
                     comesBack.isEmpty() ? "/dev/ttyUSB0: lost (no such device), "
                                           "waiting for it to return"
                                         : "/dev/ttyUSB0: lost (device removed), "
                                           "waiting for it to return"),
                 rig.session.portDescription().c_str());
        std::string back = "/dev/ttyUSB0";
        if (comesBack == "another") {
            rig.comm.listed = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
            rig.comm.identities["/dev/ttyUSB0"] = adapter("B");
            rig.comm.plugBackIn();
            QVERIFY(rig.session.tick().portChanged);
            QCOMPARE(rig.comm.opened.size(), std::size_t(2));
            QCOMPARE(rig.session.portState(), PortState::Lost);
            QCOMPARE(rig.session.portDescription(),
                     std::string("/dev/ttyUSB0 is now another device (FTDI FT232R USB UART, "
                                 "serial B); waiting for the instrument's adapter (FTDI FT232R "
                                 "USB UART, serial A) to return"));
            QVERIFY(!rig.session.tick().portChanged); // said once
            back = "/dev/ttyUSB2";
            rig.comm.listed.push_back(back);
            rig.comm.identities[back] = adapter("A");
        }

        if (anotherChosen) {
            rig.session.choosePort("3", PortChoice::Typed);
            QCOMPARE(rig.session.portState(), PortState::Closed);
            QCOMPARE(rig.session.portDescription(), std::string("port 3: no such device"));
        }
        if (comesBack != "another")
            rig.comm.listed = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
        rig.comm.plugBackIn();
        if (anotherChosen) {
            QVERIFY(!rig.session.tick().portChanged);
            QCOMPARE(rig.comm.opened.size(), std::size_t(2));
            QCOMPARE(rig.session.portState(), PortState::Closed);
            return;
        }
        QVERIFY(rig.session.tick().portChanged);
        QCOMPARE(rig.comm.opened.back(), back);
        QCOMPARE(rig.session.portDescription(),
                 back + (back == "/dev/ttyUSB0" ? ": open"
                                                : ": open (the adapter that was /dev/ttyUSB0)"));
        // Joined to the bytes from before the loss, this would decode.
        rig.tick(Third);
        QCOMPARE(rig.arrived, (QList<QByteArray>{AsBytes(First), AsBytes(Second.substr(0, 2000)),
                                                 AsBytes(Third)}));
    }

    // Nothing is handed out while a dialog, or a question over it, is open; the
    // window hears when the last closes. A picture file comes after what came first.
    void aPictureFileWaitsForWhatArrivedBeforeIt() {
        Session rig;
        rig.session.startUp(std::nullopt);
        int released = 0;
        rig.hold.whenReleased([&] { ++released; });
        auto openDialog = std::make_unique<ArrivalHold::Taken>(rig.hold);
        auto question = std::make_unique<ArrivalHold::Taken>(rig.hold); // over the Open dialog
        rig.tick(First);
        question.reset();
        QVERIFY(!rig.session.readyToDeal());
        QVERIFY(rig.arrived.isEmpty());
        rig.session.showPictureFileLater("picked.bmp");
        // The caption counts the screenshots that wait, not the picture.
        QCOMPARE(rig.session.caption("KVD62"), std::string("KVD62 - 1 screenshot waiting"));
        QCOMPARE(released, 0);
        openDialog.reset();
        QCOMPARE(released, 1);
        QVERIFY(rig.session.readyToDeal());
        rig.comm.arrive(Second);
        rig.session.tick();
        rig.session.showPictureFileLater("dropped.bmp");
        rig.tick();
        QCOMPARE(rig.arrived,
                 (QList<QByteArray>{AsBytes(First), "picked.bmp", AsBytes(Second), "dropped.bmp"}));
        QCOMPARE(rig.session.caption("KVD62"), std::string("KVD62"));
    }

    void theCaptionSaysWhereScreenshotsGoAndHowManyWait() {
        Session rig;
        rig.session.startUp(std::nullopt);
        rig.session.savingTo("/home/ann/shots");
        const ArrivalHold::Taken dialog = rig.hold.take();
        for (std::uint32_t i = 0; i < 3; ++i)
            rig.tick(test::TwoColourBitmap(500 + i));
        QCOMPARE(rig.session.caption("KVD62 screen capture V2.00"),
                 std::string("KVD62 screen capture V2.00 - saving to /home/ann/shots - 3 "
                             "screenshots waiting"));
    }

    // "Disable Save" follows its box, greyed counting as unchecked; "Save image"
    // is on exactly while saving is not disabled.
    void disableSaveFollowsTheBox_data() {
        QTest::addColumn<int>("mark");
        QTest::addColumn<bool>("disabled");
        QTest::newRow("checked") << int(CheckMark::Checked) << true;
        QTest::newRow("unchecked") << int(CheckMark::Unchecked) << false;
        QTest::newRow("greyed") << int(CheckMark::Greyed) << false;
    }

    void disableSaveFollowsTheBox() {
        QFETCH(int, mark);
        QFETCH(bool, disabled);
        Session rig;
        rig.session.saveDisabledChanged(disabled ? CheckMark::Unchecked : CheckMark::Checked);
        QCOMPARE(rig.session.saveDisabledChanged(CheckMark(mark)), !disabled);
        QCOMPARE(rig.session.saveDisabled(), disabled);
    }
};

KVD_REGISTER_TEST(CaptureSessionTest)
#include "CaptureSessionTest.moc"
