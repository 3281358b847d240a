#include <QDir>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "platform/qt/QtPictureLoader.h"
#include "tests/support/ChildProcesses.h"
#include "tests/support/FormRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestMain.h"
#include "windows/Form2Printer.h"

using namespace kvd;
using test::Poppler;

namespace {

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A PDF in the folder that was not there before.
QString NewPdf(const QDir& folder, const QStringList& before) {
    for (const QString& name : folder.entryList({"*.pdf"}, QDir::Files))
        if (!before.contains(name))
            return folder.filePath(name);
    return {};
}

// The rows of `pdfimages -list` for images of the given pixel size.
QStringList ImagesOfSize(const QString& list, int width, int height) {
    QStringList rows;
    const QRegularExpression row(
        QStringLiteral(R"(^\s*1\s+\d+\s+image\s+%1\s+%2\s)").arg(width).arg(height));
    for (const QString& line : list.split('\n'))
        if (row.match(line).hasMatch())
            rows << line;
    return rows;
}

} // namespace

class RealPrinterTest : public QObject {
    Q_OBJECT

private slots:
    // Through the program's own printing code to the system's default printer:
    // a CUPS-PDF queue, which re-renders the page through Ghostscript into a PDF
    // in ~/PDF. One page; the comment is text in a font; the screenshot is there
    // at its own 192 x 112 pixels, not lossily compressed, at about 4.0 x 2.4
    // inches.
    void printsOnARealPrintQueue() {
        const QPrinterInfo queue = QPrinterInfo::defaultPrinter();
        if (queue.isNull())
            QSKIP("no default printer: CUPS is not set up here (.ci/run sets up a CUPS-PDF "
                  "queue)");
        if (!queue.makeAndModel().contains("CUPS-PDF"))
            QSKIP(qPrintable("the default printer \"" + queue.printerName() +
                             "\" is not a CUPS-PDF queue, and no real page is printed"));
        if (QStandardPaths::findExecutable("lpstat").isEmpty())
            QSKIP("lpstat is not installed (cups-client), so the print queue cannot be watched");
        const QDir folder(QDir::homePath() + "/PDF");
        const QStringList before = folder.entryList({"*.pdf"}, QDir::Files);

        Form2Printer printer;
        const Outcome printed = printer.print(ToPicture(test::Decoded(test::TwoColourBitmap(71))),
                                              "KVD62 screenshot bench4");
        QVERIFY2(printed.ok(), printed.reason().c_str());

        QString pdf;
        QTRY_VERIFY_WITH_TIMEOUT(Run("lpstat", {"-o"}).trimmed().isEmpty() &&
                                     !(pdf = NewPdf(folder, before)).isEmpty(),
                                 60000);

        const QString info = Poppler("pdfinfo", {pdf});
        QVERIFY2(info.contains(QRegularExpression(R"(Pages:\s+1\b)")), qPrintable(info));
        const QStringList fonts = Poppler("pdffonts", {pdf}).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(fonts.size() > 2, qPrintable(fonts.join('\n'))); // two header lines, then fonts

        // The comment's three words, as text in that font (Ghostscript maps its
        // glyphs to private characters), where the layout puts the comment: 60
        // points in and 210 down from the printable area's corner, which is less
        // than an inch from the page's.
        const QRegularExpression word(
            R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="[\d.]+">)re");
        auto words = word.globalMatch(Poppler("pdftotext", {"-bbox", pdf, "-"}));
        QList<QPointF> corners;
        while (words.hasNext()) {
            const QRegularExpressionMatch found = words.next();
            corners << QPointF(found.captured(1).toDouble(), found.captured(2).toDouble());
        }
        QCOMPARE(corners.size(), 3);
        QVERIFY2(corners[0].x() >= 60 && corners[0].x() < 60 + 72 && corners[0].y() >= 209 &&
                     corners[0].y() < 210 + 72,
                 qPrintable(QString("the comment starts at %1, %2 points")
                                .arg(corners[0].x())
                                .arg(corners[0].y())));

        const QString list = Poppler("pdfimages", {"-list", pdf});
        const QStringList screenshot = ImagesOfSize(list, 192, 112);
        QVERIFY2(screenshot.size() == 1, qPrintable(list));
        const QStringList columns = screenshot[0].split(' ', Qt::SkipEmptyParts);
        // page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
        QVERIFY2(columns[8] != "jpeg" && columns[8] != "jpx", qPrintable(screenshot[0]));
        const double wide = 192 / columns[12].toDouble(), high = 112 / columns[13].toDouble();
        QVERIFY2(wide > 3.8 && wide < 4.3 && high > 2.2 && high < 2.6,
                 qPrintable(QString("%1 x %2 inches: %3").arg(wide).arg(high).arg(screenshot[0])));
        qInfo("printed to %s: the screenshot %.2f x %.2f inches", qPrintable(pdf), wide, high);
    }
};

KVD_REGISTER_TEST(RealPrinterTest)
#include "RealPrinterTest.moc"
