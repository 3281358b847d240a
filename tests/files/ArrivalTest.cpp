#include <QTest>
#include <filesystem>
#include <set>

#include "files/LoadImage.h"
#include "tests/files/SessionBench.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::ReadAll;

namespace {

using test::First;
using test::Second;
using test::Third;

constexpr int Yes = int(DialogAnswer::Yes);
constexpr int No = int(DialogAnswer::No);

} // namespace

// What happens to the window as screenshots and picture files arrive: the
// session hands them out, the flows deal with them.
class ArrivalTest : public QObject {
    Q_OBJECT

private slots:
    // The first screenshot is shown through the temporary file, unsaved, with
    // no question; when that file cannot be written it is shown from memory. A
    // frame that starts like a screenshot but is no bitmap changes nothing.
    void aScreenshotIsShownThroughTheTemporaryFile_data() {
        QTest::addColumn<QString>("tempImage");
        QTest::newRow("the temporary file") << "kvd62temp.bmp";
        QTest::newRow("a folder that is not there") << "missing-folder/kvd62temp.bmp";
    }

    void aScreenshotIsShownThroughTheTemporaryFile() {
        QFETCH(QString, tempImage);
        test::SessionBench bench;
        bench.arrivals.tempImagePath = bench.path(tempImage.toStdString());
        bench.tick(First);
        bench.tick(test::Unreadable);

        QVERIFY(bench.shown() == First);
        QVERIFY(bench.session.state().ImageData == First);
        QVERIFY(!bench.session.state().CurrentSaved);
        QVERIFY(bench.session.state().ReceiveBuffer.empty());
        QVERIFY(bench.view.saveEnabled);
        QVERIFY(bench.box.shown.empty());
        QCOMPARE(bench.view.pictureShows, 1);
        const bool written = !tempImage.contains('/');
        QVERIFY(ReadAll(bench.arrivals.tempImagePath) == (written ? First : ""));
        QCOMPARE(bench.pictures.loadedFiles.size(), std::size_t(written ? 1 : 0));
        QCOMPARE(test::FilesIn(bench.dir.path().toStdString()).size(), std::size_t(written));
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

        test::SessionBench bench;
        bench.tick(First);
        if (firstSaved) {
            bench.dialog.choices.push_back(bench.path("kept.bmp"));
            OnSaveImageClicked(bench.session.state(), bench.save, bench.view);
            QVERIFY(bench.session.state().CurrentSaved);
        }
        if (disableSave)
            bench.view.saveEnabled = bench.session.saveDisabledChanged(true);
        for (int answer : answers)
            bench.box.answers.push_back(DialogAnswer(answer));
        for (const QString& choice : choices)
            bench.dialog.choices.push_back(choice == "<cancel>"
                                               ? std::nullopt
                                               : std::optional(bench.path(choice.toStdString())));

        bench.tick(Second);

        QCOMPARE(!bench.box.shown.empty(), asked);
        if (asked)
            QCOMPARE(bench.box.shown[0].text,
                     std::string("A new screenshot arrived, save current ?"));
        if (!savedAs.isEmpty())
            QVERIFY(ReadAll(bench.path(savedAs.toStdString())) == First);
        QVERIFY(bench.shown() == Second);
        QVERIFY(bench.session.state().ImageData == Second);
        QVERIFY(!bench.session.state().CurrentSaved);
        QCOMPARE(bench.view.saveEnabled, !disableSave);
        QVERIFY(bench.view.disableSaveEnabled);
        QVERIFY(bench.box.answers.empty());
        QVERIFY(bench.dialog.choices.empty());
    }

    // While the question about the second screenshot is up, three more arrive
    // back to back, read at a tick's pace: they are counted, nothing is replaced
    // under the question, and then each is dealt with in order.
    void screenshotsArrivingUnderADialogWaitForItInOrder() {
        const std::vector<std::string> later{Third, test::TwoColourBitmap(404),
                                             test::TwoColourBitmap(505)};
        test::SessionBench bench;
        bench.tick(First);
        bench.box.answers = {DialogAnswer::No, DialogAnswer::No, DialogAnswer::No,
                             DialogAnswer::No};
        std::vector<std::string> askedWhileShown;
        std::string caption;
        bench.box.whileShown = [&] {
            askedWhileShown.push_back(bench.session.state().ImageData);
            if (askedWhileShown.size() > 1)
                return;
            const std::string line = later[0] + later[1] + later[2];
            for (std::size_t at = 0; at < line.size(); at += 2880)
                bench.tick(line.substr(at, 2880));
            caption = bench.session.caption("KVD62");
            QVERIFY(bench.shown() == First);
        };
        bench.tick(Second);

        QCOMPARE(caption, std::string("KVD62 - 3 screenshots waiting"));
        QCOMPARE(askedWhileShown, (std::vector<std::string>{First, Second, later[0], later[1]}));
        QVERIFY(bench.shown() == later[2]);
        QCOMPARE(bench.session.caption("KVD62"), std::string("KVD62"));
    }

