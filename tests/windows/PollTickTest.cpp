#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"
#include "tests/windows/FormBench.h"

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
    // is shown once the dialog has closed, and capture goes on after.
    void aClickBeforeTheArrivalIsShownStopsNothing() {
        test::FormBench bench;
        bench.startUp();
        bench.tick(First);
        bench.comm.arrive(Second);
        bench.form.OnPollTick();
        bool arrivedUnderTheDialog = false;
        bench.dialog.whileShown = [&] {
            QCoreApplication::processEvents(); // the dialog's own event loop
            arrivedUnderTheDialog = bench.form.state().ImageData != First;
        };
        bench.dialog.choices.push_back(bench.path("kept.bmp"));
        QTest::mouseClick(bench.control<QPushButton>("Command1"), Qt::LeftButton);
        QVERIFY(!arrivedUnderTheDialog);
        QVERIFY(ReadAll(bench.path("kept.bmp")) == First);

        bench.dialog.whileShown = nullptr;
        bench.settle();
        QVERIFY(bench.form.state().ImageData == Second);
        QVERIFY(bench.box.shown.empty()); // the first was saved: no question
        bench.box.answers = {DialogAnswer::No};
        bench.tick(Third);
        QVERIFY(bench.form.state().ImageData == Third);
        QCOMPARE(bench.shown(), Decoded(Third));
    }

    // With the real timer running, the port is still drained while the arrival
    // question waits for an answer.
    void thePortIsDrainedWhileTheArrivalQuestionIsOpen() {
        test::FormBench bench;
        bench.startUp();
        bench.tick(First);
        bench.form.Timer1->start();
        bool drained = false;
        bench.box.whileShown = [&] {
            bench.comm.arrive(Third.substr(0, 1000));
            QTRY_VERIFY_WITH_TIMEOUT(bench.comm.waiting.empty(), 5000);
            drained = bench.form.state().ReceiveBuffer == Third.substr(0, 1000);
        };
        bench.box.answers = {DialogAnswer::No};
        bench.comm.arrive(Second);
        QTRY_VERIFY_WITH_TIMEOUT(bench.form.state().ImageData == Second, 5000);
        QVERIFY(drained);
        bench.form.Timer1->stop();
    }

    // The tick shows a lost port on the selector at once, and its return.
    void theSelectorShowsALostPortAndItsReturn() {
        test::FormBench bench;
        bench.startUp();
        auto* combo = bench.control<QComboBox>("Combo1");
        const auto red = [combo] {
            return combo->lineEdit()->palette().color(QPalette::Text) == QColor(Qt::red);
        };
        bench.comm.lose();
        bench.tick();
        QVERIFY(red());
        QVERIFY2(combo->toolTip().contains("/dev/ttyFAKE1: lost"), qPrintable(combo->toolTip()));
        bench.comm.plugBackIn();
        bench.tick();
        QVERIFY(!red());
        QCOMPARE(combo->toolTip(), QString("Current serial port\n/dev/ttyFAKE1: open"));
    }
};

KVD_REGISTER_TEST(PollTickTest)
#include "PollTickTest.moc"
