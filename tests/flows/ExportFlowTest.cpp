#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "files/ScreenshotFolder.h"
#include "flows/ExportFlow.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::ReadAll;

namespace {

// Two screenshots in one second, one in the next.
constexpr std::time_t Second = 1798772645;
const std::vector<HistoryEntry> Session{{3, Second + 1, test::TwoColourBitmap(3), ""},
                                        {2, Second, test::TwoColourBitmap(2), ""},
                                        {1, Second, test::TwoColourBitmap(1), ""}};

// What the fake encoder makes of a screenshot at scale 2.
std::string Png(int screenshot) {
    return test::TwoColourBitmap(std::uint32_t(screenshot)) + " x2";
}

std::string NameOf(std::time_t when, int nth) {
    return FolderFileName(LocalTime(when), nth, ".png");
}

} // namespace

class ExportFlowTest : public QObject {
    Q_OBJECT

private slots:
    // The scale is asked until it is one, each slip said with what was typed;
    // Cancel ends the export. An export of dropped blocks alone asks nothing
    // and says why there is nothing to export.
    void theScaleIsAskedUntilItIsOne_data() {
        QTest::addColumn<bool>("allDropped");
        QTest::addColumn<QStringList>("typed"); // "<cancel>" cancels
        QTest::addColumn<QString>("written");   // what the PNG file holds, empty: none
        QTest::addColumn<QStringList>("said");
        const QString notAScale = " is not a scale: type a whole number from 1 to 8.";
        QTest::newRow("asked again until a scale")
            << false << QStringList{"9", "two", " 3 "} << " x3"
            << QStringList{"\"9\"" + notAScale, "\"two\"" + notAScale};
        QTest::newRow("Cancel after a slip")
            << false << QStringList{"0", "<cancel>"} << "" << QStringList{"\"0\"" + notAScale};
        QTest::newRow("dropped blocks alone")
            << true << QStringList{} << ""
            << QStringList{"There is no screenshot to export: dropped blocks have no picture. "
                           "Save them with \"Save...\" instead."};
    }
    void theScaleIsAskedUntilItIsOne() {
        QFETCH(bool, allDropped);
        QFETCH(QStringList, typed);
        QFETCH(QString, written);
        QFETCH(QStringList, said);
        test::FakeServices fakes;
        QTemporaryDir dir;
        const std::string file = dir.path().toStdString() + "/shot.png";
        for (const QString& answer : typed)
            fakes.input.answers.push_back(
                answer == "<cancel>" ? std::nullopt : std::optional(answer.toStdString()));
        fakes.exportDialog.choices = {file, dir.path().toStdString()};
        ExportChoices choices;
        if (allDropped)
            ExportScreenshotsAsPng({{1, Second, "BM\x7f", "it is cut short"}}, fakes.services,
                                   choices);
        else
            ExportPictureAsPng(Picture{test::TwoColourBitmap(1), 192, 112}, fakes.services,
                               choices);

        QCOMPARE(fakes.input.asked, int(typed.size()));
        QStringList told;
        for (const auto& shown : fakes.box.shown)
            told << QString::fromStdString(shown.text);
        QCOMPARE(told, said);
        QCOMPARE(QFile::exists(QString::fromStdString(file)), !written.isEmpty());
        if (!written.isEmpty())
            QVERIFY(ReadAll(file) == test::TwoColourBitmap(1) + written.toStdString());
        QVERIFY(test::FilesIn(dir.path().toStdString()).size() <= 1);
    }

    // "Export PNG..." names each screenshot as the save folder would, the nth
    // of its second. Exported again, a picture already there is left as it is:
    // no copy is added. Another file under its name is replaced only after Yes.
    void exportingIntoAFolderAgainAddsNoCopies_data() {
        QTest::addColumn<QByteArray>("planted"); // under the first screenshot's name
        QTest::addColumn<int>("answer");         // to "Overwrite ?"; 0: not asked
        QTest::addColumn<bool>("firstIsPng");
        const int yes = int(DialogAnswer::Yes), no = int(DialogAnswer::No);
        const QByteArray png = QByteArray::fromStdString(Png(1));
        QTest::newRow("into an empty folder") << QByteArray() << 0 << true;
        QTest::newRow("exported before") << png << 0 << true;
        QTest::newRow("the same PNG and a byte more, No: kept") << png + "\n" << no << false;
        QTest::newRow("another file, No: kept") << QByteArray("someone's notes") << no << false;
        QTest::newRow("another file, Yes: replaced")
            << QByteArray("someone's notes") << yes << true;
        // A write that fails ends the export, and the message says what was left.
        QTest::newRow("a folder under the name: stopped, said")
            << QByteArray("<a folder>") << 0 << false;
    }

