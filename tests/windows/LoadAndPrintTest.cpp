#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "platform/qt/QtFormPrinter.h"
#include "tests/support/Poppler.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestMain.h"
#include "tests/windows/FormBench.h"
#include "windows/Form2.h"

using namespace kvd;
using test::Decoded;
using test::Poppler;

namespace {

QWidget* PrintedForm(const test::FakeFormPrinter& printer) {
    QWidget* const* form = std::any_cast<QWidget*>(&printer.lastForm);
    return form ? *form : nullptr;
}

} // namespace

class LoadAndPrintTest : public QObject {
    Q_OBJECT

private slots:
    // A saved screenshot loads back as it was; loading leaves the received one
    // in place, so the next arrival still asks about that one.
    void loadingShowsASavedScreenshot() {
        const std::string first = test::TwoColourBitmap(41);
        const std::string second = test::TwoColourBitmap(42);
        test::FormBench bench;
        bench.startUp();
        bench.tick(first);
        bench.dialog.choices.push_back(bench.path("shot.bmp"));
        QTest::mouseClick(bench.control<QPushButton>("Command1"), Qt::LeftButton);
        bench.tick(second);
        QVERIFY(bench.box.shown.empty());

        bench.dialog.choices.push_back(bench.path("shot.bmp"));
        QTest::mouseClick(bench.control<QPushButton>("Command2"), Qt::LeftButton);
        QCOMPARE(bench.shown(), Decoded(first));
        QVERIFY(bench.form.state().ImageData == second);
        QVERIFY(!bench.form.state().CurrentSaved);
        QVERIFY(!bench.control<QPushButton>("Command1")->isEnabled());
        QVERIFY(!bench.control<QCheckBox>("Check2")->isEnabled());

        bench.box.answers.push_back(DialogAnswer::No);
        bench.tick(test::TwoColourBitmap(43));
        QCOMPARE(bench.box.shown.size(), std::size_t(1));
        QVERIFY(bench.control<QPushButton>("Command1")->isEnabled());
        QVERIFY(bench.control<QCheckBox>("Check2")->isEnabled());
    }

    void loadingANonPictureSaysSoAndKeepsThePicture() {
        test::FormBench bench;
        bench.startUp();
        const QImage before = bench.shown();
        QFile notPicture(QString::fromStdString(bench.path("notes.bmp")));
        QVERIFY(notPicture.open(QIODevice::WriteOnly));
        notPicture.write("not a picture");
        notPicture.close();
        bench.dialog.choices.push_back(bench.path("notes.bmp"));
        QTest::mouseClick(bench.control<QPushButton>("Command2"), Qt::LeftButton);
        QCOMPARE(bench.shown(), before);
        QCOMPARE(bench.box.shown.size(), std::size_t(1));
        QVERIFY(bench.box.shown[0].text.find(bench.path("notes.bmp")) == 0);
    }

