#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "files/ScreenshotFolder.h"
#include "flows/SaveFlow.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"
#ifdef _WIN32
#include "platform/win32/SystemErrorText.h"
#endif

using namespace kvd;
using test::ReadAll;
namespace fs = std::filesystem;

namespace {

constexpr const char* Cancel = "<cancel>";
const std::string OldContent = "BM old screenshot";

// Everything one save needs, with its files in a folder of its own.
struct SaveRig : test::FakeServices {
    QTemporaryDir dir;
    fs::path folder{dir.path().toStdString()};
    test::FakeCaptureView view;
    CaptureSession session{comm, pictures, hold};

    // The screenshot on screen, unsaved.
    void show(const std::string& screenshot) {
        session.screenshotShown({.bytes = screenshot, .picture = Picture{}});
    }

    std::string path(const QString& name) const {
        return name.isEmpty() ? std::string{} : (folder / name.toStdString()).string();
    }
    void script(const QStringList& choices, const QList<int>& answers) {
        for (const QString& choice : choices)
            dialog.choices.push_back(choice == Cancel ? std::nullopt
                                                      : std::optional<std::string>(path(choice)));
        for (int answer : answers)
            box.answers.push_back(DialogAnswer(answer));
    }
};

constexpr int Yes = int(DialogAnswer::Yes);
constexpr int No = int(DialogAnswer::No);
constexpr int CancelAnswer = int(DialogAnswer::Cancel);

} // namespace

class SaveFlowTest : public QObject {
    Q_OBJECT

private slots:
    void runsTheDialogLoop_data() {
        QTest::addColumn<bool>("arrival");
        QTest::addColumn<bool>("hasImage");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QStringList>("boxes");

        const QStringList none;
        const QString shot = "shot.bmp";
        QTest::newRow("new path: written, no question")
            << false << true << none << QStringList{shot} << QList<int>{} << shot << true << none;
        QTest::newRow("existing path, No: the dialog comes back")
            << false << true << QStringList{shot} << QStringList{shot, "other.bmp"}
            << QList<int>{No} << "other.bmp" << true << QStringList{"Save as"};
        QTest::newRow("existing path, No, then Cancel in the dialog")
            << false << true << QStringList{shot} << QStringList{shot, Cancel} << QList<int>{No}
            << "" << false << QStringList{"Save as"};
        QTest::newRow("existing path, Cancel: nothing written")
            << false << true << QStringList{shot} << QStringList{shot} << QList<int>{CancelAnswer}
            << "" << false << QStringList{"Save as"};
        QTest::newRow("Cancel in the dialog")
            << false << true << none << QStringList{Cancel} << QList<int>{} << "" << false << none;
        QTest::newRow("an empty path brings the dialog back")
            << false << true << none << QStringList{"", shot} << QList<int>{} << shot << true
            << none;
        QTest::newRow("arrival, No: marked saved, no dialog")
            << true << true << none << none << QList<int>{No} << "" << true
            << QStringList{"Incoming data"};
        QTest::newRow("arrival, Yes, then Cancel")
            << true << true << none << QStringList{Cancel} << QList<int>{Yes} << "" << false
            << QStringList{"Incoming data"};
        QTest::newRow("arrival, Yes, existing path, Yes")
            << true << true << QStringList{shot} << QStringList{shot} << QList<int>{Yes, Yes}
            << shot << true << QStringList{"Incoming data", "Save as"};
        QTest::newRow("no screenshot yet: said, the file there untouched, nothing created")
            << false << false << QStringList{shot} << QStringList{shot} << QList<int>{} << ""
            << true << QStringList{"Save as"};
        QTest::newRow("existing read-only file, Yes: said, not replaced")
            << false << true << QStringList{"read-only.bmp"} << QStringList{"read-only.bmp"}
            << QList<int>{Yes} << "" << false << QStringList{"Save as", "Save as"};
        QTest::newRow("a folder that does not exist: said, not saved")
            << false << true << none << QStringList{"missing/shot.bmp"} << QList<int>{} << ""
            << false << QStringList{"Save as"};
        // A folder is no file to replace: not asked about, the write fails.
        QTest::newRow("a folder chosen: no question, said, not saved")
            << false << true << QStringList{"v1.2/"} << QStringList{"v1.2"} << QList<int>{} << ""
            << false << QStringList{"Save as"};
        // A name typed without an extension gets the bitmap's; one with any
        // extension is left as typed. An existing file, Yes: replaced.
        QTest::newRow("typed without an extension, that file exists, Yes: replaced")
            << false << true << QStringList{"first.bmp"} << QStringList{"first"} << QList<int>{Yes}
            << "first.bmp" << true << QStringList{"Save as"};
        QTest::newRow("a dot in the folder's name only: .bmp added")
            << false << true << QStringList{"v1.2/"} << QStringList{"v1.2/first"} << QList<int>{}
            << "v1.2/first.bmp" << true << none;
        QTest::newRow("another extension: kept") << false << true << none << QStringList{"shot.png"}
                                                 << QList<int>{} << "shot.png" << true << none;
    }

