#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "tests/support/ChildProcesses.h"
#include "tests/support/EncodedPicture.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"
#ifdef _WIN32
#include "platform/win32/SystemErrorText.h"
#endif

using namespace kvd;
namespace fs = std::filesystem;

namespace {

// The reason a file in a folder that is not there cannot be written.
#ifdef _WIN32
const std::string NoSuchFolder = kvd::SystemErrorText(ERROR_PATH_NOT_FOUND); // Windows' own words
#else
const std::string NoSuchFolder = "No such file or directory";
#endif

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

// The name of a file with the longest names a user gives a screenshot: words,
// letters of other languages, and a run longer than a line of the report.
const QString LongName = "kvd62-20261209-091500-001 Prüfplatz 4, Ω, Messplatz 7 nach der "
                         "Kalibrierung " +
                         QString("0123456789").repeated(7) + ".bmp";

// A file of the test's folder: the word that stands for it in a row, its name
// and its bytes (none when it is not there).
struct TestFile {
    QString word, name;
    std::string bytes;
};

// A word of `files` at the start of `text` named in `folder`.
QString InFolder(QString text, const QString& folder, const QList<TestFile>& files) {
    QStringList words;
    for (const TestFile& file : files)
        words.append(file.word);
    // Once: the folder itself may start with a name (C:/Users on Windows).
    const QRegularExpressionMatch word =
        QRegularExpression("^(" + words.join('|') + ")\\b").match(text);
    if (word.hasMatch())
        text.replace(0, word.capturedLength(),
                     folder + "/" + files[words.indexOf(word.captured(1))].name);
    return text;
}

// A word or a picture on a PDF page, in points from its top left corner.
struct Box {
    QString what;
    double left, top, right, bottom;
};

// A page of a PDF as poppler reads it: its size, its words, its pictures.
struct PdfPage {
    double width = 0, height = 0;
    QList<Box> words, pictures;
};

double Number(const QRegularExpressionMatch& match, int nth) {
    return match.captured(nth).toDouble();
}

// The pages of `pdf`: the words as pdftotext finds them, the pictures as
// pdftohtml places them (in whole points), its files written into `scratch`.
QList<PdfPage> PagesOf(const QString& pdf, const QString& scratch) {
    QList<PdfPage> pages;
    const QRegularExpression page(R"re(<page width="([\d.]+)" height="([\d.]+)">)re");
    const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)<)re");
    for (const QString& line : test::Poppler("pdftotext", {"-bbox", pdf, "-"}).split('\n')) {
        if (const QRegularExpressionMatch size = page.match(line); size.hasMatch())
            pages.append({Number(size, 1), Number(size, 2), {}, {}});
        else if (const QRegularExpressionMatch box = word.match(line);
                 box.hasMatch() && !pages.isEmpty())
            pages.last().words.append(
                {box.captured(5), Number(box, 1), Number(box, 2), Number(box, 3), Number(box, 4)});
    }
    test::Poppler("pdftohtml", {"-xml", "-zoom", "1", "-q", pdf, scratch + "/layout"});
    QFile xml(scratch + "/layout.xml");
    if (!xml.open(QIODevice::ReadOnly))
        return {};
    const QRegularExpression image(
        R"re(<image top="(-?\d+)" left="(-?\d+)" width="(\d+)" height="(\d+)")re");
    const QStringList perPage = QString::fromUtf8(xml.readAll()).split("<page ").mid(1);
    for (qsizetype at = 0; at < perPage.size() && at < pages.size(); ++at)
        for (const QRegularExpressionMatch& found : image.globalMatch(perPage[at])) {
            const double top = Number(found, 1), left = Number(found, 2);
            pages[at].pictures.append(
                {"a picture", left, top, left + Number(found, 3), top + Number(found, 4)});
        }
    return pages;
}

bool Overlap(const Box& a, const Box& b, double slack) {
    return a.left < b.right - slack && b.left < a.right - slack && a.top < b.bottom - slack &&
           b.top < a.bottom - slack;
}