    void thePrintPageIsLaidOutAsDesigned_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("Label1") << "Label1" << QRect(1200 / 15, 4200 / 15, 5775 / 15, 375 / 15);
        QTest::newRow("Image1") << "Image1" << QRect(1320 / 15, 720 / 15, 5820 / 15, 3420 / 15);
        QTest::newRow("Shape1") << "Shape1" << QRect(1230 / 15, 600 / 15, 6015 / 15, 3615 / 15);
    }

    void thePrintPageIsLaidOutAsDesigned() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        Form2 page;
        QCOMPARE(page.size(), QSize(589, 387));
        QCOMPARE(page.findChild<QWidget*>(name)->geometry(), geometry);
        QVERIFY(page.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(!page.isVisible());

        // Stacking, bottom to top: the frame, the picture, the comment.
        const auto at = [&](const char* child) {
            return page.children().indexOf(page.findChild<QWidget*>(child));
        };
        QVERIFY(at("Shape1") < at("Image1"));
        QVERIFY(at("Image1") < at("Label1"));
        const QFont comment = page.findChild<QLabel*>("Label1")->font();
        QVERIFY(comment.bold());
        QCOMPARE(comment.pointSizeF(), 9.75);

        const QImage rendered = page.grab().toImage();
        QCOMPARE(QColor(rendered.pixel(5, 5)), QColor(Qt::white));
        QCOMPARE(QColor(rendered.pixel(82, 150)), QColor(Qt::black)); // the 2-pixel frame
        QCOMPARE(QColor(rendered.pixel(83, 150)), QColor(Qt::black));
        QCOMPARE(QColor(rendered.pixel(84, 150)), QColor(Qt::white));
    }

    void printingPutsThePictureAndCommentOnThePage_data() {
        QTest::addColumn<bool>("screenshot");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("printed");
        QTest::addColumn<QString>("comment");

        QTest::newRow("the default comment")
            << true << QStringList{"KVD62 screenshot"} << 1 << "KVD62 screenshot";
        QTest::newRow("a comment of one's own")
            << true << QStringList{"bench 4, probe B"} << 1 << "bench 4, probe B";
        QTest::newRow("before any screenshot: the placeholder")
            << false << QStringList{"KVD62 screenshot"} << 1 << "KVD62 screenshot";
        QTest::newRow("Cancel prints nothing") << true << QStringList{""} << 0 << "";
    }

    void printingPutsThePictureAndCommentOnThePage() {
        QFETCH(bool, screenshot);
        QFETCH(QStringList, answers);
        QFETCH(int, printed);
        QFETCH(QString, comment);

        test::FormBench bench;
        bench.startUp();
        if (screenshot)
            bench.tick(test::TwoColourBitmap(51));
        for (const QString& answer : answers)
            bench.input.answers.push_back(answer.toStdString());
        QTest::mouseClick(bench.control<QPushButton>("Command4"), Qt::LeftButton);

        QCOMPARE(bench.input.prompt, std::string("Comment:"));
        QCOMPARE(bench.input.title, std::string("Add comment to your print"));
        QCOMPARE(bench.input.defaultText, std::string("KVD62 screenshot"));
        QCOMPARE(bench.printer.printed, printed);
        QVERIFY(bench.box.shown.empty());
        if (printed == 0) {
            QVERIFY(!PrintedForm(bench.printer));
            return;
        }
        QWidget* page = PrintedForm(bench.printer);
        QVERIFY(page);
        QCOMPARE(page->findChild<QLabel*>("Label1")->text(), comment);
        QCOMPARE(page->findChild<PictureControl*>("Image1")->picture(), bench.shown());
        QVERIFY(!page->isVisible());
    }

    // The page is made once and kept; a cancelled print leaves it as it was.
    void thePageIsKeptBetweenPrints() {
        test::FormBench bench;
        bench.startUp();
        bench.input.answers = {"first", "", "third"};
        auto* print = bench.control<QPushButton>("Command4");
        QTest::mouseClick(print, Qt::LeftButton);
        QWidget* page = PrintedForm(bench.printer);
        QTest::mouseClick(print, Qt::LeftButton);
        QCOMPARE(page->findChild<QLabel*>("Label1")->text(), QString("first"));
        QTest::mouseClick(print, Qt::LeftButton);
        QCOMPARE(PrintedForm(bench.printer), page);
        QCOMPARE(page->findChild<QLabel*>("Label1")->text(), QString("third"));
        QCOMPARE(bench.printer.printed, 2);
    }

    void aFailedPrintIsSaid() {
        test::FormBench bench;
        bench.startUp();
        bench.printer.failure = "there is no default printer";
        bench.input.answers = {"KVD62 screenshot"};
        QTest::mouseClick(bench.control<QPushButton>("Command4"), Qt::LeftButton);
        QCOMPARE(bench.box.shown.size(), std::size_t(1));
        QCOMPARE(bench.box.shown[0].title, std::string("Print Image"));
        QVERIFY(bench.box.shown[0].text.find("there is no default printer") != std::string::npos);
    }

    void aPrinterThatDoesNotExistFails() {
        Form2 page;
        QtFormPrinter printer(QtFormPrinter::Target::NamedPrinter, "kvd62-no-such-printer");
        const Outcome printed = printer.printForm(static_cast<QWidget*>(&page));
        QVERIFY(!printed.ok());
        QCOMPARE(printed.reason(),
                 std::string("there is no printer named \"kvd62-no-such-printer\""));
    }

    // Through the real printing code into a PDF: the page is the form's physical
    // size, the comment is text where the layout puts it, and the picture is not
    // compressed lossily.
    void aPrintedPageHasThePhysicalLayout() {
        QTemporaryDir dir;
        const QString pdf = dir.path() + "/page.pdf";
        Form2 page;
        page.setPicture(Decoded(test::TwoColourBitmap(61)).convertToFormat(QImage::Format_RGB32));
        page.setComment("KVD62 screenshot bench4");
        QtFormPrinter printer(QtFormPrinter::Target::PdfFile, pdf);
        const Outcome printed = printer.printForm(static_cast<QWidget*>(&page));
        QVERIFY2(printed.ok(), printed.reason().c_str());

        const QString info = Poppler("pdfinfo", {pdf});
        // 589 x 387 pixels at 96 to the inch, in whole points.
        QVERIFY2(
            info.contains(QRegularExpression(R"(Page size:\s+44[12](\.\d+)? x 290(\.\d+)? pts)")),
            qPrintable(info));
        QVERIFY(info.contains(QRegularExpression(R"(Pages:\s+1\b)")));

        const QString words = Poppler("pdftotext", {"-bbox", pdf, "-"});
        const QRegularExpression word(
            R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">bench4</word>)re");
        const QRegularExpressionMatch match = word.match(words);
        QVERIFY2(match.hasMatch(), qPrintable(words));
        // Label1 spans 60 to 348.75 points across and 210 to 228.75 down.
        const double left = match.captured(1).toDouble();
        const double top = match.captured(2).toDouble();
        const double bottom = match.captured(3).toDouble();
        QVERIFY2(left > 60 && left < 348.75, qPrintable(match.captured(0)));
        QVERIFY2(top >= 209 && bottom <= 230, qPrintable(match.captured(0)));

        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.contains("/Subtype /Image"));
        QVERIFY(!bytes.contains("/DCTDecode"));
        QVERIFY(!bytes.contains("/Interpolate true"));
    }
};

KVD_REGISTER_TEST(LoadAndPrintTest)
#include "LoadAndPrintTest.moc"