    void exportingIntoAFolderAgainAddsNoCopies() {
        QFETCH(QByteArray, planted);
        QFETCH(int, answer);
        QFETCH(bool, firstIsPng);
        test::FakeServices fakes;
        QTemporaryDir dir;
        const std::filesystem::path folder = dir.path().toStdString();
        if (planted == "<a folder>")
            std::filesystem::create_directory(folder / NameOf(Second, 1));
        else if (!planted.isEmpty())
            test::WriteRaw(folder / NameOf(Second, 1), planted.toStdString());
        fakes.input.answers = {"2"};
        fakes.exportDialog.choices = {folder.string()};
        if (answer != 0)
            fakes.box.answers = {DialogAnswer(answer)};
        ExportChoices choices;

        ExportScreenshotsAsPng(Session, fakes.services, choices);

        if (planted == "<a folder>") {
            QCOMPARE(test::FilesIn(folder), std::set<std::string>{NameOf(Second, 1)});
            QCOMPARE(fakes.box.shown.size(), std::size_t(1));
            QVERIFY2(fakes.box.shown[0].text.ends_with("the 2 after it were not exported."),
                     fakes.box.shown[0].text.c_str());
            return;
        }
        QCOMPARE(test::FilesIn(folder), (std::set<std::string>{NameOf(Second, 1), NameOf(Second, 2),
                                                               NameOf(Second + 1, 1)}));
        QVERIFY(ReadAll(folder / NameOf(Second, 1)) ==
                (firstIsPng ? Png(1) : planted.toStdString()));
        QVERIFY(ReadAll(folder / NameOf(Second, 2)) == Png(2));
        QCOMPARE(fakes.box.shown.size(), std::size_t(answer != 0 ? 1 : 0));
        if (answer != 0) // the question itself is SaveFlowTest's
            QCOMPARE(fakes.box.shown[0].text, NameOf(Second, 1) + " exists\r\nOverwrite ?");
        QVERIFY(fakes.dialog.shown.empty()); // what Save and Load share is untouched
    }

    // An export is chosen in the exports' own dialog, never the one "Save image"
    // and "Load image" share, which offers the file that export chose last (with
    // the suffix it was given), never the other export's; a name typed without
    // its type's suffix gets it. Each step is "png NAME" ("Export as PNG...") or
    // "pdf NAME" ("Export PDF..."), NAME typed in the folder or "<cancel>".
    void anExportKeepsToItsOwnDialog() {
        const QStringList steps{"png shot.bmp", "png shot",     "png shot5-x8.PNG",
                                "pdf report",   "pdf <cancel>", "png <cancel>"};
        // What each step's dialog offers first; "" for nothing.
        const QStringList offered{"", "shot.bmp.png", "shot.png", "", "report.pdf", "shot5-x8.PNG"};
        const QStringList written{"shot.bmp.png", "shot.png", "shot5-x8.PNG", "report.pdf"};
        test::FakeServices fakes;
        QTemporaryDir dir;
        const std::filesystem::path folder = dir.path().toStdString();
        fakes.dialog.setTitle("Save current screenshot as");
        ExportChoices choices;

        for (const QString& step : steps) {
            const std::string typed = step.section(' ', 1).toStdString();
            fakes.exportDialog.choices = {typed == "<cancel>" ? std::optional<std::string>()
                                                              : (folder / typed).string()};
            if (step.startsWith("png")) {
                fakes.input.answers = {"2"};
                ExportPictureAsPng(Picture{test::TwoColourBitmap(1), 192, 112}, fakes.services,
                                   choices);
            } else {
                fakes.input.answers = {""};
                ExportSessionAsPdf(Session, fakes.services, choices);
            }
        }

        QCOMPARE(fakes.exportDialog.shown.size(), std::size_t(steps.size()));
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const auto& shown = fakes.exportDialog.shown[std::size_t(i)];
            const bool png = steps[i].startsWith("png");
            QCOMPARE(shown.title, std::string(png ? "Export as PNG" : "Export PDF"));
            QCOMPARE(shown.filter, std::string(png ? "PNG pictures (*.png)|*.png"
                                                   : "PDF documents (*.pdf)|*.pdf"));
            QCOMPARE(shown.startName, offered[i].isEmpty()
                                          ? std::string()
                                          : (folder / offered[i].toStdString()).string());
        }
        std::set<std::string> names;
        for (const QString& name : written) {
            names.insert(name.toStdString());
            QVERIFY(
                ReadAll(folder / name.toStdString()) ==
                (name.endsWith(".pdf") ? std::string(test::FakeExportEncoder::PdfStart) : Png(1)));
        }
        QCOMPARE(test::FilesIn(folder), names);
        QVERIFY(fakes.dialog.shown.empty());
        QCOMPARE(choices.scale, 2);
    }
};

KVD_REGISTER_TEST(ExportFlowTest)
#include "ExportFlowTest.moc"