// What the report has cut off or covered on `page`: a word or a picture beyond
// the margins (half an inch), one over another, a picture without the first
// word of its label (the start of one of `names`, then a comma) right under it.
// Empty when none. Pictures are placed in whole points, so may be off by one.
QString CutOrCovered(const PdfPage& page, const QStringList& names) {
    const double margin = 36;
    const QList<Box> boxes = page.words + page.pictures;
    for (const Box& box : boxes)
        if (box.left < margin - 1 || box.top < margin - 1 || box.right > page.width - margin + 1 ||
            box.bottom > page.height - margin + 1)
            return "\"" + box.what + "\" is outside the margins";
    for (qsizetype a = 0; a < boxes.size(); ++a)
        for (qsizetype b = a + 1; b < boxes.size(); ++b)
            if (Overlap(boxes[a], boxes[b],
                        a < page.words.size() && b < page.words.size() ? 0.01 : 1))
                return "\"" + boxes[a].what + "\" and \"" + boxes[b].what + "\" overlap";
    for (const Box& picture : page.pictures)
        if (std::none_of(page.words.begin(), page.words.end(), [&](const Box& word) {
                return std::abs(word.left - picture.left) <= 1 && word.top > picture.bottom - 1 &&
                       word.top < picture.bottom + 4 &&
                       std::any_of(names.begin(), names.end(), [&](QString name) {
                           return (name.remove(' ') + ",").startsWith(word.what);
                       });
            }))
            return QStringLiteral("the picture at %1, %2 has no label under it")
                .arg(picture.left)
                .arg(picture.top);
    return {};
}

