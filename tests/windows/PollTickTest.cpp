#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/FormRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::Decoded;
using test::ReadAll;

using test::First;
using test::Second;
using test::Third;

class PollTickTest : public QObject {
    Q_OBJECT

private slots:
    // A click handled after the tick that completed a screenshot, but before that
    // screenshot is shown: the Save dialog saves what was on screen, the new one
    // is shown once the dialog has closed. This is the
    // window's dialogs holding arrivals; that they wait, in order, is the
    // session's rule and the arrival loop's, tested there.
    void aClickBeforeTheArrivalIsShownStopsNothing() {
        test::FormRig rig;
        rig.startUp();
        rig.tick(First);
        rig.comm.arrive(Second);
        rig.form.OnPollTick();
        bool arrivedUnderTheDialog = false;
        rig.dialog.whileShown = [&] {
            QCoreApplication::processEvents(); // the dialog's own event loop
            arrivedUnderTheDialog = rig.form.session().currentScreenshot() != First;
        };
        rig.dialog.choices.push_back(rig.path("kept.bmp"));
        QTest::mouseClick(rig.control<QPushButton>("Command1"), Qt::LeftButton);
        QVERIFY(!arrivedUnderTheDialog);
        QVERIFY(ReadAll(rig.path("kept.bmp")) == First);

        rig.dialog.whileShown = nullptr;
        rig.settle();
        QCOMPARE(rig.shown(), Decoded(Second));
    }

    // With the real timer running, the port is still drained while the arrival
    // question waits for an answer.
    void thePortIsDrainedWhileTheArrivalQuestionIsOpen() {
        test::FormRig rig;
        rig.startUp();
        rig.tick(First);
        rig.form.Timer1->start();
        bool drained = false;
        rig.box.whileShown = [&] {
            rig.comm.arrive(Third.substr(0, 1000));
            QTRY_VERIFY_WITH_TIMEOUT(rig.comm.waiting.empty(), 5000);
            drained = rig.form.session().bytesReceived() == 1000;
        };
        rig.box.answers = {DialogAnswer::No};
        rig.comm.arrive(Second);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form.session().currentScreenshot() == Second, 5000);
        QVERIFY(drained);
        rig.form.Timer1->stop();
    }

    // The lost port's wiring: the tick shows the loss on the selector at once, and
    // the return, and the selector keeps the port the user chose. How a lost port
    // is retried, and as which device, is the session's rule, tested there.
    void theSelectorShowsALostPortAndItsReturn() {
        test::FormRig rig;
        rig.startUp();
        auto* combo = rig.control<QComboBox>("Combo1");
        const auto red = [combo] {
            return combo->lineEdit()->palette().color(QPalette::Text) == QColor(Qt::red);
        };
        rig.comm.lose();
        rig.tick();
        QVERIFY(red());
        QVERIFY2(combo->toolTip().contains("/dev/ttyFAKE1: lost"), qPrintable(combo->toolTip()));
        rig.comm.plugBackIn();
        rig.tick();
        QVERIFY(!red());
        QCOMPARE(combo->toolTip(), QString("Current serial port\n/dev/ttyFAKE1: open"));
        QCOMPARE(combo->currentText(), QString("1"));
    }
};

KVD_REGISTER_TEST(PollTickTest)
#include "PollTickTest.moc"