    // More than the queue holds arrive while a dialog is open: the oldest are
    // dropped and that is said once; the rest are all shown.
    void anOverfullQueueSaysWhatItDropped() {
        test::SessionBench bench;
        bench.session.saveDisabledChanged(true);
        bench.session.dialogOpened();
        const std::size_t sent = WaitingArrivals::Capacity + 3;
        for (std::size_t i = 0; i < sent; ++i)
            bench.tick(test::TwoColourBitmap(std::uint32_t(1000 + i)));
        bench.session.dialogClosed();
        bench.dealWithAll();

        QCOMPARE(bench.box.shown.size(), std::size_t(1));
        QCOMPARE(bench.box.shown[0].title, std::string("Incoming data"));
        QVERIFY2(bench.box.shown[0].text.find("The oldest 3 were dropped") != std::string::npos,
                 bench.box.shown[0].text.c_str());
        QCOMPARE(bench.view.pictureShows, int(WaitingArrivals::Capacity));
        QVERIFY(bench.shown() == test::TwoColourBitmap(std::uint32_t(1000 + sent - 1)));
    }

    // The history keeps every screenshot dealt with, newest first with the tick it
    // came in, whatever the window did with it: a block that is no bitmap as
    // dropped, with the reason. Beyond its bound the oldest are let go.
    void theHistoryKeepsWhatTheSessionReceived_data() {
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("unreadableAt");
        QTest::addColumn<bool>("disableSave");
        QTest::addColumn<QString>("summary");

        QTest::newRow("Disable Save ticked: 5 screenshots")
            << 5 << -1 << true << "5 screenshots, newest first.";
        QTest::newRow("asked and answered No: both")
            << 2 << -1 << false << "2 screenshots, newest first.";
        QTest::newRow("an unreadable block between two")
            << 3 << 1 << true << "2 screenshots, 1 dropped, newest first.";
        QTest::newRow("more than it keeps")
            << int(SessionHistory::Capacity) + 2 << -1 << true
            << "1000 screenshots, newest first. Only the last 1000 are kept.";
    }

    void theHistoryKeepsWhatTheSessionReceived() {
        QFETCH(int, sent);
        QFETCH(int, unreadableAt);
        QFETCH(bool, disableSave);
        QFETCH(QString, summary);
        test::SessionBench bench;
        bench.session.saveDisabledChanged(disableSave);
        bench.box.answers.assign(std::size_t(sent), DialogAnswer::No);
        std::vector<std::string> blocks;
        for (int i = 0; i < sent; ++i) {
            blocks.push_back(i == unreadableAt ? test::Unreadable
                                               : test::TwoColourBitmap(std::uint32_t(700 + i)));
            bench.tick(blocks.back());
        }

        const std::size_t kept = std::min<std::size_t>(blocks.size(), SessionHistory::Capacity);
        QCOMPARE(bench.history.size(), kept);
        QCOMPARE(bench.history.forgotten(), std::uint64_t(blocks.size() - kept));
        for (std::size_t age = 0; age < kept; ++age) {
            const HistoryEntry& entry = bench.history.at(age);
            const std::size_t sentAs = blocks.size() - 1 - age;
            QVERIFY(entry.bytes == blocks[sentAs]);
            QCOMPARE(entry.arrived, std::time_t(sentAs + 1));
            QCOMPARE(entry.dropped(), int(sentAs) == unreadableAt);
        }
        if (unreadableAt >= 0)
            QVERIFY(SessionHistory::describe(bench.history.at(std::size_t(sent - 1 - unreadableAt)))
                        .ends_with("\ndropped: it starts like a screenshot but is not a readable "
                                   "bitmap (it is not a picture)"));
        QCOMPARE(QString::fromStdString(bench.history.summary()), summary);
        // A list that showed the first two finds what came after them, and what
        // was let go is no longer found.
        QCOMPARE(bench.history.newerThan(2), std::min<std::size_t>(blocks.size() - 2, kept));
        QCOMPARE(bench.history.bySerial(1) != nullptr, blocks.size() <= kept);
        // An export takes all when fewer than two are picked, else those picked.
        QCOMPARE(bench.history.toExport({2}).size(), kept);
        const std::vector<HistoryEntry> picked = bench.history.toExport({1, 2});
        QCOMPARE(picked.size(), std::size_t(blocks.size() <= kept ? 2 : 0));
        QVERIFY(picked.empty() || (picked[0].bytes == blocks[1] && picked[1].bytes == blocks[0]));
    }

