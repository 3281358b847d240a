#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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
    // with its device as tooltip, its text is the port given (without one, the
    // text stays as the box had it), and how the link stands is shown, red while
    // no port is open, with the session's message about it. Which port opens and
    // what is said are the session's rules, tested there.
    void startUpProbesThePorts_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<QString>("given");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stateLine");

        QTest::newRow("port 2 given") << QList<int>{1, 2} << "2" << QStringList{"1", "2"} << "2"
                                      << "/dev/ttyFAKE2: open";
        QTest::newRow("no port") << QList<int>{} << "" << QStringList{} << "1"
                                 << "/dev/ttyFAKE1: no such device";
    }

    void startUpProbesThePorts() {
        QFETCH(QList<int>, present);
        QFETCH(QString, given);
        QFETCH(QStringList, items);
        QFETCH(QString, text);
        QFETCH(QString, stateLine);

        test::FormRig rig(std::set<int>(present.begin(), present.end()));
        std::optional<std::string> port;
        if (!given.isEmpty())
            port = given.toStdString();
        rig.form.StartUp(port);
        auto* combo = rig.control<QComboBox>("Combo1");
        QCOMPARE(Items(combo), items);
        QCOMPARE(combo->currentText(), text);
        QCOMPARE(combo->toolTip(), "Current serial port\n" + stateLine);
        const bool open = !items.isEmpty();
        QCOMPARE(ShownRed(combo), !open);
        for (int i = 0; i < combo->count(); ++i)
            QCOMPARE(combo->itemData(i, Qt::ToolTipRole).toString(),
                     "/dev/ttyFAKE" + combo->itemText(i));
        QVERIFY(!rig.control<QPushButton>("Command1")->isEnabled());

        rig.form.ReportPortProblems();
        QCOMPARE(rig.box.shown.size(), std::size_t(open ? 0 : 1));
        if (!open)
            QCOMPARE(rig.box.shown[0].text, *rig.form.session().portProblem());
    }

    void pickingAPortOpensThenSwitchesDtrOff() {
        test::FormRig rig;
        rig.form.StartUp();
        rig.comm.calls.clear();
        auto* combo = rig.control<QComboBox>("Combo1");
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        QCOMPARE(rig.comm.port, PortAddress::number(2));
        QVERIFY(rig.comm.isOpen());
        const std::vector<std::string> tail(rig.comm.calls.end() - 2, rig.comm.calls.end());
        QCOMPARE(tail, (std::vector<std::string>{"open", "setDtr 0"}));
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

    void aPortThatWillNotOpenTurnsTheSelectorRed_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stateLine");
        QTest::newRow("a missing number") << "7"
                                          << "/dev/ttyFAKE7: no such device";
        QTest::newRow("an emptied text") << ""
                                         << "/dev/ttyFAKE0: no such device";
        QTest::newRow("too large") << "99999"
                                   << "port 99999: no such device";
        QTest::newRow("a device path")
            << test::MissingDevice << QString(test::MissingDevice) + ": no such device";
    }

    void aPortThatWillNotOpenTurnsTheSelectorRed() {
        QFETCH(QString, typed);
        QFETCH(QString, stateLine);
        test::FormRig rig;
        rig.form.StartUp();
        auto* combo = rig.control<QComboBox>("Combo1");
        QVERIFY(!ShownRed(combo));
        combo->lineEdit()->selectAll();
        QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
        QTest::keyClicks(combo->lineEdit(), typed);
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QVERIFY(!rig.comm.isOpen());
        QVERIFY(ShownRed(combo));
        QCOMPARE(combo->toolTip(), "Current serial port\n" + stateLine);
        QVERIFY(rig.box.shown.empty());

        QTest::keyClick(combo->lineEdit(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(combo->lineEdit(), "1");
        QVERIFY(rig.comm.isOpen());
        QVERIFY(!ShownRed(combo));
    }

    void disableSaveSwitchesSaveImage() {
        test::FormRig rig;
        rig.form.StartUp();
        auto* check = rig.control<QCheckBox>("Check2");
        auto* save = rig.control<QPushButton>("Command1");
        QVERIFY(!save->isEnabled());

        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(rig.form.session().saveDisabled());
        QVERIFY(!save->isEnabled());

        // Unchecking enables "Save image" even before any screenshot.
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(!rig.form.session().saveDisabled());
        QVERIFY(save->isEnabled());

        // The greyed state reaches the session as such (its rule is tested there).
        check->setTristate(true);
        check->setCheckState(Qt::Unchecked);
        QTest::mouseClick(check, Qt::LeftButton);
        QCOMPARE(check->checkState(), Qt::PartiallyChecked);
        QVERIFY(save->isEnabled());
    }

    void saveImageGoesStraightToTheSaveDialog() {
        test::FormRig rig;
        rig.form.StartUp();
        QTest::mouseClick(rig.control<QCheckBox>("Check2"), Qt::LeftButton);
        QTest::mouseClick(rig.control<QCheckBox>("Check2"), Qt::LeftButton);
        rig.dialog.choices.push_back(rig.dir.path().toStdString() + "/shot.bmp");
        QTest::mouseClick(rig.control<QPushButton>("Command1"), Qt::LeftButton);

        QCOMPARE(rig.dialog.shown.size(), std::size_t(1));
        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        QCOMPARE(rig.box.shown[0].text, std::string("There is no screenshot to save yet."));
        QVERIFY(!QFile::exists(rig.dir.path() + "/shot.bmp"));
    }
};

KVD_REGISTER_TEST(Form1Test)
#include "Form1Test.moc"