    void runsTheDialogLoop() {
        QFETCH(bool, arrival);
        QFETCH(bool, hasImage);
        QFETCH(QStringList, existing);
        QFETCH(QStringList, choices);
        QFETCH(QList<int>, answers);
        QFETCH(QString, written);
        QFETCH(bool, saved);
        QFETCH(QStringList, boxes);

        SaveRig rig;
        for (const QString& name : existing) {
            if (name.endsWith('/')) {
                fs::create_directory(rig.path(name));
                continue;
            }
            std::ofstream(rig.path(name), std::ios::binary) << OldContent;
            if (name.startsWith("read-only"))
                fs::permissions(rig.path(name), fs::perms::owner_read | fs::perms::group_read);
        }
        // "1" for a file there; "0" for a folder, a missing file or no name.
        QCOMPARE(ReportFileStatus(rig.files, rig.path(choices.value(0))),
                 std::string(existing.contains(choices.value(0)) ? "1" : "0"));
        rig.script(choices, answers);
        const std::string image = test::TwoColourBitmap(21);
        if (hasImage)
            rig.show(image);
        rig.view.disableSaveEnabled = false;

        if (arrival)
            SaveScreenshot(rig.session, SaveMode::OnArrival, rig.services, rig.view);
        else
            OnSaveImageClicked(rig.session, rig.services, rig.view);

        QCOMPARE(!rig.session.currentUnsaved(), saved);
        QCOMPARE(rig.dialog.shown.size(), std::size_t(choices.size())); // each choice, no more
        QStringList titles;
        for (const auto& box : rig.box.shown) {
            titles << QString::fromStdString(box.title);
            // Each in its own words; Enter saves the screenshot and replaces no file.
            if (box.title == "Incoming data")
                QVERIFY(box.text == "A new screenshot arrived, save current ?" &&
                        box.buttons == int(Buttons::YesNo) && box.onEnter == DialogAnswer::Yes);
            else if (box.buttons != 0)
                QVERIFY(box.text == existing[0].toStdString() + " exists\r\nOverwrite ?" &&
                        box.buttons == int(Buttons::YesNoCancel) &&
                        box.onEnter == DialogAnswer::No);
            else if (!hasImage)
                QCOMPARE(box.text, std::string("There is no screenshot to save yet."));
        }
        QCOMPARE(titles, boxes);
        for (const auto& shown : rig.dialog.shown)
            QVERIFY(shown.saving && shown.title == "Save current screenshot as" &&
                    shown.filter == "KVD62 screenshots (*.bmp)|*.bmp");
        QCOMPARE(rig.view.disableSaveEnabled, arrival);
        for (const QString& name : existing)
            if (name != written && !name.endsWith('/'))
                QCOMPARE(ReadAll(rig.path(name)), OldContent);
        if (!written.isEmpty())
            QVERIFY(ReadAll(rig.path(written)) == image);
        else
            QCOMPARE(test::FilesIn(rig.folder).size(), std::size_t(existing.size()));
    }

