#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"
#include "tests/windows/FormBench.h"

using namespace kvd;
using test::Decoded;
using test::ReadAll;

namespace {

const std::string First = test::TwoColourBitmap(101);
const std::string Second = test::TwoColourBitmap(202);
const std::string Third = test::TwoColourBitmap(303);

constexpr int Yes = int(DialogAnswer::Yes);
constexpr int No = int(DialogAnswer::No);

} // namespace

class PollTickTest : public QObject {
    Q_OBJECT

private slots:
    void nothingWaitingChangesNothing() {
        test::FormBench bench;
        bench.startUp();
        const QImage before = bench.shown();
        bench.tick();
        bench.tick("noise without a marker");
        QCOMPARE(bench.shown(), before);
        QVERIFY(bench.form.state().ImageData.empty());
        QVERIFY(bench.form.state().CurrentSaved);
        QVERIFY(!bench.control<QPushButton>("Command1")->isEnabled());
    }

    void aScreenshotSplitOverTwoTicksShowsOnTheSecond() {
        test::FormBench bench;
        bench.startUp();
        const QImage placeholder = bench.shown();
        bench.tick("xyz" + First.substr(0, 1400));
        QCOMPARE(bench.form.state().MarkerPosition, std::int16_t(4));
        QCOMPARE(bench.shown(), placeholder);
        QVERIFY(bench.form.state().ImageData.empty());

        bench.tick(First.substr(1400));
        QCOMPARE(bench.shown(), Decoded(First));
        QVERIFY(bench.form.state().ImageData == First);
        QVERIFY(bench.form.state().ReceiveBuffer.empty());
        QVERIFY(!bench.form.state().CurrentSaved);
        QVERIFY(bench.control<QPushButton>("Command1")->isEnabled());
        QVERIFY(bench.box.shown.empty()); // the first screenshot never prompts
        QVERIFY(ReadAll(bench.path("kvd62temp.bmp")) == First);
    }

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

    void theSecondScreenshotAsksAboutTheFirst_data() {
        QTest::addColumn<bool>("disableSave");
        QTest::addColumn<bool>("firstSaved");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("savedAs");

        QTest::newRow("No: the new one is shown, unsaved")
            << false << false << QList<int>{No} << QStringList{} << true << "";
        QTest::newRow("Yes and a file: the first one is saved")
            << false << false << QList<int>{Yes} << QStringList{"first.bmp"} << true << "first.bmp";
        QTest::newRow("Yes, then Cancel: nothing saved")
            << false << false << QList<int>{Yes} << QStringList{"<cancel>"} << true << "";
        QTest::newRow("the first was saved: no question")
            << false << true << QList<int>{} << QStringList{} << false << "";
        QTest::newRow("Disable Save checked: no question")
            << true << false << QList<int>{} << QStringList{} << false << "";
    }

    void theSecondScreenshotAsksAboutTheFirst() {
        QFETCH(bool, disableSave);
        QFETCH(bool, firstSaved);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, choices);
        QFETCH(bool, asked);
        QFETCH(QString, savedAs);

        test::FormBench bench;
        bench.startUp();
        bench.tick(First);
        if (firstSaved) {
            bench.dialog.choices.push_back(bench.path("kept.bmp"));
            QTest::mouseClick(bench.control<QPushButton>("Command1"), Qt::LeftButton);
            QVERIFY(bench.form.state().CurrentSaved);
        }
        auto* save = bench.control<QPushButton>("Command1");
        if (disableSave) {
            QTest::mouseClick(bench.control<QCheckBox>("Check2"), Qt::LeftButton);
            QVERIFY(!save->isEnabled());
        }
        for (int answer : answers)
            bench.box.answers.push_back(DialogAnswer(answer));
        for (const QString& choice : choices)
            bench.dialog.choices.push_back(choice == "<cancel>"
                                               ? std::nullopt
                                               : std::optional(bench.path(qPrintable(choice))));

        bench.tick(Second);

