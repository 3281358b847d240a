#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <iomanip>
#include <set>
#include <sstream>
#ifdef _WIN32
#include "platform/win32/SystemErrorText.h"
#else
#include <unistd.h>
#endif

#include "files/ScreenshotFolder.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::ReadAll;
namespace fs = std::filesystem;

namespace {

// Local time in which every field of the name needs its zero.
std::time_t SecondOfTheTest() {
    std::tm local{};
    std::istringstream("2027-01-02 03:04:05") >> std::get_time(&local, "%Y-%m-%d %H:%M:%S");
    local.tm_isdst = -1;
    return std::mktime(&local);
}

const std::string Base = "kvd62-20270102-030405";

// The nth name of that second, written out for the first nine.
std::string Named(int nth) {
    return Base + "-00" + std::to_string(nth) + ".bmp";
}

} // namespace

class ScreenshotFolderTest : public QObject {
    Q_OBJECT

private slots:
    // The first `taken` names of the second are already in the folder, each a
    // file that keeps its content, or a folder; the screenshot goes to `expected`.
    void eachScreenshotGetsANameOfItsOwn_data() {
        QTest::addColumn<int>("taken");
        QTest::addColumn<bool>("folders");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the first of its second") << 0 << false << "-001.bmp";
        QTest::newRow("the tenth sorts after the ninth") << 9 << false << "-010.bmp";
        QTest::newRow("a folder of that name") << 1 << true << "-002.bmp";
    }

    void eachScreenshotGetsANameOfItsOwn() {
        QFETCH(int, taken);
        QFETCH(bool, folders);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const fs::path folder = dir.path().toStdString();
        for (int nth = 1; nth <= taken; ++nth)
            if (folders)
                fs::create_directory(folder / Named(nth));
            else
                test::WriteRaw(folder / Named(nth), "earlier");
        const std::string shot = test::TwoColourBitmap(7);

        const ScreenshotFolder::Saved saved =
            ScreenshotFolder(folder).save(shot, SecondOfTheTest());
        QVERIFY2(saved.outcome.ok(), saved.outcome.reason().c_str());
        QCOMPARE(saved.path, folder / (Base + expected.toStdString()));
        QVERIFY(ReadAll(saved.path) == shot);
        for (int nth = 1; nth <= taken && !folders; ++nth)
            QCOMPARE(ReadAll(folder / Named(nth)), std::string("earlier"));
        QCOMPARE(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
                 qsizetype(taken + 1));
        const std::set<std::string> names = test::FilesIn(folder); // in byte order
        QCOMPARE(*names.rbegin(), saved.path.filename().string()); // the newest sorts last
    }

    // A save folder that cannot take screenshots is said before the first one
    // comes, and each save into it fails naming the file. "planted": the folder
    // is a link that another user made in a folder shared by all (/tmp) to a
    // folder of this user's, which the system itself would not follow.
    void aFolderThatCannotTakeThemIsAFailureNamingTheFile_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("reason");
#ifdef _WIN32
        const QString noSuchFolder = QString::fromStdString(SystemErrorText(ERROR_PATH_NOT_FOUND));
#else
        const QString noSuchFolder = "No such file or directory";
#endif
        QTest::newRow("a folder that went away") << "gone" << noSuchFolder;
        QTest::newRow("another user's link in a shared folder") << "planted"
                                                                << "another user";
    }

    void aFolderThatCannotTakeThemIsAFailureNamingTheFile() {
        QFETCH(QString, how);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const fs::path shared = dir.path().toStdString(), folder = shared / "shots",
                       mine = shared / "private";
        if (how == "planted") {
#ifdef _WIN32
            QSKIP(
                "links are made by administrators on Windows; ScreenshotFileTest answers for them");
#else
            if (geteuid() != 0)
                QSKIP("planting another user's link needs root");
            fs::create_directory(mine);
            fs::create_directory_symlink(mine, folder);
            fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
            QCOMPARE(lchown(folder.c_str(), 65534, 65534), 0);
#endif
        }
        DiskWorkerInPlace disk;
        const std::string why = WhyNotASaveFolder(folder, disk);
        QVERIFY2(why.starts_with("Screenshots cannot be saved to " + folder.string() + ": ") &&
                     why.find(reason.toStdString()) != std::string::npos,
                 why.c_str());
        const ScreenshotFolder::Saved saved =
            ScreenshotFolder(folder).save(test::TwoColourBitmap(7), SecondOfTheTest());
        QVERIFY(!saved.outcome.ok());
        QVERIFY2(saved.outcome.reason().find(reason.toStdString()) != std::string::npos,
                 saved.outcome.reason().c_str());
        QCOMPARE(saved.path, folder / Named(1));
        QVERIFY(test::FilesIn(mine).empty());
    }
};

KVD_REGISTER_TEST(ScreenshotFolderTest)
#include "ScreenshotFolderTest.moc"
