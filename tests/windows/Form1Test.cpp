#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "tests/capture/PortSteps.h"
#include "tests/support/DevicePaths.h"
#include "tests/support/FormRig.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {

bool ShownRed(QComboBox* combo) {
    return combo->lineEdit()->palette().color(QPalette::Text) == QColor(Qt::red);
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    // Start-up fills the selector from the session: the ports found, each with
    // its device as tooltip, the port given, and red while no port is open.
    // "Save image" starts off; "Disable Save" reaches the session with its mark,
    // greyed as such, and switches it; its click opens the save flow.
    void startUpAndTheSaveControls() {
        test::FormRig rig({2});
        rig.comm.refused[1] = "Permission denied";
        rig.form.StartUp("1");
        auto* combo = rig.control<QComboBox>("Combo1");
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->itemText(0), "2");
        QCOMPARE(combo->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyFAKE2");
        QCOMPARE(combo->currentText(), "1");
        QCOMPARE(combo->toolTip(), "Current serial port\n/dev/ttyFAKE1: permission denied");
        QVERIFY(ShownRed(combo));
        rig.form.ReportPortProblems();
        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        QCOMPARE(rig.box.shown[0].text, *rig.form.session().portProblem());

        auto* check = rig.control<QCheckBox>("Check2");
        auto* save = rig.control<QPushButton>("Command1");
        QVERIFY(!save->isEnabled());
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(rig.form.session().saveDisabled() && !save->isEnabled());
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(!rig.form.session().saveDisabled() && save->isEnabled());
        check->setTristate(true);
        check->setCheckState(Qt::Unchecked);
        QTest::mouseClick(check, Qt::LeftButton);
        QCOMPARE(check->checkState(), Qt::PartiallyChecked);
        QVERIFY(save->isEnabled());
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(rig.dialog.shown.size(), std::size_t(1));
        QVERIFY(rig.dialog.shown[0].saving);
    }

    // The selector's wiring to the port: a pick from the list reaches it as
    // picked, text typed as typed (ConfigurePort decides DTR from that); Enter on
    // a port that will not open turns the box red without a message; a device
    // path is held while typed and opened by the box's timer once typing pauses.
    void theSelectorReachesThePort() {
        test::FormRig rig;
        rig.form.StartUp();
        auto* combo = rig.control<QComboBox>("Combo1");
        auto* edit = combo->lineEdit();
        QVERIFY(!ShownRed(combo));
        const auto choose = [&](const std::function<void()>& how) {
            rig.comm.setDtr(true); // as a port fresh from the system has it
            rig.comm.line.clear();
            how();
            return test::LineSaw(rig.comm);
        };
        const QStringList picked = choose([&] {
            combo->setCurrentIndex(1);
            emit combo->activated(1);
        });
        QCOMPARE(picked, (QStringList{"close", test::OpenedForTheInstrument(true), "DTR off"}));
        QCOMPARE(rig.comm.port, PortAddress::number(2));
        const QStringList typed = choose([&] {
            edit->selectAll();
            QTest::keyClicks(edit, "1");
        });
        QCOMPARE(typed, (QStringList{"close", test::OpenedForTheInstrument(false)}));
        QCOMPARE(rig.comm.port, PortAddress::number(1));

        edit->selectAll();
        QTest::keyClicks(edit, "7");
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(!rig.comm.isOpen());
        QVERIFY(ShownRed(combo));
        QCOMPARE(combo->toolTip(), "Current serial port\n/dev/ttyFAKE7: no such device");
        QVERIFY(rig.box.shown.empty());

        rig.comm.listed = {test::ShortDevice, test::LongDevice};
        rig.comm.calls.clear();
        edit->clear();
        QTest::keyClicks(edit, test::LongDevice);
        QVERIFY(rig.comm.calls.empty());
        // A bound on the box's 700 ms timer, not a measure of it: on a failure
        // QtTest waits twice as long again, which stays within the watchdog's 10 s.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.comm.calls.empty(), 3000);
        QCOMPARE(rig.comm.opened.back(), std::string(test::LongDevice));
        QCOMPARE(combo->toolTip(), QString("Current serial port\n") + test::LongDevice + ": open");
        QVERIFY(!ShownRed(combo));
    }
};

KVD_REGISTER_TEST(Form1Test)
#include "Form1Test.moc"