    // From the history: the same dialog and overwrite question, its own filter
    // for a dropped block's raw bytes. A screenshot is offered the last
    // screenshot's file; a dropped block a name of its own, as the save folder
    // names it, in that file's folder, and "Save image" then offers the last
    // screenshot's file again. `dropped`: the length of the dropped block saved,
    // 0 for a screenshot.
    void savesFromTheHistory_data() {
        QTest::addColumn<int>("dropped");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("written");

        QTest::newRow("a screenshot, new path")
            << 0 << QStringList{"shot.bmp"} << QList<int>{} << "shot.bmp";
        QTest::newRow("a screenshot, existing path, No, then another")
            << 0 << QStringList{"old.bmp", "shot.bmp"} << QList<int>{No} << "shot.bmp";
        QTest::newRow("a dropped block, existing path, Yes")
            << 2750 << QStringList{"old.bmp"} << QList<int>{Yes} << "old.bmp";
        // A line error cuts a block short, or runs it into the next.
        QTest::newRow("a dropped block of 1000 bytes")
            << 1000 << QStringList{"short.bin"} << QList<int>{} << "short.bin";
        QTest::newRow("a dropped block of 5000 bytes")
            << 5000 << QStringList{"long.bin"} << QList<int>{} << "long.bin";
        QTest::newRow("a dropped block typed without an extension")
            << 2750 << QStringList{"dropped"} << QList<int>{} << "dropped.bin";
    }

    void savesFromTheHistory() {
        QFETCH(int, dropped);
        QFETCH(QStringList, choices);
        QFETCH(QList<int>, answers);
        QFETCH(QString, written);

        SaveRig rig;
        std::ofstream(rig.path("old.bmp"), std::ios::binary) << OldContent;
        rig.dialog.setFileName(rig.path("last.bmp")); // where the last screenshot went
        rig.script(choices, answers);
        std::string bytes = test::TwoColourBitmap(7);
        if (dropped > 0) {
            bytes = PlainFrame('\x7f');
            bytes.resize(std::size_t(dropped), '\x3c');
        }
        const std::time_t arrived = 1798772645;
        SaveHistoryEntry({1, arrived, bytes, dropped > 0 ? "unreadable" : ""}, rig.services);

        const std::string bmp = "KVD62 screenshots (*.bmp)|*.bmp";
        QVERIFY(ReadAll(rig.path(written)) == bytes);
        QCOMPARE(rig.dialog.shown.at(0).filter, dropped > 0 ? "Dropped blocks (*.bin)|*.bin" : bmp);
        const std::string offered =
            dropped > 0 ? FolderFileName(LocalTime(arrived), 1, "-unreadable.bin") : "last.bmp";
        QCOMPARE(rig.dialog.shown.at(0).startName, rig.path(QString::fromStdString(offered)));
        QVERIFY(rig.dialog.choices.empty());
        QVERIFY(rig.box.answers.empty());

        // "Save image" next offers the screenshot's file, or the last one's again.
        rig.show(test::TwoColourBitmap(8));
        rig.script({Cancel}, {});
        OnSaveImageClicked(rig.session, rig.services, rig.view);
        QCOMPARE(rig.dialog.shown.back().startName, rig.path(dropped > 0 ? "last.bmp" : written));
        QCOMPARE(rig.dialog.shown.back().filter, bmp);
    }

    void failuresAreSaidWithTheFileAndTheReason() {
        SaveRig rig;
        rig.show(test::TwoColourBitmap());
        rig.script({"missing/shot.bmp"}, {});
        OnSaveImageClicked(rig.session, rig.services, rig.view);
        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        const std::string text = rig.box.shown[0].text;
        QVERIFY2(text.find(rig.path("missing/shot.bmp")) != std::string::npos, text.c_str());
#ifdef _WIN32
        const std::string reason = SystemErrorText(ERROR_PATH_NOT_FOUND); // Windows' own words
#else
        const std::string reason = "No such file or directory";
#endif
        QVERIFY2(text.find(reason) != std::string::npos, text.c_str());
    }
};

KVD_REGISTER_TEST(SaveFlowTest)
#include "SaveFlowTest.moc"