// What is wrong with the table at the end of `pdf` that says where each object
// is: a place where the object is not, or no table where it says. Empty when
// nothing is. (PDF readers rebuild a wrong table by searching the file, so
// they show such a file, but slowly, and some with a warning.)
QString TableFault(const QByteArray& pdf) {
    const qsizetype startxref = pdf.lastIndexOf("startxref\n");
    qsizetype line = pdf.mid(startxref + 10).split('\n').value(0).toLongLong();
    if (startxref < 0 || !pdf.mid(line).startsWith("xref\n"))
        return QStringLiteral("no table at %1").arg(line);
    line += 5;
    while (line < pdf.size() && pdf[line] >= '0' && pdf[line] <= '9') {
        const QList<QByteArray> section = pdf.mid(line, pdf.indexOf('\n', line) - line).split(' ');
        line = pdf.indexOf('\n', line) + 1;
        for (qsizetype entry = 0; entry < section.value(1).toLongLong(); ++entry, line += 20) {
            const qsizetype number = section[0].toLongLong() + entry;
            const qsizetype place = pdf.mid(line, 10).toLongLong();
            if (pdf[line + 17] == 'n' && place != 0 &&
                !pdf.mid(place).startsWith(QByteArray::number(number) + " 0 obj"))
                return QStringLiteral("object %1 is not at %2").arg(number).arg(place);
        }
    }
    return {};
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
    // In `arguments`, the words of `files` stand for files in a folder of the
    // test's own: OUT for the file to write, A B C for screenshots under the save
    // folder's names, SHOT for one whose name tells no time (written at 10:00:05
    // on 8 December 2026), REPORT for an old report that must stay as it was.
    // NAME=value before them sets the program's environment (the locale is
    // otherwise C). `scale`: the PNG's; 0 for a PDF, -1 when nothing may be
    // written. `said`: the one line on standard error, or a PDF's time span;
    // `pages`: its pages and paper, as pdfinfo names them. `setup`: "Latin-1"
    // names the folder in Latin-1; else it takes a permission away first, and
    // the program runs as "nobody" when the tests run as root, whom permissions
    // do not bind.
    void writesTheFileOrSaysWhyNot_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<QString>("setup");

        const auto written = [](const char* name, const QStringList& arguments, int scale,
                                const QString& pages = "1 A4",
                                const QString& span = "2026-12-08 14:02:11 to ") {
            QTest::newRow(name) << arguments << scale << span << (scale ? "" : pages) << "";
        };
        const auto refused = [](const char* name, const QStringList& arguments, const QString& said,
                                const QString& setup = "") {
            QTest::newRow(name) << arguments << -1 << said << "" << setup;
        };

        written("scale 1: the screenshot's own pixels",
                {"--export", "OUT.png", "--scale", "1", "A"}, 1);
        written("scale 8, the largest", {"--export", "OUT.PNG", "--scale=8", "B"}, 8);
        written("no scale: 4", {"--export", "OUT.png", "C"}, 4);
        // The time span starts at the earliest, not at the first given.
        written("a PDF of the longest texts, in other letters: comment, file name, two days",
                {"--export", "OUT.pdf", "--comment",
                 "Bench 4, probe A, customer ACME Widgets Ltd, unit serial 1234567890, "
                 "after calibration, Prüfplatz 4, Ω",
                 "C", "LONG", "A"},
                0);
        written("a PDF of a picture taller than the page, and a screenshot",
                {"--export", "OUT.pdf", "TALL", "A"}, 0);
        written("a PDF of a photo among screenshots",
                {"--export", "OUT.pdf", "A", "PHOTO", "B", "C"}, 0);
        written("a PDF of a camera's photo: its own JPEG, and a screenshot",
                {"--export", "OUT.pdf", "CAMERA", "A"}, 0);
        written("a PDF of a photo saved as PNG: a JPEG of it",
                {"--export", "OUT.pdf", "PAINTED", "B"}, 0);
        written("a PDF of twenty screenshots: ten to a page",
                {"--export", "OUT.pdf", "--comment", "Bench 4", "A", "B", "C", "A",
                 "B",        "C",       "A",         "B",       "C", "A", "B", "C",
                 "A",        "B",       "C",         "A",       "B", "C", "A", "B"},
                0, "2 A4");
        written("a PDF in the US: Letter", {"LANG=en_US.UTF-8", "--export", "OUT.pdf", "A", "B"}, 0,
                "1 letter");
        written("a PDF in Canada: Letter",
                {"LC_PAPER=fr_CA.UTF-8", "--export", "OUT.pdf", "A", "B"}, 0, "1 letter");
        written("a PDF with paper of Germany, language of the US: A4",
                {"LANG=en_US.UTF-8", "LC_PAPER=de_DE.UTF-8", "--export", "OUT.pdf", "A", "B"}, 0);
        refused("a file that is no picture", {"--export", "OUT.pdf", "A", "NOTES"},
                "NOTES could not be read: it is not a picture");
        // Not libpng's own line of it first.
        refused("a PNG cut short: one line", {"--export", "OUT.png", "CUTPNG"},
                "CUTPNG could not be read: the PNG file is cut short: its end is missing.");
        refused("a scale that would make more than 16 million pixels",
                {"--export", "OUT.png", "--scale", "3", "LARGE"},
                "OUT.png could not be written: at scale 3 the picture would be 6300 x 4500 pixels");
        refused("a file that is not there", {"--export", "OUT.png", "MISSING"},
                "MISSING could not be read: there is no such file");
        refused("a folder that is not there", {"--export", "MISSING/OUT.png", "A"},
                QString::fromStdString("MISSING/OUT.png could not be written: " + NoSuchFolder +
                                       ". Nothing was written there."));
#ifndef _WIN32
        // On Linux a name is bytes: a folder named in Latin-1, as on an old USB
        // stick, is read from, written to and named under that very name.
        QTest::newRow("in a folder named in Latin-1")
            << QStringList{"--export", "OUT.png", "A"} << 4 << ""
            << ""
            << "Latin-1";
        refused("a file that is not there, in a folder named in Latin-1",
                {"--export", "OUT.png", "MISSING"},
                "MISSING could not be read: there is no such file", "Latin-1");
        written("the time a file was written, to its own second", {"--export", "OUT.pdf", "SHOT"},
                0, "1 A4", "2026-12-08 10:00:05 to 10:00:05");
        refused("a file you may not read", {"--export", "OUT.png", "SHOT"},
                "SHOT could not be read: permission denied: you may not read it; ask its owner",
                "unreadable file");
        refused("a file in a folder closed to you", {"--export", "OUT.pdf", "CLOSED"},
                "CLOSED could not be read: permission denied: a folder on its path is closed to "
                "you",
                "closed folder");
        refused("your report in a folder you may not write: never written in place",
                {"--export", "REPORT", "SHOT"},
                "REPORT could not be written: no new file may be made in its folder",
                "read-only folder");
#endif
    }

    void writesTheFileOrSaysWhyNot() {
        QFETCH(QStringList, arguments);
        QFETCH(int, scale);
        QFETCH(QString, said);
        QFETCH(QString, pages);
        QFETCH(QString, setup);
        const bool latin1 = setup == "Latin-1";
        QTemporaryDir dir;
        const QString folder = dir.path() + "/Messplatz ä";
        // A path as the file system holds it: in UTF-8, or with `latin1` in Latin-1.
        const auto onDisk = [latin1](const QString& path) {
            return latin1 ? fs::path(path.toLatin1().toStdString())
                          : fs::path(path.toStdU16String());
        };
        QVERIFY(fs::create_directory(onDisk(folder)));
        const test::RemovedAtEnd removed{onDisk(folder)};
        static const std::string camera =
            test::EncodedPicture(test::PhotoLike(1500, 1000), "JPEG").toStdString();
        const std::string old = "%PDF-1.4 an old report";
        const QList<TestFile> files{
            {"A", "kvd62-20261208-140211-001.bmp", test::First},
            {"B", "kvd62-20261208-140211-002.bmp", test::Second},
            {"C", "kvd62-20261208-140540-001.bmp", test::Third},
            {"NOTES", "notes.txt", "not a picture"},
            {"CUTPNG", "cut.png",
             test::EncodedPicture(test::OneGrey(2100, 1500, 128), "PNG").left(2000).toStdString()},
            // Loads, but not at scale 3.
            {"LARGE", "large.png",
             test::EncodedPicture(test::OneGrey(2100, 1500, 128), "PNG").toStdString()},
            {"MISSING", "missing", ""},
            {"OUT", "out", ""},
            {"TALL", "kvd62-20261208-140300-001 tall.png",
             test::EncodedPicture(test::OneGrey(100, 3000, 96), "PNG").toStdString()},
            {"PHOTO", "kvd62-20261208-140400-001 photo.jpg",
             test::EncodedPicture(test::OneGrey(300, 200, 160), "JPEG").toStdString()},
            {"LONG", LongName, test::Third},
            {"CAMERA", "kvd62-20261208-140500-001 camera.jpg", camera},
            {"PAINTED", "kvd62-20261208-140600-001 painted.png",
             test::EncodedPicture(test::PhotoLike(300, 200), "PNG").toStdString()},
            {"SHOT", "shot.bmp", test::First},
            {"CLOSED", "closed/shot.bmp", test::First},
            {"REPORT", "report.pdf", old}};
        QVERIFY(fs::create_directory(onDisk(folder + "/closed")));
        std::size_t held = 0; // closed/ stands in for the shot.bmp in it
        for (const auto& [word, name, bytes] : files) {
            if (bytes.empty())
                continue;
            std::ofstream file(onDisk(folder + "/" + name), std::ios::binary);
            QVERIFY(file.write(bytes.data(), std::streamsize(bytes.size())).flush());
            ++held;
        }
        QFile shot(folder + "/shot.bmp");
        QVERIFY(latin1 || (shot.open(QIODevice::Append) &&
                           shot.setFileTime(QDateTime(QDate(2026, 12, 8), QTime(10, 0, 5)),
                                            QFileDevice::FileModificationTime)));
        shot.close();
#ifndef _WIN32
        const bool root = geteuid() == 0;
        if (root) // the report is the user's own
            QVERIFY(chown(onDisk(folder + "/report.pdf").c_str(), 65534, 65534) == 0);
        const auto open = fs::perms(0755);
        for (const QString& path : {dir.path(), folder})
            fs::permissions(onDisk(path), open);
        if (setup == "unreadable file")
            fs::permissions(onDisk(folder + "/shot.bmp"), fs::perms::none);
        if (setup == "closed folder")
            fs::permissions(onDisk(folder + "/closed"), fs::perms::none);
        if (setup == "read-only folder")
            fs::permissions(onDisk(folder), fs::perms(0555));
        const auto reopened = qScopeGuard([&] {
            fs::permissions(onDisk(folder), open);
            fs::permissions(onDisk(folder + "/closed"), open);
        });
#endif
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("LC_ALL"));
        environment.remove(QStringLiteral("LC_PAPER"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        while (!arguments.front().startsWith("--")) {
            const QString setting = arguments.takeFirst();
            environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
        for (QString& argument : arguments)
            argument = InFolder(argument, folder, files);
        said = InFolder(said, folder, files);

        QProcess program;
        test::EndWithTheTest(program);
        program.setProcessEnvironment(environment);
#ifndef _WIN32
        if (root && !setup.isEmpty() && !latin1) {
            // The other user must reach the program: a clone under /root is closed.
            for (fs::path up = fs::path(KVD_PROGRAM).parent_path(); up != up.root_path();
                 up = up.parent_path())
                if ((fs::status(up).permissions() & fs::perms::others_exec) == fs::perms::none)
                    QSKIP("the program's folder is closed to other users; these rows run it as "
                          "\"nobody\" where it is open");
            program.setChildProcessModifier([] {
                if (setgid(65534) != 0 || setuid(65534) != 0)
                    _exit(99);
            });
        }
#endif
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
        QVERIFY2(program.exitCode() == (scale < 0 ? 1 : 0), qPrintable(err));
        QCOMPARE(test::ReadAll(onDisk(folder + "/report.pdf")), old);
        const QString out = arguments[1];
        if (scale < 0) {
            QVERIFY2(err.startsWith("kvd62-capture: " + said) && err.count('\n') == 1,
                     qPrintable(err));
            QVERIFY2(test::FilesIn(onDisk(folder)).size() == held, "something was written");
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
        // The text is text: the program, what it holds, the time span, each file
        // with its time, the comment under each. A line may break anywhere in a
        // long word: they are looked for with the spaces left out.
        QStringList pictures;
        for (const QString& argument : arguments)
            if (argument.startsWith(folder + "/") && argument != out)
                pictures.append(argument);
        const auto counted = [](qsizetype count, const char* what) {
            return QStringLiteral("%1 %2%3").arg(count).arg(what).arg(count == 1 ? "" : "s");
        };
        QString heading = "kvd62-capture: " + counted(given.size(), "screenshot");
        if (pictures.size() > given.size())
            heading += ", " + counted(pictures.size() - given.size(), "picture");
        const QString text = test::Poppler("pdftotext", {out, "-"});
        QVERIFY2(text.simplified().startsWith(heading + ", " + said), qPrintable(text));
        const auto letters = [](QString words) { return words.remove(QRegularExpression("\\s")); };
        QStringList names;
        for (const QString& file : pictures) {
            const QString name = names.emplaceBack(QFileInfo(file).fileName());
            const QString time = name == "shot.bmp" ? "10:00:05" // when it was written
                                                    : name.mid(15, 2) + ":" + name.mid(17, 2) +
                                                          ":" + name.mid(19, 2);
            QVERIFY2(letters(text).contains(letters(name + ", " + time)), qPrintable(text));
        }
        if (arguments.contains("--comment"))
            QCOMPARE(letters(text).count(letters(arguments[arguments.indexOf("--comment") + 1])),
                     pictures.size());
        // Each picture at its own pixel size, not smoothed: a JPEG file as it is,
        // byte for byte; a picture of few colours (the screenshots, TALL) without
        // loss, every pixel exact, a screenshot's black and white at a bit a pixel;
        // a photo saved otherwise as a JPEG. So the report is about the size of
        // its pictures' files: larger by no more than a tenth and 32 KB of text.
        const QStringList images =
            test::Poppler("pdfimages", {"-list", out}).split('\n', Qt::SkipEmptyParts).mid(2);
        QCOMPARE(images.size(), pictures.size());
        QVERIFY(QDir(dir.path()).mkdir("images"));
        test::Poppler("pdfimages", {"-j", out, dir.path() + "/images/"});
        const QFileInfoList extracted = QDir(dir.path() + "/images").entryInfoList(QDir::Files);
        QCOMPARE(extracted.size(), pictures.size());
        qint64 inFiles = 0;
        for (qsizetype at = 0; at < images.size(); ++at) {
            const QByteArray file = QByteArray::fromStdString(test::ReadAll(onDisk(pictures[at])));
            inFiles += file.size();
            const QImage picture = QImage::fromData(file);
            const bool jpeg = pictures[at].endsWith(".jpg"),
                       photo = jpeg || pictures[at].endsWith("painted.png");
            const QStringList columns = images[at].simplified().split(' ');
            QVERIFY2(columns.size() > 9 && columns[3].toInt() == picture.width() &&
                         columns[4].toInt() == picture.height() &&
                         columns[8] == (photo ? "jpeg" : "image") && columns[9] == "no",
                     qPrintable(images[at]));
            QFile stored(extracted[at].filePath());
            QVERIFY(stored.open(QIODevice::ReadOnly));
            if (jpeg)
                QVERIFY2(stored.readAll() == file, qPrintable(pictures[at] + " is not as it was"));
            else if (!photo)
                QVERIFY2(QImage::fromData(stored.readAll()).convertToFormat(QImage::Format_RGB32) ==
                             picture.convertToFormat(QImage::Format_RGB32),
                         qPrintable(pictures[at] + "'s pixels changed"));
        }
        QFile report(out);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString wrongTable = TableFault(report.readAll());
        QVERIFY2(wrongTable.isEmpty(), qPrintable(wrongTable));
        const qint64 size = QFileInfo(out).size();
        QVERIFY2(size <= inFiles * 11 / 10 + 32 * 1024,
                 qPrintable(QStringLiteral("%1 bytes for %2 of pictures").arg(size).arg(inFiles)));
        // On the paper of where the user is, as many pages as it takes.
        const QString info = test::Poppler("pdfinfo", {out});
        QCOMPARE(QRegularExpression("Pages: +(\\d+)").match(info).captured(1) + " " +
                     QRegularExpression("Page size: .*\\((\\w+)\\)").match(info).captured(1),
                 pages);
        // Nothing cut off or covered, each picture with its label, each screenshot
        // with every pixel a square of whole points.
        QList<Box> drawn;
        for (const PdfPage& page : PagesOf(out, dir.path())) {
            const QString fault = CutOrCovered(page, names);
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
            drawn += page.pictures;
        }
        QCOMPARE(drawn.size(), pictures.size());
        for (qsizetype at = 0; at < drawn.size(); ++at)
            if (given.contains(pictures[at])) {
                const double width = drawn[at].right - drawn[at].left,
                             height = drawn[at].bottom - drawn[at].top;
                const double times = std::round(width / 192);
                QVERIFY2(times >= 1 && std::abs(width - 192 * times) <= 1 &&
                             std::abs(height - 112 * times) <= 1,
                         qPrintable(QStringLiteral("a screenshot drawn %1 x %2 points")
                                        .arg(width)
                                        .arg(height)));
            }
    }
};

KVD_REGISTER_TEST(ExportTest)
#include "ExportTest.moc"
