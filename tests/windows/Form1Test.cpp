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

QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

bool ShownRed(QComboBox* combo) {
    return combo->lineEdit()->palette().color(QPalette::Text) == QColor(Qt::red);
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    // Start-up's wiring to the selector: what the session found is listed, each
    // with its device as tooltip, its text is the port given, and how the link
    // stands is shown, red while no port is open, with the session's message
    // about it. Which port opens and what is said are the session's rules,
    // tested there.
    void startUpProbesThePorts() {
        test::FormRig rig({2});
        rig.comm.refused[1] = "Permission denied";
        rig.form.StartUp("1");
        auto* combo = rig.control<QComboBox>("Combo1");
        QCOMPARE(Items(combo), QStringList{"2"});
        QCOMPARE(combo->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyFAKE2");
        QCOMPARE(combo->currentText(), "1");
        QCOMPARE(combo->toolTip(), "Current serial port\n/dev/ttyFAKE1: permission denied");
        QVERIFY(ShownRed(combo));
        QVERIFY(!rig.control<QPushButton>("Command1")->isEnabled());

        rig.form.ReportPortProblems();
        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        QCOMPARE(rig.box.shown[0].text, *rig.form.session().portProblem());
    }

    // The selector's wiring to the port: a pick from the list reaches it as
    // picked, text typed into the box as typed, which is what decides when DTR
    // goes off (ConfigurePort's rule, tested there).
    void aPickAndATypedTextReachThePortAsSuch() {
        test::FormRig rig;
        rig.form.StartUp();
        auto* combo = rig.control<QComboBox>("Combo1");
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
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo->lineEdit(), "1");
        });
        QCOMPARE(typed, (QStringList{"close", test::OpenedForTheInstrument(false)}));
        QCOMPARE(rig.comm.port, PortAddress::number(1));
    }

    // The typing pause's wiring: a device path typed into the box is held while
    // it is typed and opened by the box's own timer once the typing pauses. When
    // it opens, with DTR off first, and Enter, are the session's rules, tested
    // there.
    void aTypedDevicePathOpensOnceTheTypingPauses() {
        test::FormRig rig;
        rig.comm.listed = {test::ShortDevice, test::LongDevice};
        rig.form.StartUp();
        rig.comm.calls.clear();
        auto* edit = rig.control<QComboBox>("Combo1")->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, test::LongDevice);
        QVERIFY(rig.comm.calls.empty());
        // A bound on the box's 700 ms timer, not a measure of it: on a failure
        // QtTest waits twice as long again, which stays within the watchdog's 10 s.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.comm.calls.empty(), 3000);
        QCOMPARE(rig.comm.opened.back(), std::string(test::LongDevice));
        QCOMPARE(rig.control<QComboBox>("Combo1")->toolTip(),
                 QString("Current serial port\n") + test::LongDevice + ": open");
    }

    // How the selector's text reads is SelectorText's rule, tested there.
    void aPortThatWillNotOpenTurnsTheSelectorRed() {
        test::FormRig rig;
        rig.form.StartUp();
        auto* combo = rig.control<QComboBox>("Combo1");
        QVERIFY(!ShownRed(combo));
        combo->lineEdit()->selectAll();
        QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
        QTest::keyClicks(combo->lineEdit(), "7");
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QVERIFY(!rig.comm.isOpen());
        QVERIFY(ShownRed(combo));
        QCOMPARE(combo->toolTip(), "Current serial port\n/dev/ttyFAKE7: no such device");
        QVERIFY(rig.box.shown.empty());

        QTest::keyClick(combo->lineEdit(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(combo->lineEdit(), "1");
        QVERIFY(rig.comm.isOpen());
        QVERIFY(!ShownRed(combo));
    }

    // "Disable Save" reaches the session with its mark (a greyed box as such:
    // the rule is tested there) and switches "Save image", whose click opens
    // the save flow (its rules are tested there).
    void disableSaveAndSaveImageReachTheSession() {
        test::FormRig rig;
        rig.form.StartUp();
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
};

KVD_REGISTER_TEST(Form1Test)
#include "Form1Test.moc"
