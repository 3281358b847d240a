#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "tests/support/EncodedPicture.h"
#include "tests/support/EndWithTheTest.h"
#include "tests/support/Poppler.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
namespace fs = std::filesystem;

namespace {

// Every pixel of `shot` is a scale x scale block of exactly its colour in
// `large`, and the palette is the screenshot's own; empty when so.
QString BlocksDiffer(const QImage& shot, const QImage& large, int scale) {
    if (large.size() != shot.size() * scale)
        return QStringLiteral("the PNG is %1 x %2").arg(large.width()).arg(large.height());
    if (large.colorTable() != shot.colorTable())
        return QStringLiteral("the palette changed");
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            if (large.pixel(x, y) != shot.pixel(x / scale, y / scale))
                return QStringLiteral("pixel %1, %2 differs").arg(x).arg(y);
    return {};
}

// A B C NOTES CUT LARGE MISSING OUT at the start of `text` named in `folder`.
QString InFolder(QString text, const QString& folder) {
    const QStringList names{"A", "B", "C", "NOTES", "CUT", "LARGE", "MISSING", "OUT"};
    const QStringList files{"kvd62-20261208-140211-001.bmp",
                            "kvd62-20261208-140211-002.bmp",
                            "kvd62-20261208-140540-001.bmp",
                            "notes.txt",
                            "cut.bmp",
                            "large.png",
                            "missing",
                            "out"};
    // Once: the folder itself may start with a name (C:/Users on Windows).
    const QRegularExpressionMatch name =
        QRegularExpression("^(" + names.join('|') + ")\\b").match(text);
    if (name.hasMatch())
        text.replace(0, name.capturedLength(),
                     folder + "/" + files[names.indexOf(name.captured(1))]);
    return text;
}

// `text` as one word for a POSIX shell, byte for byte.
QByteArray Quoted(QByteArray text) {
    return "'" + text.replace("'", "'\\''") + "'";
}

} // namespace

// The program's --export, run as a user runs it, with no display.
class ExportTest : public QObject {
    Q_OBJECT

private slots:
    // In `arguments`, OUT stands for the file to write in a folder of the test's
    // own, A B C for three screenshot files of the save folder's names there.
    // `scale`: the PNG's; 0 for a PDF, -1 when nothing may be written.
    void writesTheFileOrSaysWhyNot_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("latin1");

