#include <QTest>
#include <algorithm>

#include "flows/ArrivalPump.h"
#include "flows/FolderCapture.h"
#include "tests/support/SessionRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#ifdef _WIN32
#include "platform/win32/FileCalls.h"
#endif

using namespace kvd;
using test::ReadAll;

namespace {

// The second the ticks of these tests come in, unless a test says another.
constexpr std::time_t TheSecond = 1798772645;

using test::First, test::Second, test::Third, test::Unreadable;

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
    ArrivalPump pump;
    explicit FolderRig(bool keepUnreadable, int most = 0)
        : capture(rig.session, rig.dir.path().toStdString(), {disk, report}, keepUnreadable, most),
          pump(rig.session, rig.hold, capture, rig.queueLater()) {}
    // Whether a poll ever saved: it should only read the line, leaving the saves
    // to the event loop, so that a slow write never holds the polls back.
    bool savedInAPoll = false;
    // A poll, then what it left for the event loop, as the program runs them;
    // how many were saved meanwhile.
    int tick(const std::string& bytes, std::time_t when = TheSecond) {
        const int before = capture.saved();
        rig.comm.arrive(bytes);
        capture.polled(pump.poll(when));
        savedInAPoll |= capture.saved() != before;
        rig.runLater();
        return capture.saved() - before;
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
        FolderRig folder(keepUnreadable, most);
        const std::string later = (refused ? Unreadable : "") + Second + Third;
        if (slowWrite) {
            int savedInPoll = 0;
            folder.disk.duringWrite = [&] { savedInPoll = folder.tick(later); };
            QCOMPARE(folder.tick(First) + savedInPoll, saved);
        } else {
            QCOMPARE(folder.tick(First + later), saved);
        }

        std::multiset<std::string> expected{First, Second};
        if (saved == 3)
            expected.insert(Third);
        if (keepUnreadable)
            expected.insert(Unreadable);
        QVERIFY(!folder.savedInAPoll);
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

    // Screenshots the folder cannot take (it was removed) wait, each said, and
    // are written once the folder is back, in the order they came: with the
    // next one, or at the stop, when nothing else comes. Past the most that
    // wait, the next one among them, the oldest are dropped, said, and counted
    // at the end.
    void screenshotsThatCannotBeWrittenAreKept_data() {
        QTest::addColumn<int>("arriving");
        QTest::addColumn<bool>("nextComes");
        QTest::addColumn<int>("waiting");
        QTest::addColumn<int>("dropped");
        const int most = int(WaitingArrivals::Capacity);
        QTest::newRow("one, written at the stop") << 1 << false << 1 << 0;
        QTest::newRow("as many as wait") << most << false << most << 0;
        QTest::newRow("three more than wait: the oldest three dropped")
            << most + 3 << false << most << 3;
        QTest::newRow("one more than wait, then the next: the oldest two dropped")
            << most + 1 << true << most << 2;
    }
    void screenshotsThatCannotBeWrittenAreKept() {
        QFETCH(int, arriving);
        QFETCH(bool, nextComes);
        QFETCH(int, waiting);
        QFETCH(int, dropped);
        FolderRig folder(false);
        const std::filesystem::path dir = PathFromUtf8(folder.rig.dir.path().toStdString());
        std::filesystem::remove_all(dir);
        // Each in a second of its own, as screenshots come at the line's speed.
        // (In one second, each save would first walk past every name the ones
        // before it took: under Wine that alone outlasts the watchdog.)
        std::vector<std::string> sent;
        for (int i = 0; i < arriving; ++i) {
            sent.push_back(test::TwoColourBitmap(std::uint32_t(1000 + i)));
            QCOMPARE(folder.tick(sent.back(), TheSecond + i), 0);
        }
        QCOMPARE(folder.capture.unsaved(), waiting);
        const std::string& said = folder.report.problems.back();
        const std::string after =
            waiting == 1 ? " and" : " with " + std::to_string(waiting - 1) + " that came after it";
        QVERIFY2(said.starts_with("The screenshot is kept" + after), said.c_str());
        const auto droppedSaid = [&] {
            return int(std::count_if(folder.report.problems.begin(), folder.report.problems.end(),
                                     [](const std::string& text) {
                                         return text.starts_with("The oldest 1 screenshot was");
                                     }));
        };
        QCOMPARE(droppedSaid(), arriving - waiting);
        QVERIFY2(
            folder.capture.neverWritten().starts_with(std::to_string(arriving) + " screenshot"),
            folder.capture.neverWritten().c_str());

        std::filesystem::create_directory(dir);
        if (nextComes) {
            sent.push_back(Third);
            folder.tick(Third, TheSecond + arriving);
        } else {
            folder.capture.lastTry();
            folder.pump.dealWithTheRest();
        }
        QCOMPARE(folder.capture.unsaved(), 0);
        QCOMPARE(droppedSaid(), dropped);
        // The kept ones in the order they came, each named for the second it came
        // in, the newest last.
        QCOMPARE(int(folder.report.paths.size()), int(sent.size()) - dropped);
        for (std::size_t i = 0; i < folder.report.paths.size(); ++i) {
            const std::time_t came = TheSecond + dropped + std::time_t(i);
            QCOMPARE(PathFromUtf8(folder.report.paths[i]),
                     PathFromUtf8(folder.rig.path(FolderFileName(LocalTime(came), 1))));
            QVERIFY(ReadAll(folder.report.paths[i]) == sent[std::size_t(dropped) + i]);
        }
        // Only those dropped are never written, and the end says so.
        const std::string end = folder.capture.neverWritten();
        QVERIFY2(dropped == 0 ? end.empty()
                              : end.starts_with(std::to_string(dropped) + " screenshot") &&
                                    end.find("dropped") != std::string::npos,
                 end.c_str());
    }

    // A screenshot that could not be moved into its name but is kept whole under
    // its temporary one is written: it is said, and never written again, so
    // each screenshot leaves one file. Windows' answers, which Wine cannot give:
    // a hold that outlasts the retries, and a share where the user has NTFS
    // "Write" but not "Modify" (moves and deletes refused as access denied).
    void aScreenshotKeptUnderItsTemporaryNameIsWritten_data() {
        QTest::addColumn<int>("refusal");
        QTest::newRow("held by another program") << 32;    // ERROR_SHARING_VIOLATION
        QTest::newRow("renames and deletes refused") << 5; // ERROR_ACCESS_DENIED
    }
    void aScreenshotKeptUnderItsTemporaryNameIsWritten() {
#ifndef _WIN32
        QSKIP("Windows' answers, given through its calls");
#else
        QFETCH(int, refusal);
        static DWORD refused;
        refused = DWORD(refusal);
        const struct Restore {
            FileCalls windows = CurrentFileCalls();
            ~Restore() { CurrentFileCalls() = windows; }
        } restore;
        FileCalls& calls = CurrentFileCalls();
        calls.move = [](LPCWSTR, LPCWSTR, DWORD) -> BOOL { return SetLastError(refused), FALSE; };
        calls.remove = [](LPCWSTR) -> BOOL { return SetLastError(ERROR_ACCESS_DENIED), FALSE; };
        // Refused for good: no file here opens for DELETE.
        calls.openForDelete = [](const std::wstring&) -> DWORD { return refused; };
        calls.wait = [](DWORD) {};
        FolderRig folder(false);
        for (const std::string& shot : {First, Second, Third})
            QCOMPARE(folder.tick(shot), 1);
        QCOMPARE(folder.capture.unsaved(), 0);
        QVERIFY(folder.files() == (std::multiset<std::string>{First, Second, Third}));
        QCOMPARE(folder.report.problems.size(), std::size_t(3));
        for (const std::string& said : folder.report.problems)
            QVERIFY2(said.find("kept as") != std::string::npos, said.c_str());
        QVERIFY(folder.capture.neverWritten().empty());
#endif
    }

    // A lost port is said once, and its return once. (How it is retried, and
    // as which device, is the session's rule, tested there.)
    void aLostPortIsSaidOnceEachWay() {
        FolderRig folder(false);
        folder.rig.comm.lose();
        folder.tick({});
        folder.tick({});
        folder.rig.comm.plugBackIn();
        folder.tick({});
        folder.tick({});
        QCOMPARE(folder.report.problems.size(), std::size_t(2));
        const std::string& said = folder.report.problems[0];
        QVERIFY2(said.starts_with("The serial port was lost (") &&
                     said.find("lost", said.find("lost") + 1) == std::string::npos &&
                     said.find("waiting") == said.rfind("waiting"),
                 said.c_str()); // each said once
        QVERIFY(folder.report.problems[1].starts_with("The serial port is back ("));
    }
};

KVD_REGISTER_TEST(FolderCaptureTest)
#include "FolderCaptureTest.moc"
