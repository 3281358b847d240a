#include <QTest>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "capture/ClockTime.h"
#include "files/ScreenshotFolder.h"
#include "flows/LoadImage.h"
#include "flows/SaveFlow.h"
#include "tests/support/SessionRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::ReadAll;

namespace {

using test::First, test::Second, test::Third;

constexpr int Yes = int(DialogAnswer::Yes);
constexpr int No = int(DialogAnswer::No);

} // namespace

// What happens to the window as screenshots and picture files arrive: the
// session hands them out, the flows deal with them.
class ArrivalTest : public QObject {
    Q_OBJECT

private slots:
    // The first screenshot is shown, unsaved, unasked, decoded once, and written
    // to the temporary file (shown all the same when that fails); a frame that is
    // no bitmap changes nothing. The next asks about it unless "Disable Save" is
    // ticked (the Save dialog's answers are SaveFlowTest's), and is shown, unsaved.
    void eachScreenshotIsShownAndTheUnsavedOneAskedAbout_data() {
        QTest::addColumn<bool>("disableSave");
        QTest::addColumn<bool>("firstSaved");
        QTest::addColumn<int>("answer"); // 0: not asked
        QTest::addColumn<QString>("savedAs");
        QTest::addColumn<QString>("tempImage");
        const QString temp = "kvd62temp.bmp";
        QTest::newRow("No: the new one is shown, unsaved") << false << false << No << "" << temp;
        QTest::newRow("Yes and a file: the first one is saved")
            << false << false << Yes << "first.bmp" << temp;
        QTest::newRow("the first was saved: no question") << false << true << 0 << "" << temp;
        QTest::newRow("Disable Save checked, the temporary file's folder not there")
            << true << false << 0 << ""
            << "missing-folder/kvd62temp.bmp";
    }

    void eachScreenshotIsShownAndTheUnsavedOneAskedAbout() {
        QFETCH(bool, disableSave);
        QFETCH(bool, firstSaved);
        QFETCH(int, answer);
        QFETCH(QString, savedAs);
        QFETCH(QString, tempImage);
        test::SessionRig rig;
        rig.services.tempImagePath = rig.path(tempImage.toStdString());
        rig.tick(First);
        rig.tick(test::Unreadable);

        QVERIFY(rig.shown() == First);
        QVERIFY(rig.session.currentScreenshot() == First);
        QVERIFY(rig.session.currentUnsaved());
        QVERIFY(rig.session.bytesReceived() == 0);
        QVERIFY(rig.view.saveEnabled);
        QVERIFY(rig.box.shown.empty());
        QCOMPARE(rig.view.pictureShows, 1);
        const bool written = !tempImage.contains('/');
        QVERIFY(ReadAll(rig.services.tempImagePath) == (written ? First : ""));
        // The screenshot once; the frame not at all, its header rules it out.
        QCOMPARE(rig.pictures.decodings, 1);
        QVERIFY(rig.pictures.loadedFiles.empty());
        QCOMPARE(test::FilesIn(rig.dir.path().toStdString()).size(), std::size_t(written));

        if (firstSaved) {
            rig.dialog.choices.push_back(rig.path("kept.bmp"));
            OnSaveImageClicked(rig.session, rig.services, rig.view);
            QVERIFY(!rig.session.currentUnsaved());
        }
        if (disableSave)
            rig.disableSave(true);
        if (answer != 0)
            rig.box.answers.push_back(DialogAnswer(answer));
        if (!savedAs.isEmpty())
            rig.dialog.choices.push_back(rig.path(savedAs.toStdString()));

        rig.tick(Second);

        QCOMPARE(rig.box.shown.size(), std::size_t(answer != 0));
        if (answer != 0)
            QCOMPARE(rig.box.shown[0].text,
                     std::string("A new screenshot arrived, save current ?"));
        if (!savedAs.isEmpty())
            QVERIFY(ReadAll(rig.path(savedAs.toStdString())) == First);
        QVERIFY(rig.shown() == Second);
        QVERIFY(rig.session.currentScreenshot() == Second);
        QVERIFY(rig.session.currentUnsaved());
        QCOMPARE(rig.view.saveEnabled, !disableSave);
        QVERIFY(rig.view.disableSaveEnabled);
        QVERIFY(rig.box.answers.empty());
        QVERIFY(rig.dialog.choices.empty());
    }

    // While the question about the second screenshot is up, three more arrive
    // back to back, read at a tick's pace: nothing is replaced under the
    // question, and then each is dealt with in order.
    void screenshotsArrivingUnderADialogWaitForItInOrder() {
        const std::vector<std::string> later{Third, test::TwoColourBitmap(404),
                                             test::TwoColourBitmap(505)};
        test::SessionRig rig;
        rig.tick(First);
        rig.box.answers = {DialogAnswer::No, DialogAnswer::No, DialogAnswer::No, DialogAnswer::No};
        std::vector<std::string> askedWhileShown;
        rig.box.whileShown = [&] {
            askedWhileShown.push_back(rig.session.currentScreenshot());
            if (askedWhileShown.size() > 1)
                return;
            const std::string line = later[0] + later[1] + later[2];
            for (std::size_t at = 0; at < line.size(); at += 2880)
                rig.tick(line.substr(at, 2880));
            QVERIFY(rig.shown() == First);
        };
        rig.tick(Second);

        QCOMPARE(askedWhileShown, (std::vector<std::string>{First, Second, later[0], later[1]}));
        QVERIFY(rig.shown() == later[2]);
    }

