#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/DevicePaths.h"
#include "tests/support/TestMain.h"
#include "tests/windows/FormRig.h"

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

// Index of the first call equal to `call` after position `from`.
qsizetype Find(const std::vector<std::string>& calls, const std::string& call, qsizetype from) {
    for (auto i = std::size_t(from); i < calls.size(); ++i)
        if (calls[i] == call)
            return qsizetype(i);
    return -1;
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void startUpProbesThePorts_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("openPort");
        QTest::addColumn<QString>("stateLine");

        QTest::newRow("ports 1 and 2")
            << QList<int>{1, 2} << QStringList{"1", "2"} << "1" << 1 << "/dev/ttyFAKE1: open";
        QTest::newRow("no port") << QList<int>{} << QStringList{} << "1" << 0
                                 << "/dev/ttyFAKE1: no such device";
    }

    void startUpProbesThePorts() {
        QFETCH(QList<int>, present);
        QFETCH(QStringList, items);
        QFETCH(QString, text);
        QFETCH(int, openPort);
        QFETCH(QString, stateLine);

        test::FormRig rig(std::set<int>(present.begin(), present.end()));
        rig.form.StartUp();
        auto* combo = rig.control<QComboBox>("Combo1");
        QCOMPARE(Items(combo), items);
        QCOMPARE(combo->currentText(), text);
        QCOMPARE(rig.comm.isOpen(), openPort != 0);
        if (openPort != 0)
            QCOMPARE(rig.comm.port, PortAddress::number(openPort));
        QCOMPARE(combo->toolTip(), "Current serial port\n" + stateLine);
        QCOMPARE(ShownRed(combo), openPort == 0);
        for (int i = 0; i < combo->count(); ++i)
            QCOMPARE(combo->itemData(i, Qt::ToolTipRole).toString(),
                     "/dev/ttyFAKE" + combo->itemText(i));
        QVERIFY(!rig.control<QPushButton>("Command1")->isEnabled());

        rig.form.ReportPortProblems();
        QCOMPARE(int(rig.box.shown.size()), openPort == 0 ? 1 : 0);
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

    // A device path is opened once it is finished, never on the way there:
    // typing /dev/ttyS10 passes /dev/ttyS1.
    void aTypedDevicePathOpensOnceFinished_data() {
        QTest::addColumn<bool>("pressEnter");
        QTest::newRow("Enter") << true;
        QTest::newRow("a pause in the typing") << false;
    }

    void aTypedDevicePathOpensOnceFinished() {
        QFETCH(bool, pressEnter);
        test::FormRig rig;
        rig.comm.listed = {test::ShortDevice, test::LongDevice};
        rig.form.StartUp();
        rig.comm.calls.clear();
        auto* edit = rig.control<QComboBox>("Combo1")->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, test::LongDevice);
        QVERIFY(rig.comm.calls.empty());
        if (pressEnter)
            QTest::keyClick(edit, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.comm.calls.empty(), 5000);
        QCOMPARE(Find(rig.comm.calls, std::string("setPort ") + test::ShortDevice, 0),
                 qsizetype(-1));
        QCOMPARE(rig.comm.port, PortAddress::device(test::LongDevice));
        QCOMPARE(rig.comm.opened.back(), std::string(test::LongDevice));
        QVERIFY(Find(rig.comm.calls, "setDtr 0", 0) < Find(rig.comm.calls, "open", 0));
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
        QVERIFY(rig.form.state().SaveDisabled);
        QVERIFY(!save->isEnabled());

        // Unchecking enables "Save image" even before any screenshot.
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(!rig.form.state().SaveDisabled);
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