        QCOMPARE(!bench.box.shown.empty(), asked);
        if (asked)
            QCOMPARE(bench.box.shown[0].text,
                     std::string("A new screenshot arrived, save current ?"));
        if (!savedAs.isEmpty())
            QVERIFY(ReadAll(bench.path(qPrintable(savedAs))) == First);
        QCOMPARE(bench.shown(), Decoded(Second));
        QVERIFY(bench.form.state().ImageData == Second);
        QVERIFY(!bench.form.state().CurrentSaved);
        QCOMPARE(save->isEnabled(), !disableSave);
        QVERIFY(bench.control<QCheckBox>("Check2")->isEnabled());
        QVERIFY(bench.box.answers.empty());
        QVERIFY(bench.dialog.choices.empty());
    }

    // While the question about the second screenshot is up, three more arrive
    // back to back, read at a tick's pace: the window counts them, replaces
    // nothing under the question, and then deals with each in order.
    void screenshotsArrivingUnderADialogWaitForItInOrder() {
        const std::vector<std::string> later{Third, test::TwoColourBitmap(404),
                                             test::TwoColourBitmap(505)};
        test::FormBench bench;
        bench.startUp();
        bench.tick(First);
        bench.box.answers = {DialogAnswer::No, DialogAnswer::No, DialogAnswer::No,
                             DialogAnswer::No};
        std::vector<std::string> askedWhileShown;
        QString caption;
        bench.box.whileShown = [&] {
            askedWhileShown.push_back(bench.form.state().ImageData);
            if (askedWhileShown.size() > 1)
                return;
            const std::string line = later[0] + later[1] + later[2];
            for (std::size_t at = 0; at < line.size(); at += 2880)
                bench.tick(line.substr(at, 2880));
            caption = bench.form.windowTitle();
            QVERIFY(bench.form.state().ImageData == First);
        };
        bench.tick(Second);
        bench.settle();

        QCOMPARE(caption, QString("KVD62 screen capture V2.00 - 3 screenshots waiting"));
        QCOMPARE(askedWhileShown, (std::vector<std::string>{First, Second, later[0], later[1]}));
        QVERIFY(bench.form.state().ImageData == later[2]);
        QCOMPARE(bench.shown(), Decoded(later[2]));
        QCOMPARE(bench.form.windowTitle(), QString("KVD62 screen capture V2.00"));
    }

    // More than the queue holds arrive while a dialog is open: the oldest are
    // dropped and that is said once; the rest are all shown.
    void anOverfullQueueSaysWhatItDropped() {
        test::FormBench bench;
        bench.startUp();
        QTest::mouseClick(bench.control<QCheckBox>("Check2"), Qt::LeftButton); // Disable Save
        const std::size_t sent = WaitingScreenshots::Capacity + 3;
        bench.dialog.whileShown = [&] {
            for (std::size_t i = 0; i < sent; ++i)
                bench.tick(test::TwoColourBitmap(std::uint32_t(1000 + i)));
        };
        bench.dialog.choices.push_back(std::nullopt);
        QTest::mouseClick(bench.control<QPushButton>("Command2"), Qt::LeftButton); // Load
        bench.settle();

        QCOMPARE(bench.box.shown.size(), std::size_t(1));
        QVERIFY2(bench.box.shown[0].text.find("The oldest 3 were dropped") != std::string::npos,
                 bench.box.shown[0].text.c_str());
        QVERIFY(bench.form.state().ImageData ==
                test::TwoColourBitmap(std::uint32_t(1000 + sent - 1)));
        QCOMPARE(bench.form.waitingCount(), std::size_t(0));
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

    void anUnreadableFrameIsDropped() {
        test::FormBench bench;
        bench.startUp();
        bench.tick(First);
        const std::string garbage = "BM" + std::string(2748, '\x7f');
        bench.tick(garbage);
        QVERIFY(bench.box.shown.empty());
        QVERIFY(bench.form.state().ImageData == First);
        QCOMPARE(bench.shown(), Decoded(First));
        QVERIFY(!bench.form.state().CurrentSaved);
        QVERIFY(bench.form.state().ReceiveBuffer.empty());
        QVERIFY(ReadAll(bench.path("kvd62temp.bmp")) == First);
    }

    void aTempFileThatCannotBeWrittenStillShowsTheScreenshot() {
        test::FormBench bench({1, 2}, "missing-folder/kvd62temp.bmp");
        bench.startUp();
        bench.tick(First);
        QCOMPARE(bench.shown(), Decoded(First));
        QVERIFY(bench.form.state().ImageData == First);
        QVERIFY(!bench.form.state().CurrentSaved);
        QCOMPARE(test::FilesIn(bench.dir.path().toStdString()), std::set<std::string>{});
    }

    // Two adapters: the instrument's, port 1, goes away, and the other moves up
    // to number 1. The lost port is retried as its own device only. The whole
    // screenshot that came just before the loss is shown; the half one after it
    // is dropped, and the first one after the return is shown whole.
    void aLostPortComesBackAsTheSameDevice_data() {
        QTest::addColumn<bool>("saidSo");
        QTest::newRow("the port reports the loss") << true;
        QTest::newRow("the line hangs up without a word") << false;
    }

    void aLostPortComesBackAsTheSameDevice() {
        QFETCH(bool, saidSo);
        test::FormBench bench;
        bench.comm.listed = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
        bench.startUp();
        auto* combo = bench.control<QComboBox>("Combo1");
        QCOMPARE(bench.comm.opened.back(), std::string("/dev/ttyUSB0"));

        bench.comm.arrive(First + Second.substr(0, 2000));
        saidSo ? bench.comm.lose() : bench.comm.hangUpSilently();
        bench.comm.listed = {"/dev/ttyUSB1"};
        const std::size_t opensBefore = bench.comm.opened.size();
        bench.tick();
        QCOMPARE(bench.shown(), Decoded(First));
        bench.tick();
        QCOMPARE(bench.comm.opened.size(), opensBefore); // never /dev/ttyUSB1
        // The retry's own reason, not the one the port was lost with.
        QVERIFY2(combo->toolTip().contains("/dev/ttyUSB0: lost (no such device)"),
                 qPrintable(combo->toolTip()));
        QCOMPARE(combo->lineEdit()->palette().color(QPalette::Text), QColor(Qt::red));
        QCOMPARE(combo->currentText(), QString("1"));
        QVERIFY(bench.box.shown.empty());

        bench.comm.listed = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
        bench.comm.plugBackIn();
        bench.tick();
        QCOMPARE(bench.comm.opened.back(), std::string("/dev/ttyUSB0"));
        QCOMPARE(combo->toolTip(), QString("Current serial port\n/dev/ttyUSB0: open"));
        QVERIFY(combo->lineEdit()->palette().color(QPalette::Text) != QColor(Qt::red));
        // Joined to what came before the loss, this would make a picture that
        // decodes: the second one's header and top, the third one's start.
        bench.box.answers = {DialogAnswer::No};
        bench.tick(Third);
        QVERIFY(bench.form.state().ImageData == Third);
        QCOMPARE(bench.shown(), Decoded(Third));
        QVERIFY(ReadAll(bench.path("kvd62temp.bmp")) == Third);
    }
};

KVD_REGISTER_TEST(PollTickTest)
#include "PollTickTest.moc"