    // A write that fails is said once; the screenshot stays unsaved (so the next
    // arrival asks about it, unless "Disable Save" is ticked, which the message
    // then says) and the next one is saved as before.
    void aFailedWriteIntoTheFolderIsSaidOnce_data() {
        QTest::addColumn<bool>("saveDisabled");
        QTest::newRow("asking") << false;
        QTest::newRow("\"Disable Save\" ticked") << true;
    }
    void aFailedWriteIntoTheFolderIsSaidOnce() {
        QFETCH(bool, saveDisabled);
        test::SessionBench bench;
        const std::filesystem::path folder = bench.path("stick");
        std::filesystem::create_directory(folder);
        bench.session.savingTo(folder);
        bench.session.saveDisabledChanged(saveDisabled);
        std::filesystem::remove(folder);
        bench.tick(First);
        QCOMPARE(bench.box.shown.size(), std::size_t(1));
        const std::string& said = bench.box.shown[0].text;
        QVERIFY2(said.starts_with("The screenshot could not be saved to " +
                                  (folder / "kvd62-").string()),
                 said.c_str());
        QCOMPARE(said.find("untick \"Disable Save\"") != std::string::npos, saveDisabled);
        QVERIFY(bench.shown() == First);
        QVERIFY(!bench.session.state().CurrentSaved);

        std::filesystem::create_directory(folder);
        if (!saveDisabled)
            bench.box.answers.push_back(DialogAnswer::No);
        bench.tick(Second);
        QCOMPARE(bench.box.shown.size(), std::size_t(saveDisabled ? 1 : 2));
        if (!saveDisabled)
            QCOMPARE(bench.box.shown[1].text,
                     std::string("A new screenshot arrived, save current ?"));
        const std::set<std::string> names = test::FilesIn(folder);
        QCOMPARE(names.size(), std::size_t(1));
        QVERIFY(ReadAll(folder / *names.begin()) == Second);
    }

    // A screenshot that arrives while the Open dialog is up is dealt with first;
    // the picture the user picked is then shown and stays. Loading leaves the
    // received screenshot in place, so the next arrival still asks about it (with
    // "Disable Save" unticked) and switches "Disable Save" back on in any case. The
    // clipboard takes the shown screenshot's own file, and nothing of it while a
    // picture is shown.
    void aPickedPictureIsShownAfterWhatArrivedUnderTheOpenDialog_data() {
        QTest::addColumn<bool>("disableSave");
        QTest::newRow("Disable Save unticked") << false;
        QTest::newRow("Disable Save ticked") << true;
    }

    void aPickedPictureIsShownAfterWhatArrivedUnderTheOpenDialog() {
        QFETCH(bool, disableSave);
        test::SessionBench bench;
        bench.session.saveDisabledChanged(disableSave);
        bench.tick(First);
        test::WriteRaw(bench.path("picked.bmp"), Third);
        bench.dialog.choices.push_back(bench.path("picked.bmp"));
        bench.dialog.whileShown = [&] { bench.tick(Second); };
        bench.box.answers = {DialogAnswer::No, DialogAnswer::No};

        bench.session.dialogOpened();
        OnLoadImageClicked(bench.session, bench.load, bench.view);
        bench.session.dialogClosed();
        QVERIFY(bench.shown() == First);
        bench.dealWithAll();

        QVERIFY(bench.shown() == Third);
        QVERIFY(bench.session.state().ImageData == Second);
        QVERIFY(!bench.view.saveEnabled);
        QVERIFY(!bench.view.disableSaveEnabled);
        QVERIFY(!bench.session.shownScreenshotFile());

        const std::string fourth = test::TwoColourBitmap(404);
        bench.tick(fourth);
        // Unticked: asked about the first, then about the second.
        QCOMPARE(bench.box.shown.size(), std::size_t(disableSave ? 0 : 2));
        QCOMPARE(bench.view.saveEnabled, !disableSave);
        QVERIFY(bench.view.disableSaveEnabled);
        QVERIFY(bench.session.shownScreenshotFile() == fourth);
    }
};

KVD_REGISTER_TEST(ArrivalTest)
#include "ArrivalTest.moc"
