#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <set>
#ifdef _WIN32
#include "platform/win32/SystemErrorText.h"
#else
#include <unistd.h>
#endif

#include "files/ScreenshotFolder.h"
#include "tests/support/DiskWorkerInPlace.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::ReadAll;
namespace fs = std::filesystem;

namespace {

// 2 January 2027, 03:04:05 local time: every field of the name needs its zero.
std::time_t SecondOfTheTest() {
    std::tm local{};
    local.tm_year = 2027 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 2;
    local.tm_hour = 3;
    local.tm_min = 4;
    local.tm_sec = 5;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

constexpr const char* Base = "kvd62-20270102-030405";

} // namespace

class ScreenshotFolderTest : public QObject {
    Q_OBJECT

private slots:
    // `taken` are names already in the folder ("dir:" for a folder of that name);
    // each keeps its content, and the screenshot goes to `expected`.
    void eachScreenshotGetsANameOfItsOwn_data() {
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("expected");
        const QString base = QString::fromLatin1(Base);
        QTest::newRow("the first of its second") << QStringList{} << base + "-001.bmp";
        QTest::newRow("the second") << QStringList{base + "-001.bmp"} << base + "-002.bmp";
        QTest::newRow("the tenth sorts after the ninth")
            << QStringList{base + "-001.bmp", base + "-002.bmp", base + "-003.bmp",
                           base + "-004.bmp", base + "-005.bmp", base + "-006.bmp",
                           base + "-007.bmp", base + "-008.bmp", base + "-009.bmp"}
            << base + "-010.bmp";
        QTest::newRow("a folder of that name")
            << QStringList{"dir:" + base + "-001.bmp"} << base + "-002.bmp";
    }

    void eachScreenshotGetsANameOfItsOwn() {
        QFETCH(QStringList, taken);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const fs::path folder = dir.path().toStdString();
        for (const QString& name : taken) {
            if (name.startsWith("dir:"))
                fs::create_directory(folder / name.mid(4).toStdString());
            else
                test::WriteRaw(folder / name.toStdString(), "earlier");
        }
        const std::string shot = test::TwoColourBitmap(7);

        const ScreenshotFolder::Saved saved =
            ScreenshotFolder(folder).save(shot, SecondOfTheTest());
        QVERIFY2(saved.outcome.ok(), saved.outcome.reason().c_str());
        QCOMPARE(saved.path, folder / expected.toStdString());
        QVERIFY(ReadAll(saved.path) == shot);
        for (const QString& name : taken)
            if (!name.startsWith("dir:"))
                QCOMPARE(ReadAll(folder / name.toStdString()), std::string("earlier"));
        QCOMPARE(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
                 qsizetype(taken.size() + 1));
        const std::set<std::string> names = test::FilesIn(folder); // in byte order
        QCOMPARE(*names.rbegin(), expected.toStdString());         // the newest sorts last
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
        const fs::path shared = fs::path(dir.path().toStdString()), folder = shared / "shots";
        const fs::path mine = shared / "private";
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
        QCOMPARE(saved.path, folder / (std::string(Base) + "-001.bmp"));
        QVERIFY(test::FilesIn(mine).empty());
    }
};

KVD_REGISTER_TEST(ScreenshotFolderTest)
#include "ScreenshotFolderTest.moc"
