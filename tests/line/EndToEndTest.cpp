#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <future>

#include "platform/StdFileSystem.h"
#include "platform/qt/QtPictureLoader.h"
#include "platform/qt/QtSerialPort.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"
#include "tests/windows/FormBench.h"
#include "windows/Form1.h"
#include "windows/PictureControl.h"

using namespace kvd;
using test::Decoded;
using test::ReadAll;
namespace fs = std::filesystem;

namespace {

// The whole program on its real serial port and picture loader, with the
// instrument on a pseudo-terminal reached through a link, as a user reaches an
// adapter through /dev/serial/by-id. The poll timer runs for real.
struct Bench {
    QTemporaryDir dir;
    fs::path folder{dir.path().toStdString()};
    fs::path cableLink = folder / "instrument";
    QtSerialPort comm;
    test::FakeFileDialog dialog;
    StdFileSystem files;
    test::FakeMessageBox box;
    test::FakeInputBox input;
    QtPictureLoader pictures;
    test::FakeFormPrinter printer;
    Services services{comm, dialog, files, box, input, pictures, printer, folder / "kvd62temp.bmp"};
    Form1 form{services};
    int ticks = 0;

    Bench() {
        QObject::connect(form.Timer1, &QTimer::timeout, [this] { ++ticks; });
    }
    void plugIn(const test::PseudoTerminal& cable) {
        fs::remove(cableLink);
        fs::create_symlink(cable.devicePath(), cableLink);
    }
    void selectCable() {
        auto* edit = form.findChild<QComboBox*>("Combo1")->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, QString::fromStdString(cableLink.string()));
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
    void screenshotsArriveOverTheLineAndSurviveAnUnplug() {
        Bench bench;
        test::PseudoTerminal cable;
        QVERIFY(cable.ok());
        bench.plugIn(cable);
        bench.selectCable();
        QCOMPARE(bench.comm.state(), PortState::Open);

        // A screenshot at the line's real pace, noise before it.
        const std::string first = test::TwoColourBitmap(71);
        QVERIFY(bench.send(cable, std::string("\0\xff noise", 8) + first));
        const int ticksAtLastByte = bench.ticks;
        QElapsedTimer sinceLastByte;
        sinceLastByte.start();
        QTRY_VERIFY_WITH_TIMEOUT(bench.form.state().ImageData == first, 10000);
        qInfo("shown %lld ms and %d ticks after its last byte", sinceLastByte.elapsed(),
              bench.ticks - ticksAtLastByte);
        // The tick after the last byte shows it, or at worst the one after when the
        // tick came before the bytes had passed through the driver.
        QVERIFY(bench.ticks - ticksAtLastByte <= 2);
        QCOMPARE(bench.shown(), Decoded(first));
        QVERIFY(ReadAll(bench.services.tempImagePath) == first);
        QVERIFY(bench.box.shown.empty());

        // Unplugged: the port is closed at once, so nothing spins on a dead device.
        cable.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(bench.comm.state(), PortState::Lost, 10000);
        const auto* device = bench.comm.findChild<QSerialPort*>();
        QVERIFY(device && !device->isOpen());
        auto* combo = bench.form.findChild<QComboBox*>("Combo1");
        QTRY_VERIFY_WITH_TIMEOUT(combo->toolTip().contains(": lost"), 5000);

        // Plugged back in: capture resumes by itself; the unsaved first screenshot
        // is asked about when the second arrives.
        test::PseudoTerminal again;
        bench.plugIn(again);
        QTRY_COMPARE_WITH_TIMEOUT(bench.comm.state(), PortState::Open, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(combo->toolTip().endsWith(": open"), 5000);
        bench.box.answers.push_back(DialogAnswer::No);
        const std::string second = test::TwoColourBitmap(72);
        QVERIFY(bench.send(again, second));
        QTRY_VERIFY_WITH_TIMEOUT(bench.form.state().ImageData == second, 10000);
        QCOMPARE(bench.box.shown.size(), std::size_t(1));
        QCOMPARE(bench.shown(), Decoded(second));
        QVERIFY(ReadAll(bench.services.tempImagePath) == second);
    }
};

KVD_REGISTER_TEST(EndToEndTest)
#include "EndToEndTest.moc"
