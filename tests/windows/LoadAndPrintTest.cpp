#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "tests/support/ChildProcesses.h"
#include "tests/support/FormRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"
#include "windows/Form2.h"
#include "windows/Form2Printer.h"

using namespace kvd;
using test::Decoded;
using test::Poppler;

class LoadAndPrintTest : public QObject {
    Q_OBJECT

private slots:
    void thePrintPageIsLaidOutAsDesigned() {
        Form2 page;
        QCOMPARE(page.size(), QSize(589, 387));
        for (const auto& [name, twips] : {std::pair{"Label1", QRect(1200, 4200, 5775, 375)},
                                          std::pair{"Image1", QRect(1320, 720, 5820, 3420)},
                                          std::pair{"Shape1", QRect(1230, 600, 6015, 3615)}})
            QCOMPARE(page.findChild<QWidget*>(name)->geometry(),
                     QRect(twips.topLeft() / 15, twips.size() / 15));
        QVERIFY(page.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(!page.isVisible());

        // Stacking, bottom to top: the frame, the picture, the comment.
        const QStringList bottomToTop = {"Shape1", "Image1", "Label1"};
        QStringList stacked;
        for (const QObject* child : page.children())
            if (bottomToTop.contains(child->objectName()))
                stacked << child->objectName();
        QCOMPARE(stacked, bottomToTop);
        const QFont comment = page.findChild<QLabel*>("Label1")->font();
        QVERIFY(comment.bold());
        QCOMPARE(comment.pointSizeF(), 9.75);

        const QImage rendered = page.grab().toImage();
        QCOMPARE(QColor(rendered.pixel(5, 5)), QColor(Qt::white));
        QCOMPARE(QColor(rendered.pixel(82, 150)), QColor(Qt::black)); // the 2-pixel frame
        QCOMPARE(QColor(rendered.pixel(83, 150)), QColor(Qt::black));
        QCOMPARE(QColor(rendered.pixel(84, 150)), QColor(Qt::white));
    }

    // "Print Image" prints the picture on screen, the placeholder before any.
    void printingTakesTheShownPicture_data() {
        QTest::addColumn<bool>("screenshot");
        QTest::newRow("a screenshot") << true;
        QTest::newRow("before any screenshot: the placeholder") << false;
    }

    void printingTakesTheShownPicture() {
        QFETCH(bool, screenshot);
        test::FormRig rig;
        rig.startUp();
        if (screenshot)
            rig.tick(test::TwoColourBitmap(51));
        rig.input.answers.push_back("bench 4");
        QTest::mouseClick(rig.control<QPushButton>("Command4"), Qt::LeftButton);
        QCOMPARE(rig.printer.printed, 1);
        QCOMPARE(rig.printer.comment, std::string("bench 4"));
        QCOMPARE(ToImage(*rig.printer.picture), rig.shown());
    }

    void aPrinterThatDoesNotExistFails() {
        Form2Printer printer(Form2Printer::Target::NamedPrinter, "kvd62-no-such-printer");
        const Outcome printed = printer.print(Picture{}, "KVD62 screenshot");
        QVERIFY(!printed.ok());
        QCOMPARE(printed.reason(),
                 std::string("there is no printer named \"kvd62-no-such-printer\""));
    }

    // Printed into a PDF: the page at the form's physical size, the comment whole
    // where the layout puts it in type of 8 points or more, the picture lossless.
    void aPrintedPageHasThePhysicalLayout_data() {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<double>("smallestType"); // in points
        QTest::newRow("a short comment") << "KVD62 screenshot bench4" << 9.75;
        const QString ninety = "Bench 4, probe A on TP12 after recalibration, reading "
                               "steady at 3.30 V, unit serial 4711-B";
        QTest::newRow("90 characters") << ninety << 8.0;
        QTest::newRow("about 200 characters")
            << ninety + " - customer ACME Widgets Ltd, order 2024-118, ripple within "
                        "limits, noise checked twice, back to stores on Friday"
            << 8.0;
    }

    void aPrintedPageHasThePhysicalLayout() {
        KVD_SKIP_ON_WINDOWS("the page is read back with Poppler's tools, Linux programs");
        QFETCH(QString, comment);
        QFETCH(double, smallestType);
        QTemporaryDir dir;
        const QString pdf = dir.path() + "/page.pdf";
        Form2Printer printer(Form2Printer::Target::PdfFile, pdf);
        const Outcome printed = printer.print(
            ToPicture(Decoded(test::TwoColourBitmap(61)).convertToFormat(QImage::Format_RGB32)),
            comment.toStdString());
        QVERIFY2(printed.ok(), printed.reason().c_str());

        const QString info = Poppler("pdfinfo", {pdf});
        // 589 x 387 pixels at 96 to the inch, in whole points.
        QVERIFY2(
            info.contains(QRegularExpression(R"(Page size:\s+44[12](\.\d+)? x 290(\.\d+)? pts)")),
            qPrintable(info));
        QVERIFY(info.contains(QRegularExpression(R"(Pages:\s+1\b)")));

        // Every word, in order, within Label1 (60 to 348.75 points across, from
        // 210 down), the first on its first line; text cut off at its edge would
        // still be in the PDF. A DejaVu letter box is 1.16 times its type size.
        const QString words = Poppler("pdftotext", {"-bbox", pdf, "-"});
        const QRegularExpression word(
            R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
        QStringList read;
        for (const QRegularExpressionMatch& match : word.globalMatch(words)) {
            const double left = match.captured(1).toDouble(), top = match.captured(2).toDouble();
            const double right = match.captured(3).toDouble();
            const double bottom = match.captured(4).toDouble();
            QVERIFY2(left >= 60 && right <= 349.5, qPrintable(match.captured(0)));
            QVERIFY2(top >= 209 && bottom <= 290, qPrintable(match.captured(0)));
            QVERIFY2(bottom - top >= 1.1 * smallestType, qPrintable(match.captured(0)));
            if (read.isEmpty())
                QVERIFY2(bottom <= 230, qPrintable(match.captured(0)));
            read << match.captured(5);
        }
        QCOMPARE(read.join(' '), comment);

        const QByteArray bytes = QByteArray::fromStdString(test::ReadAll(pdf.toStdString()));
        QVERIFY(bytes.contains("/Subtype /Image"));
        QVERIFY(!bytes.contains("/DCTDecode"));
        QVERIFY(!bytes.contains("/Interpolate true"));
    }
};

KVD_REGISTER_TEST(LoadAndPrintTest)
#include "LoadAndPrintTest.moc"
