#include <QTest>

#include "files/FolderCapture.h"
#include "tests/files/SessionRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::ReadAll;

namespace {

// Every tick of these tests comes in one second, as a burst does.
constexpr std::time_t TheSecond = 1798772645;

using test::First;
using test::Second;
using test::Third;
using test::Unreadable;

struct RecordedReport final : CaptureReport {
    std::vector<std::string> paths, problems;
    void saved(const std::string& path) override { paths.push_back(path); }
    void problem(const std::string& text) override { problems.push_back(text); }
};

// Writes in place; the first write may first let the event loop run a poll, as
// the program's disk worker does while a write is slow.
struct SlowDisk final : DiskWorker {
    std::function<void()> duringWrite;
    void run(const std::function<void()>& write) override {
        if (const auto poll = std::exchange(duringWrite, {}))
            poll();
        write();
    }
};

// Capture into a folder of the rig's own, as --no-window runs it.
struct FolderRig {
    test::SessionRig rig;
    RecordedReport report;
    SlowDisk disk;
    FolderCapture capture;
    explicit FolderRig(bool keepUnreadable)
        : capture(rig.session, rig.dir.path().toStdString(), {disk, report}, keepUnreadable) {}
    // A poll, then a save of what waits, as the program runs them one after the
    // other; a save during a write saves nothing itself.
    int tick(const std::string& bytes, int most = 0) {
        rig.comm.arrive(bytes);
        capture.poll(TheSecond);
        return capture.saveWaiting(most);
    }
    std::multiset<std::string> files() const {
        std::multiset<std::string> contents;
        for (const std::string& name : test::FilesIn(rig.dir.path().toStdString()))
            contents.insert(ReadAll(rig.path(name)));
        return contents;
    }
};

} // namespace

class FolderCaptureTest : public QObject {
    Q_OBJECT

private slots:
    // Each screenshot lands in the folder byte for byte and its path is reported,
    // in the order they came, also when more come while one is being written; an
    // unreadable block is reported with the reason, and kept only when asked.
    void everyScreenshotIsSavedAndReported_data() {
        QTest::addColumn<bool>("keepUnreadable");
        QTest::addColumn<int>("most");
        QTest::addColumn<int>("saved");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("slowWrite");
        QTest::newRow("three screenshots") << false << 0 << 3 << false << false;
        QTest::newRow("at most two") << false << 2 << 2 << false << false;
        QTest::newRow("an unreadable block, said") << false << 0 << 3 << true << false;
        QTest::newRow("an unreadable block, kept") << true << 0 << 3 << true << false;
        QTest::newRow("two more during a slow write") << false << 0 << 3 << false << true;
        QTest::newRow("one more during a slow write, at most two")
            << false << 2 << 2 << false << true;
    }
    void everyScreenshotIsSavedAndReported() {
        QFETCH(bool, keepUnreadable);
        QFETCH(int, most);
        QFETCH(int, saved);
        QFETCH(bool, refused);
        QFETCH(bool, slowWrite);
        FolderRig folder(keepUnreadable);
        const std::string later = (refused ? Unreadable : "") + Second + Third;
        if (slowWrite) {
            int savedInPoll = 0;
            folder.disk.duringWrite = [&] { savedInPoll = folder.tick(later, most); };
            QCOMPARE(folder.tick(First, most) + savedInPoll, saved);
        } else {
            QCOMPARE(folder.tick(First + later, most), saved);
        }

        std::multiset<std::string> expected{First, Second};
        if (saved == 3)
            expected.insert(Third);
        if (keepUnreadable)
            expected.insert(Unreadable);
        QVERIFY(folder.files() == expected);
        QCOMPARE(int(folder.report.paths.size()), saved);
        // Each in turn, named as the save folder names it for the second it came
        // in (its naming is tested there), not for when it was saved.
        const std::vector<std::string> inOrder{First, Second, Third};
        for (std::size_t i = 0; i < folder.report.paths.size(); ++i) {
            // (Compared as paths: Windows writes its own separator.)
            QCOMPARE(
                PathFromUtf8(folder.report.paths[i]),
                PathFromUtf8(folder.rig.path(FolderFileName(LocalTime(TheSecond), int(i) + 1))));
            QVERIFY(ReadAll(folder.report.paths[i]) == inOrder[i]);
        }
        QCOMPARE(folder.report.problems.size(), std::size_t(refused ? 1 : 0));
        if (refused) {
            const std::string& said = folder.report.problems[0];
            QVERIFY2(said.find("starts like a screenshot but is not a readable bitmap") !=
                         std::string::npos,
                     said.c_str());
            QCOMPARE(said.find("-unreadable.bin") != std::string::npos, keepUnreadable);
        }
    }

    // A poll only reads the line: what it cut out waits for the save, which the
    // program runs apart from the poll, so that a slow write never holds the
    // polls back.
    void aPollOnlyReadsTheLine() {
        FolderRig folder(false);
        folder.rig.comm.arrive(First + Second);
        QVERIFY(folder.capture.poll(TheSecond));
        QVERIFY(folder.files().empty());
        QCOMPARE(folder.capture.saveWaiting(), 2);
        QVERIFY(!folder.capture.poll(TheSecond));
        QVERIFY(folder.files() == (std::multiset<std::string>{First, Second}));
    }

    // A screenshot the folder cannot take (it was removed) is kept, said, and
    // written before any other once the folder is back: with the next one, or at
    // the stop's last save, when nothing else comes.
    void aScreenshotThatCannotBeWrittenIsKept() {
        FolderRig folder(false);
        const std::filesystem::path dir = PathFromUtf8(folder.rig.dir.path().toStdString());
        std::filesystem::remove_all(dir);
        QCOMPARE(folder.tick(First), 0);
        QCOMPARE(folder.capture.unsaved(), 1);
        QVERIFY2(folder.report.problems.back().starts_with("The screenshot is kept"),
                 folder.report.problems.back().c_str());
        std::filesystem::create_directory(dir);
        QCOMPARE(folder.tick(Second), 2);
        QVERIFY(ReadAll(folder.report.paths[0]) == First); // named first: it came first

        std::filesystem::remove_all(dir);
        QCOMPARE(folder.tick(Third), 0);
        std::filesystem::create_directory(dir);
        QCOMPARE(folder.capture.saveWaiting(), 1);
        QCOMPARE(folder.capture.unsaved(), 0);
        QVERIFY(folder.files() == (std::multiset<std::string>{Third}));
    }

    // A lost port is said once, and its return once. (How it is retried, and
    // as which device, is the session's rule, tested there.)
    void aLostPortIsSaidOnceEachWay() {
        FolderRig folder(false);
        folder.rig.comm.lose();
        folder.tick({});
        folder.tick({});
        QCOMPARE(folder.report.problems.size(), std::size_t(1));
        const std::string& said = folder.report.problems[0];
        QVERIFY2(said.starts_with("The serial port was lost (") &&
                     said.find("lost", said.find("lost") + 1) == std::string::npos &&
                     said.find("waiting") == said.rfind("waiting"),
                 said.c_str()); // each said once
        folder.rig.comm.plugBackIn();
        folder.tick({});
        folder.tick({});
        QCOMPARE(folder.report.problems.size(), std::size_t(2));
        QVERIFY(folder.report.problems[1].starts_with("The serial port is back ("));
    }
};

KVD_REGISTER_TEST(FolderCaptureTest)
#include "FolderCaptureTest.moc"