        QTest::newRow("a PNG at scale 4")
            << QStringList{"--export", "OUT.png", "--scale", "4", "A"} << 4 << "" << false;
        QTest::newRow("scale 1: the screenshot's own pixels")
            << QStringList{"--export", "OUT.png", "--scale", "1", "A"} << 1 << "" << false;
        QTest::newRow("scale 8, the largest")
            << QStringList{"--export", "OUT.PNG", "--scale=8", "B"} << 8 << "" << false;
        QTest::newRow("no scale: 4") << QStringList{"--export", "OUT.png", "C"} << 4 << "" << false;
        QTest::newRow("a PDF of three")
            << QStringList{"--export", "OUT.pdf", "A", "B", "C"} << 0 << "" << false;
        QTest::newRow("a PDF with a comment in other letters")
            << QStringList{"--export", "OUT.pdf", "--comment", "Prüfplatz 4, Ω", "C", "A"} << 0
            << "" << false;
        QTest::newRow("a file that is no picture")
            << QStringList{"--export", "OUT.pdf", "A", "NOTES"} << -1
            << "NOTES could not be read: it is not a picture" << false;
        QTest::newRow("a bitmap cut short")
            << QStringList{"--export", "OUT.png", "CUT"} << -1
            << "CUT could not be read: its header claims 192 x 112 pixels at 1 bit, more than "
               "its 1000 bytes hold."
            << false;
        QTest::newRow("a scale that would make more than 16 million pixels")
            << QStringList{"--export", "OUT.png", "--scale", "3", "LARGE"} << -1
            << "OUT.png could not be written: at scale 3 the picture would be 6300 x 4500 pixels"
            << false;
        QTest::newRow("a file that is not there")
            << QStringList{"--export", "OUT.png", "MISSING"} << -1
            << "MISSING could not be read: there is no such file" << false;
        QTest::newRow("a folder that is not there")
            << QStringList{"--export", "MISSING/OUT.png", "A"} << -1
            << "MISSING/OUT.png could not be written: No such file or directory. Nothing was "
               "written there."
            << false;
#ifndef _WIN32
        // On Linux a name is bytes: a folder named in Latin-1, as on an old USB
        // stick, is read from, written to and named under that very name.
        QTest::newRow("in a folder named in Latin-1")
            << QStringList{"--export", "OUT.png", "A"} << 4 << "" << true;
        QTest::newRow("a file that is not there, in a folder named in Latin-1")
            << QStringList{"--export", "OUT.png", "MISSING"} << -1
            << "MISSING could not be read: there is no such file" << true;
#endif
    }

    void writesTheFileOrSaysWhyNot() {
        QFETCH(QStringList, arguments);
        QFETCH(int, scale);
        QFETCH(QString, said);
        QFETCH(bool, latin1);
        QTemporaryDir dir;
        const QString folder = dir.path() + "/Messplatz ä";
        // A path as the file system holds it: in UTF-8, or with `latin1` in Latin-1.
        const auto onDisk = [latin1](const QString& path) {
            return latin1 ? fs::path(path.toLatin1().toStdString())
                          : fs::path(path.toStdU16String());
        };
        QVERIFY(fs::create_directory(onDisk(folder)));
        const test::RemovedAtEnd removed{onDisk(folder)};
        const std::map<QString, std::string> shots{
            {"kvd62-20261208-140211-001.bmp", test::First},
            {"kvd62-20261208-140211-002.bmp", test::Second},
            {"kvd62-20261208-140540-001.bmp", test::Third},
            {"notes.txt", "not a picture"},
            {"cut.bmp", test::First.substr(0, 1000)},
            // Loads, but not at scale 3.
            {"large.png",
             test::EncodedPicture(test::OneGrey(2100, 1500, 128), "PNG").toStdString()}};
        for (const auto& [name, bytes] : shots) {
            std::ofstream file(onDisk(folder + "/" + name), std::ios::binary);
            QVERIFY(file.write(bytes.data(), std::streamsize(bytes.size())).flush());
        }
        for (QString& argument : arguments)
            argument = InFolder(argument, folder);
        said = InFolder(said, folder);

        QProcess program;
        test::EndWithTheTest(program);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        program.setProcessEnvironment(environment);
        if (latin1) {
            // Qt hands a program its arguments in UTF-8; a shell hands over bytes.
            QByteArray script = "exec " + Quoted(KVD_PROGRAM);
            for (const QString& argument : arguments)
                script += " " + Quoted(argument.toLatin1());
            program.start(QStringLiteral("/bin/sh"), {});
            program.write(script + "\n");
            program.closeWriteChannel();
        } else {
            program.start(QStringLiteral(KVD_PROGRAM), arguments);
        }
        QVERIFY(program.waitForFinished());
        const QByteArray error = program.readAllStandardError();
        const QString err =
            (latin1 ? QString::fromLatin1(error) : QString::fromUtf8(error)).remove('\r');
        QCOMPARE(program.exitCode(), scale < 0 ? 1 : 0);
        const QString out = arguments[1];
        if (scale < 0) {
            QVERIFY2(err.startsWith("kvd62-capture: " + said) && err.count('\n') == 1,
                     qPrintable(err));
            QVERIFY2(test::FilesIn(onDisk(folder)).size() == shots.size(), "something was written");
            return;
        }
        QVERIFY2(err.isEmpty(), qPrintable(err));
        const QStringList given = arguments.filter(QRegularExpression("\\.bmp$"));
        const auto read = [&](const QString& path) {
            return QImage::fromData(QByteArray::fromStdString(test::ReadAll(onDisk(path))));
        };
        if (scale > 0) {
            const QString differs = BlocksDiffer(read(given.front()), read(out), scale);
            QVERIFY2(differs.isEmpty(), qPrintable(differs));
            return;
        }
#ifdef _WIN32
        // Under Wine, poppler's tools (Linux programs) cannot be started from the
        // test: there it is only a PDF; what is in it is checked on Linux.
        QFile pdf(out);
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-");
        return;
#endif
        // The text is text: the program, the time span, each file with its time.
        const QString text = test::Poppler("pdftotext", {out, "-"});
        QVERIFY2(text.startsWith("kvd62-capture: " + QString::number(given.size()) +
                                 " screenshots, 2026-12-08 14:02:11 to "),
                 qPrintable(text));
        for (const QString& file : given)
            QVERIFY2(text.contains(QFileInfo(file).fileName() + ", 14:0"), qPrintable(text));
        if (arguments.contains("--comment"))
            QCOMPARE(text.count("Prüfplatz 4, Ω"), given.size());
        // Each picture at its own pixel size, compressed without loss, not smoothed.
        const QStringList images =
            test::Poppler("pdfimages", {"-list", out}).split('\n', Qt::SkipEmptyParts).mid(2);
        QCOMPARE(images.size(), given.size());
        for (const QString& image : images)
            QVERIFY2(image.simplified().contains(" image 192 112 rgb 3 8 image no "),
                     qPrintable(image));
    }
};

KVD_REGISTER_TEST(ExportTest)
#include "ExportTest.moc"