    // Whatever dialog is open, or while a write runs, a screenshot that arrives
    // waits, and is shown once it closes: the services hold arrivals themselves.
    void aScreenshotWaitsUnderEveryKindOfDialog_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"Save dialog", "Open dialog", "folder dialog", "export dialog",
                                 "question", "message", "comment box", "printing", "write"})
            QTest::newRow(kind) << kind;
    }
    void aScreenshotWaitsUnderEveryKindOfDialog() {
        QFETCH(QString, kind);
        test::SessionRig rig;
        rig.disableSave(true);
        rig.tick(First);
        bool waited = false;
        const auto arrive = [&] {
            rig.tick(Second);
            waited = rig.shown() == First && rig.session.waitingCount() == 1;
        };
        rig.dialog.whileShown = rig.exportDialog.whileShown = rig.box.whileShown =
            rig.input.whileShown = rig.printer.whileShown = arrive;
        Services& open = rig.services;
        const std::map<QString, std::function<void()>> dialogs{
            {"Save dialog", [&] { open.dialog.showSave(); }},
            {"Open dialog", [&] { open.dialog.showOpen(); }},
            {"folder dialog", [&] { open.dialog.chooseFolder("Save every screenshot to folder"); }},
            {"export dialog", [&] { open.exportDialog.showSave(); }},
            {"question", [&] { open.box.ask("?", "Save as", Buttons::YesNo, DialogAnswer::No); }},
            {"message", [&] { open.box.tell("!", "Save as"); }},
            {"comment box", [&] { open.input.ask("Comment:", "Add comment to your print", ""); }},
            {"printing", [&] { open.printer.print(Picture{}, "comment"); }},
            {"write", [&] { open.disk.run(arrive); }},
        };
        dialogs.at(kind)();
        QVERIFY(waited);
        rig.runLater();
        QVERIFY(rig.shown() == Second);
    }

    // More than the queue holds arrive while a dialog is open: the oldest are
    // dropped and that is said once; the rest are all shown.
    void anOverfullQueueSaysWhatItDropped() {
        test::SessionRig rig;
        rig.disableSave(true);
        const std::size_t sent = WaitingArrivals::Capacity + 3;
        {
            const ArrivalHold::Taken dialog = rig.hold.take();
            for (std::size_t i = 0; i < sent; ++i)
                rig.tick(test::TwoColourBitmap(std::uint32_t(1000 + i)));
        }
        rig.runLater();

        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        QCOMPARE(rig.box.shown[0].title, std::string("Incoming data"));
        QVERIFY2(rig.box.shown[0].text.find("The oldest 3 were dropped") != std::string::npos,
                 rig.box.shown[0].text.c_str());
        QCOMPARE(rig.view.pictureShows, int(WaitingArrivals::Capacity));
        QVERIFY(rig.shown() == test::TwoColourBitmap(std::uint32_t(1000 + sent - 1)));
    }

    // The history keeps every block dealt with, newest first with its tick; one
    // that is no bitmap as dropped, with the reason. Past its bound the oldest go.
    void theHistoryKeepsWhatTheSessionReceived_data() {
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("unreadableAt");
        QTest::addColumn<QString>("summary");
        QTest::newRow("an unreadable block between two")
            << 3 << 1 << "2 screenshots, 1 dropped, newest first.";
        QTest::newRow("more than it keeps")
            << int(SessionHistory::Capacity) + 2 << -1
            << "1000 screenshots, newest first. Only the last 1000 are kept.";
    }

    void theHistoryKeepsWhatTheSessionReceived() {
        QFETCH(int, sent);
        QFETCH(int, unreadableAt);
        QFETCH(QString, summary);
        test::SessionRig rig;
        rig.box.answers.assign(std::size_t(sent), DialogAnswer::No);
        std::vector<std::string> blocks;
        for (int i = 0; i < sent; ++i) {
            blocks.push_back(i == unreadableAt ? test::Unreadable
                                               : test::TwoColourBitmap(std::uint32_t(700 + i)));
            rig.tick(blocks.back());
        }

        const std::size_t kept = std::min<std::size_t>(blocks.size(), SessionHistory::Capacity);
        QCOMPARE(rig.history.size(), kept);
        QCOMPARE(rig.history.forgotten(), std::uint64_t(blocks.size() - kept));
        for (std::size_t age = 0; age < kept; ++age) {
            const HistoryEntry& entry = rig.history.at(age);
            const std::size_t sentAs = blocks.size() - 1 - age;
            QVERIFY(entry.bytes == blocks[sentAs]);
            QCOMPARE(entry.arrived, std::time_t(sentAs + 1));
            QCOMPARE(entry.dropped(), int(sentAs) == unreadableAt);
        }
        if (unreadableAt >= 0) {
            const std::string said =
                SessionHistory::describe(rig.history.at(std::size_t(sent - 1 - unreadableAt)));
            QVERIFY2(said.ends_with("\ndropped: it starts like a screenshot but is not a "
                                    "readable bitmap (its bitmap header is damaged)"),
                     said.c_str());
        }
        QCOMPARE(QString::fromStdString(rig.history.summary()), summary);
        // A list that showed the first two finds what came after; what went is gone.
        QCOMPARE(rig.history.newerThan(2), std::min<std::size_t>(blocks.size() - 2, kept));
        QCOMPARE(rig.history.bySerial(1) != nullptr, blocks.size() <= kept);
        // An export takes all when fewer than two are picked, else those picked.
        QCOMPARE(rig.history.toExport({2}).size(), kept);
        const std::vector<HistoryEntry> picked = rig.history.toExport({1, 2});
        QCOMPARE(picked.size(), std::size_t(blocks.size() <= kept ? 2 : 0));
        QVERIFY(picked.empty() || (picked[0].bytes == blocks[1] && picked[1].bytes == blocks[0]));
    }

    // A failed write is said once (with "untick Disable Save" when it is ticked);
    // the screenshot stays unsaved, and the next one is saved as before.
    void aFailedWriteIntoTheFolderIsSaidOnce_data() {
        QTest::addColumn<bool>("saveDisabled");
        QTest::newRow("asking") << false;
        QTest::newRow("\"Disable Save\" ticked") << true;
    }
    void aFailedWriteIntoTheFolderIsSaidOnce() {
        QFETCH(bool, saveDisabled);
        test::SessionRig rig;
        const std::filesystem::path folder = rig.path("stick");
        std::filesystem::create_directory(folder);
        rig.session.savingTo(folder);
        rig.disableSave(saveDisabled);
        std::filesystem::remove(folder);
        rig.tick(First);
        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        const std::string& said = rig.box.shown[0].text;
        QVERIFY2(said.starts_with("The screenshot could not be saved to " +
                                  (folder / "kvd62-").string()),
                 said.c_str());
        QCOMPARE(said.find("untick \"Disable Save\"") != std::string::npos, saveDisabled);
        QVERIFY(rig.shown() == First);
        QVERIFY(rig.session.currentUnsaved());

        std::filesystem::create_directory(folder);
        if (!saveDisabled)
            rig.box.answers.push_back(DialogAnswer::No);
        rig.tick(Second);
        QCOMPARE(rig.box.shown.size(), std::size_t(saveDisabled ? 1 : 2));
        if (!saveDisabled)
            QCOMPARE(rig.box.shown[1].text,
                     std::string("A new screenshot arrived, save current ?"));
        // Named for the tick it came in, the second.
        const std::string name = FolderFileName(LocalTime(2), 1);
        QCOMPARE(test::FilesIn(folder), std::set<std::string>{name});
        QVERIFY(ReadAll(folder / name) == Second);
    }

    // A screenshot arriving under the Open dialog is dealt with first; the picked
    // picture is then shown and stays. The screenshot stays current, so the next
    // arrival asks about it (unless "Disable Save" is ticked) and switches "Disable
    // Save" back on. The clipboard takes a shown screenshot's file, never a picture.
    void aPickedPictureIsShownAfterWhatArrivedUnderTheOpenDialog_data() {
        QTest::addColumn<bool>("disableSave");
        QTest::newRow("Disable Save unticked") << false;
        QTest::newRow("Disable Save ticked") << true;
    }

    void aPickedPictureIsShownAfterWhatArrivedUnderTheOpenDialog() {
        QFETCH(bool, disableSave);
        test::SessionRig rig;
        rig.disableSave(disableSave);
        rig.tick(First);
        test::WriteRaw(rig.path("picked.bmp"), Third);
        rig.dialog.choices.push_back(rig.path("picked.bmp"));
        rig.dialog.whileShown = [&] { rig.tick(Second); };
        rig.box.answers = {DialogAnswer::No, DialogAnswer::No};

        OnLoadImageClicked(rig.pump, rig.services, rig.view);
        QVERIFY(rig.shown() == First);
        rig.runLater();

        QVERIFY(rig.shown() == Third);
        QVERIFY(rig.session.currentScreenshot() == Second);
        QVERIFY(!rig.view.saveEnabled);
        QVERIFY(!rig.view.disableSaveEnabled);
        QVERIFY(!rig.session.shownScreenshotFile());

        const std::string fourth = test::TwoColourBitmap(404);
        rig.tick(fourth);
        // Unticked: asked about the first, then about the second.
        QCOMPARE(rig.box.shown.size(), std::size_t(disableSave ? 0 : 2));
        QCOMPARE(rig.view.saveEnabled, !disableSave);
        QVERIFY(rig.view.disableSaveEnabled);
        QVERIFY(rig.session.shownScreenshotFile() == fourth);
    }
};

KVD_REGISTER_TEST(ArrivalTest)
#include "ArrivalTest.moc"
