#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImageWriter>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/ReadFileBytes.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtExportEncoder.h"
#include "platform/qt/QtPictureLoader.h"
#include "tests/support/EncodedPicture.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {

// Acts on the modal dialog the code under test opens, once it is up and active
// as a person finds it. If none comes up within a few seconds, or the action
// leaves it open, it closes whatever is modal, so that the test goes on, and
// says why.
template <typename Dialog> class OnDialog {
public:
    OnDialog(QString what, std::function<void(Dialog*)> act)
        : what_(std::move(what)), act_(std::move(act)) {
        waited_.start();
        QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { Poll(); });
        poll_.start(10);
    }
    // Empty when the dialog came up and the action closed it; else what went wrong.
    const QString& failure() const { return failure_; }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<Dialog*>(modal);
        if (dialog && dialog->isVisible() && dialog->isActiveWindow()) {
            poll_.stop();
            failure_.clear();
            act_(dialog);
            if (dialog->isVisible())
                GiveUp(dialog, "the action left the " + what_ + " open");
            return;
        }
        if (waited_.elapsed() > WaitMs)
            GiveUp(modal, "no " + what_ + " came up within " + QString::number(WaitMs / 1000) +
                              " s" + (modal ? " (another dialog was up)" : ""));
    }
    void GiveUp(QWidget* modal, const QString& why) {
        poll_.stop();
        failure_ = why;
        if (auto* stuck = qobject_cast<QDialog*>(modal))
            stuck->reject();
    }

    static constexpr int WaitMs = 5000;
    QString what_;
    std::function<void(Dialog*)> act_;
    QString failure_ = QStringLiteral("not acted on yet");
    QElapsedTimer waited_;
    QTimer poll_;
};

// Types a file name into the dialog's name field, as a person does. (selectFile()
// leaves a name field that has the keyboard focus as it is.)
void TypeFileName(QFileDialog* dialog, const QString& name) {
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY2(field, "the file dialog has no name field");
    field->setText(name);
}

// Accepts the dialog with `name` typed in, or cancels it when `name` is empty.
void Answer(QFileDialog* dialog, const QString& name) {
    if (name.isEmpty())
        return dialog->reject();
    TypeFileName(dialog, name);
    static_cast<QDialog*>(dialog)->accept();
}

// The file a shown file dialog starts from: its folder and the name in its name
// field; empty when the name field is.
QString StartFile(QFileDialog* dialog) {
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    return field && !field->text().isEmpty() ? dialog->directory().absoluteFilePath(field->text())
                                             : QString();
}

// The palette of the bitmaps below: green, blue, white.
const QRgb Palette[] = {qRgb(0, 128, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};

// A bitmap file of `width` x `height` pixels at `bits` bits, with `pixels` as
// they are stored (run-length compressed with `compression` 1 or 2), and a
// palette of `colours`: Palette's, then red.
QByteArray Bitmap(int width, int height, int bits, int compression, const QByteArray& pixels,
                  int colours) {
    QByteArray bytes("BM");
    const auto put = [&bytes](qint64 value, int size) {
        for (int i = 0; i < size; ++i, value >>= 8)
            bytes.append(char(value & 0xFF));
    };
    const int pixelsAt = 14 + 40 + colours * 4;
    put(pixelsAt + pixels.size(), 4);
    put(0, 4);
    put(pixelsAt, 4);
    for (const int field : {40, width, height})
        put(field, 4);
    put(1, 2);
    put(bits, 2);
    for (const int field : {compression, int(pixels.size()), 2835, 2835, colours, 0})
        put(field, 4);
    for (int i = 0; i < colours; ++i)
        put((i < 3 ? Palette[i] : qRgb(255, 0, 0)) & 0xFFFFFF, 4);
    return bytes + pixels;
}

// Each pixel's colour as its index in Palette, rows from the top split by '|';
// '?' for a colour that is not in it.
QString PaletteIndexes(const QImage& image) {
    QString indexes;
    for (int y = 0; y < image.height(); ++y) {
        if (y > 0)
            indexes += u'|';
        for (int x = 0; x < image.width(); ++x) {
            const auto found = std::find(std::begin(Palette), std::end(Palette), image.pixel(x, y));
            indexes += found == std::end(Palette) ? QStringLiteral("?")
                                                  : QString::number(found - std::begin(Palette));
        }
    }
    return indexes;
}

// `jpeg` with `bytes` in place of those at `offset` from the start of its first
// `marker` segment.
QByteArray Patched(QByteArray jpeg, const char* marker, int offset, const QByteArray& bytes) {
    return jpeg.replace(jpeg.indexOf(marker) + offset, bytes.size(), bytes);
}

// A colour JPEG without its JFIF marker, its components named R, G and B: the
// reader here takes it for RGB, a PDF reader for YCbCr.
QByteArray NamedRgb(QByteArray jpeg) {
    const qsizetype jfif = jpeg.indexOf("\xFF\xE0");
    jpeg.remove(jfif, 2 + (uchar(jpeg[jfif + 2]) << 8 | uchar(jpeg[jfif + 3])));
    for (int c = 0; c < 3; ++c) {
        jpeg = Patched(jpeg, "\xFF\xC0", 10 + 3 * c, QByteArray(1, "RGB"[c]));
        jpeg = Patched(jpeg, "\xFF\xDA", 5 + 2 * c, QByteArray(1, "RGB"[c]));
    }
    return jpeg;
}

} // namespace

class QtDialogsTest : public QObject {
    Q_OBJECT

private slots:
    // The buttons given, the answer pressed; Enter gives the answer asked for.
    // A message (buttons -1) has only Ok, and no answer.
    void messageBoxAsksWithTheGivenButtons_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("onEnter");
        QTest::addColumn<int>("press"); // 0: Enter
        QTest::addColumn<int>("expected");
        const int yes = int(DialogAnswer::Yes), no = int(DialogAnswer::No);
        const int yesNo = int(Buttons::YesNo), withCancel = int(Buttons::YesNoCancel);
        QTest::newRow("No of Yes/No") << yesNo << yes << int(QMessageBox::No) << no;
        QTest::newRow("Cancel of Yes/No/Cancel")
            << withCancel << no << int(QMessageBox::Cancel) << int(DialogAnswer::Cancel);
        QTest::newRow("Enter where Yes loses nothing") << yesNo << yes << 0 << yes;
        QTest::newRow("Enter where No loses nothing") << withCancel << no << 0 << no;
        QTest::newRow("Ok of a message") << -1 << yes << int(QMessageBox::Ok) << -1;
    }

    void messageBoxAsksWithTheGivenButtons() {
        QFETCH(int, buttons);
        QFETCH(int, onEnter);
        QFETCH(int, press);
        QFETCH(int, expected);
        QtMessageBox box;
        QString seenText, seenTitle;
        bool hasCancel = false;
        OnDialog<QMessageBox> question("message box", [&](QMessageBox* shown) {
            seenText = shown->text();
            seenTitle = shown->windowTitle();
            hasCancel = shown->button(QMessageBox::Cancel) != nullptr;
            QAbstractButton* button = shown->button(QMessageBox::StandardButton(press));
            QVERIFY(press == 0 || button);
            press == 0 ? QTest::keyClick(shown, Qt::Key_Return) : button->click();
        });
        const std::string text = "shot1.bmp exists\r\nOverwrite ?";
        int answer = -1;
        if (buttons < 0)
            box.tell(text, "Save as");
        else
            answer = int(box.ask(text, "Save as", Buttons(buttons), DialogAnswer(onEnter)));
        QVERIFY2(question.failure().isEmpty(), qPrintable(question.failure()));
        QCOMPARE(answer, expected);
        QCOMPARE(seenText, QString("shot1.bmp exists\nOverwrite ?"));
        QCOMPARE(seenTitle, QString("Save as"));
        QCOMPARE(hasCancel, buttons == int(Buttons::YesNoCancel));
    }

    // It opens over the window the user is in (History, not the main window),
    // wide enough for its whole title beside the title bar's buttons and for a
    // comment of 40 characters.
    void inputBoxGivesTheTextOrNothingOnCancel() {
        QWidget mainWindow, history;
        history.show();
        QVERIFY(QTest::qWaitForWindowActive(&history));
        QtInputBox input;
        input.setParent(&mainWindow);
        // Answers the box with `typed`, or cancels it when that is empty: what it
        // showed, whether over History and wide enough, and the comment given.
        const auto answer = [&](const QString& typed) {
            QStringList seen{"not shown"};
            OnDialog<QInputDialog> shown("input box", [&](QInputDialog* dialog) {
                const QFontMetrics metrics = dialog->fontMetrics();
                const int width = dialog->width(), field = dialog->findChild<QLineEdit*>()->width();
                seen = QStringList{
                    dialog->labelText(),
                    dialog->windowTitle(),
                    dialog->textValue(),
                    dialog->parentWidget() == &history ? "over History" : "elsewhere",
                    width >= metrics.horizontalAdvance(dialog->windowTitle()) + 120
                        ? "wide"
                        : QString::number(width),
                    field >= metrics.horizontalAdvance("Bench 4, probe A on TP12, unit 4711-B ok")
                        ? "wide"
                        : QString::number(field)};
                dialog->setTextValue(typed);
                typed.isEmpty() ? dialog->reject() : dialog->accept();
            });
            const std::optional<std::string> comment =
                input.ask("Comment:", "Add comment to your print", "KVD62 screenshot");
            return seen << shown.failure()
                        << (comment ? QString::fromStdString(*comment) : "no comment");
        };
        const QStringList shown{
            "Comment:", "Add comment to your print", "KVD62 screenshot", "over History", "wide",
            "wide"};
        QCOMPARE(answer("bench 4"), shown + QStringList({"", "bench 4"}));
        QCOMPARE(answer({}).mid(shown.size()), QStringList({"", "no comment"}));
    }

    // The dialog keeps title, filter and the chosen file between uses, by Save
    // image and Load image alike, asks no overwrite question of its own, and
    // reports Cancel as a failure.
    void fileDialogPersistsBetweenUses() {
        QTemporaryDir dir;
        const QString chosen = dir.path() + "/first.bmp";
        std::ofstream(chosen.toStdString()) << "BM";
        QtFileDialog dialog;
        dialog.setFilter("KVD62 screenshots (*.bmp)|*.bmp");
        dialog.setTitle("Save current screenshot as");
        // Shows the dialog and answers it with `name`: whether a file was chosen;
        // the title, filters and file it showed; whether it asks before
        // overwriting; the file chosen after.
        const auto use = [&dialog](bool (QtFileDialog::*show)(), const QString& name = {}) {
            QStringList seen{"not shown"};
            OnDialog<QFileDialog> shown("file dialog", [&](QFileDialog* d) {
                seen = QStringList{d->windowTitle(), d->nameFilters().join(';'), StartFile(d),
                                   d->testOption(QFileDialog::DontConfirmOverwrite) ? "" : "asks"};
                Answer(d, name);
            });
            const bool chose = (dialog.*show)();
            return QStringList{shown.failure(), chose ? "chosen" : "cancelled"} + seen +
                   QStringList{QString::fromStdString(dialog.fileName())};
        };
        const QString title = "Save current screenshot as", bitmaps = "KVD62 screenshots (*.bmp)";
        QCOMPARE(use(&QtFileDialog::showSave, chosen),
                 (QStringList{"", "chosen", title, bitmaps, "", "", chosen}));
        QCOMPARE(dialog.fileTitle(), std::string("first.bmp"));
        // Shown again with nothing set, it starts from the file chosen; a Cancel
        // keeps that file.
        QCOMPARE(use(&QtFileDialog::showSave),
                 (QStringList{"", "cancelled", title, bitmaps, chosen, "", chosen}));
        // Load image sets its own filter only: the title is still saving's. Each
        // entry's patterns are added to its description; none given, none made.
        dialog.setFilter("Pictures|*.bmp;*.png|All files|*.*");
        const QString pictures = "Pictures (*.bmp *.png);All files (*.*)";
        QCOMPARE(ToQtNameFilters(""), QStringList());
        QCOMPARE(use(&QtFileDialog::showOpen),
                 (QStringList{"", "cancelled", title, pictures, chosen, "", chosen}));

        // A folder is asked for where the file was, and the file stays chosen;
        // the next folder where the last was chosen.
        const QString folder = dir.path() + "/shots";
        QVERIFY(QDir().mkdir(folder));
        const auto pickFolder = [&dialog](const QString& name) {
            QString startedIn = "not shown";
            OnDialog<QFileDialog> shown("folder dialog", [&](QFileDialog* d) {
                startedIn = d->directory().absolutePath();
                Answer(d, name);
            });
            const QString picked = QString::fromStdString(dialog.chooseFolder("Export to folder"));
            return QStringList{shown.failure(), startedIn, picked,
                               QString::fromStdString(dialog.fileName())};
        };
        QCOMPARE(pickFolder(folder), (QStringList{"", dir.path(), folder, chosen}));
        QCOMPARE(pickFolder({}), (QStringList{"", folder, "", chosen}));

        // Told which file to offer, it starts from that one.
        const QString offered = folder + "/kvd62-20270101-120000-001-unreadable.bin";
        dialog.setFileName(offered.toStdString());
        QCOMPARE(use(&QtFileDialog::showSave),
                 (QStringList{"", "cancelled", title, pictures, offered, "", offered}));
    }

    // `carried`: a report takes the file as it is, undecoded (a JPEG that a PDF
    // shows as the reader here does); any other picture it decodes as the window.
    // `indexes`: each pixel's colour in Palette, rows from the top, as loaded
    // and as exported to PNG (empty: not looked at).
    void pictureLoaderReadsBitmapsAndRefusesTheRest_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("carried");
        QTest::addColumn<QString>("indexes");
        const auto loads = [](const char* name, const QByteArray& bytes, QSize size,
                              bool carried = false, const QString& indexes = {}) {
            QTest::newRow(name) << bytes << size << QString() << carried << indexes;
        };
        const auto refused = [](const char* name, const QByteArray& bytes, const QString& reason) {
            QTest::newRow(name) << bytes << QSize() << reason << false << QString();
        };

        const QByteArray bitmap = QByteArray::fromStdString(test::TwoColourBitmap(4));
        loads("the instrument's bitmap", bitmap, QSize(192, 112));
        refused("text", "hello, not a picture", "not a picture");
        refused("a cut-off bitmap", bitmap.left(40), "header is damaged");
        // A reader would fill the missing rows with whatever memory held.
        refused("a bitmap cut short", bitmap.left(1000),
                "claims 192 x 112 pixels at 1 bit, more than its 1000 bytes hold");
        QByteArray claims = bitmap; // 4000 x 4000 at 24 bits
        claims.replace(18, 12, QByteArray("\xa0\x0f\0\0\xa0\x0f\0\0\1\0\x18\0", 12));
        refused("a screenshot's size claiming 4000 x 4000 pixels", claims,
                "claims 4000 x 4000 pixels at 24 bits, more than its 2750 bytes hold");
        const QByteArray jpeg = test::EncodedPicture(test::OneGrey(64, 48, 90), "JPEG");
        loads("a JPEG", jpeg, QSize(64, 48), true);
        refused("a JPEG cut short", jpeg.left(jpeg.size() - 100), "cut short");
        refused("a JPEG claiming 5000 x 4000 pixels",
                Patched(jpeg, "\xFF\xC0", 5, QByteArray("\x0F\xA0\x13\x88", 4)),
                "too large (5000 x 4000 pixels)");
        QByteArray progressive;
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        writer.write(test::PhotoLike(64, 48));
        loads("a progressive colour JPEG", progressive, QSize(64, 48), true);
        loads("a colour JPEG with components named R, G and B",
              NamedRgb(test::EncodedPicture(test::PhotoLike(64, 48), "JPEG")), QSize(64, 48));
        refused("a picture of over 16 million pixels",
                test::EncodedPicture(test::OneGrey(4001, 4001, 0), "PNG"),
                "too large (4001 x 4001 pixels)");
        // 26 bytes that decode to 2827 x 11308 pixels (128 MB): Qt's reader tells
        // the size of a GIF's first frame (here 43 x 0), and makes the picture the
        // size of its logical screen. Found by fuzzing.
        refused("a GIF of 32 million pixels, its size not told by Qt",
                QByteArray::fromBase64("R0lGODdhCwssLCwsLCwrAAAAAAAAACwAAA=="),
                "too large (2827 x 11308 pixels)");
        refused("a PGM of 20 million pixels", "P5\n5000 4000\n255\n" + QByteArray(100, '\0'),
                "too large (5000 x 4000 pixels)");
        // Decoded at 8 bytes a pixel, twice what most pictures take.
        QImage deep(4000, 4000, QImage::Format_RGBA64);
        deep.fill(QColor(10, 20, 30));
        const QByteArray deepPng = test::EncodedPicture(deep, "PNG");
        loads("a 16-bit PNG of 16 million pixels", deepPng, QSize(4000, 4000));
        // libpng would print a line of each on standard error.
        refused("a PNG cut short", deepPng.left(60000),
                "the PNG file is cut short: its end is missing");
        QByteArray damaged = deepPng;
        damaged[damaged.size() - 100] = char(damaged[damaged.size() - 100] ^ 1);
        refused("a PNG whose pixels are damaged", damaged,
                "one of its parts does not match its checksum");
        // Qt's reader warns "Corrupt JPEG data: 2 extraneous bytes before marker
        // 0xda", which is for developers: no warning may be let out.
        const qsizetype scan = jpeg.lastIndexOf("\xff\xda");
        loads("a JPEG with stray bytes: loads",
              jpeg.left(scan) + QByteArray(2, '\0') + jpeg.mid(scan), QSize(64, 48));
        // Rows of 255 pixels in 4 bytes each: one run and an end of line. Two
        // bytes describe at most 255 pixels.
        const QByteArray runs = QByteArray::fromHex(QByteArray("ff010000").repeated(10) + "0001");
        loads("a run-length bitmap claiming what its bytes can describe",
              Bitmap(255, 21, 8, 1, runs, 3), QSize(255, 21));
        refused("a run-length bitmap cut short, claiming twice that",
                Bitmap(255, 42, 8, 1, runs, 3),
                "claims 255 x 42 pixels at 8 bits, more than its 108 bytes hold");
        refused("a 4-bit run-length bitmap cut short, claiming twice that",
                Bitmap(255, 42, 4, 2, runs, 3),
                "claims 255 x 42 pixels at 4 bits, more than its 108 bytes hold");
        refused("a run-length bitmap stored from the top down", Bitmap(255, -10, 8, 1, runs, 3),
                "header is damaged");

        // Pixels that runs skip (Qt leaves them as memory held them), or that name
        // colours past the palette, take its first colour (green). Full palettes
        // show memory's leftovers as red ('?') under MALLOC_PERTURB_=165. Rows go
        // from the bottom up: two bytes repeat a pixel; 00 00 ends a line, 00 01
        // the picture, 00 02 X Y jumps X right and Y up; 00 N copies N pixels.
        const auto skips = [&loads](const char* name, int bits, const char* hex,
                                    const QString& indexes) {
            loads(name, Bitmap(4, 3, bits, bits == 8 ? 1 : 2, QByteArray::fromHex(hex), 1 << bits),
                  QSize(4, 3), false, indexes);
        };
        skips("a jump", 8, "0201 00020101 0102 0000 0401 0001", "1111|0002|1100");
        skips("lines ended early", 8, "0201 0000 0003020102ff 0000 0101 0001", "1000|2120|1100");
        skips("the picture ended early", 8, "0401 0000 0202 0001", "0000|2200|1111");
        skips("4-bit pixels: each skip", 4, "0312 0000 00020200 0222 0000 00031210 0001",
              "1210|0022|1210");
        loads("an uncompressed 8-bit bitmap naming colours past its palette",
              Bitmap(4, 1, 8, 0, QByteArray::fromHex("0107ff02"), 3), QSize(4, 1), false, "1002");
        loads("a 1-bit bitmap with one colour",
              Bitmap(8, 1, 1, 0, QByteArray::fromHex("a0000000"), 1), QSize(8, 1), false,
              "00000000");
    }

    void pictureLoaderReadsBitmapsAndRefusesTheRest() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QString, reason);
#if QT_VERSION >= QT_VERSION_CHECK(6, 3, 0)
        QTest::failOnWarning(QRegularExpression("."));
#endif
        QFETCH(bool, carried);
        QFETCH(QString, indexes);
        QTemporaryDir dir;
        const std::string path = dir.path().toStdString() + "/picture.bmp";
        std::ofstream(path, std::ios::binary) << bytes.toStdString();

        QtPictureLoader loader;
        std::string fromFile, fromBytes, forReport;
        const auto filePicture = loader.loadFile(path, fromFile);
        const auto bytesPicture = loader.loadBytes(bytes.toStdString(), fromBytes);
        const auto reportPicture = loader.loadFileForReport(path, forReport);
        QCOMPARE(filePicture.has_value(), size.isValid());
        QCOMPARE(bytesPicture.has_value(), size.isValid());
        QCOMPARE(reportPicture.has_value(), size.isValid());
        if (size.isValid()) {
            QCOMPARE(ToImage(*filePicture).size(), size);
            QCOMPARE(ToImage(*bytesPicture), ToImage(*filePicture));
            QCOMPARE(QSize(reportPicture->width, reportPicture->height), size);
            QCOMPARE(ToImage(*reportPicture), carried ? QImage() : ToImage(*filePicture));
            QCOMPARE(reportPicture->file ? QByteArray::fromStdString(*reportPicture->file)
                                         : QByteArray(),
                     carried ? bytes : QByteArray());
            // What the loader read afterwards is decoded again.
            QCOMPARE(ToImage(*loader.loadFile(path, fromFile)), ToImage(*filePicture));
            if (indexes.isEmpty())
                return;
            QCOMPARE(PaletteIndexes(ToImage(*filePicture)), indexes);
            const std::optional<std::string> png = QtExportEncoder().png(*filePicture, 1, fromFile);
            QVERIFY2(png, fromFile.c_str());
            QCOMPARE(PaletteIndexes(QImage::fromData(QByteArray::fromStdString(*png), "PNG")),
                     indexes);
            return;
        }
        QVERIFY2(QString::fromStdString(fromFile).contains(reason), fromFile.c_str());
        QVERIFY2(QString::fromStdString(fromBytes).contains(reason), fromBytes.c_str());
        QVERIFY2(QString::fromStdString(forReport).contains(reason), forReport.c_str());
    }

    // The true reason, never an exception nor a wait for a pipe's writer. (What a
    // user may not read is tried from the command line, as another user.) No more
    // than one byte past the cap is read: a file that holds more is refused, even
    // one whose size said less, as a growing file's does.
    void readingAFileSaysWhyNot_data() {
        QTest::addColumn<QString>("path"); // DIR: a folder of the test's own; FILE: 100 bytes in it
        QTest::addColumn<int>("cap");      // 0: read by the picture loader, else by ReadFileBytes
        QTest::addColumn<QString>("reason"); // how it starts; empty: read whole
        QTest::newRow("no such file") << "/nonexistent/picture.bmp" << 0 << "there is no such file";
        QTest::newRow("a folder") << "DIR" << 0 << "it is a folder, not a picture file";
#ifndef _WIN32
        QTest::newRow("a pipe no one writes to")
            << "DIR/pipe" << 0 << "it is a device or a pipe, not a file";
        QTest::newRow("a device") << "/dev/null" << 0 << "it is a device or a pipe, not a file";
#endif
#ifdef __linux__
        QTest::newRow("a read that fails: input/output error")
            << "/proc/self/mem" << 0
            << "reading it failed (Input/output error); try again, or copy it again from "
               "where it came";
        QTest::newRow("a read that fails: invalid argument")
            << "/proc/self/pagemap" << 0 << "reading it failed (Invalid argument)";
        QTest::newRow("more than its size (0) says")
            << "/proc/self/maps" << 100
            << "the file is too large to be a picture (more than 100 bytes)";
#endif
        QTest::newRow("as large as the cap: read whole") << "FILE" << 100 << "";
        QTest::newRow("a byte over the cap")
            << "FILE" << 99 << "the file is too large to be a picture (100 bytes)";
    }

    void readingAFileSaysWhyNot() {
        QFETCH(QString, path);
        QFETCH(int, cap);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const std::string content(100, 'x');
        path.replace("FILE", "DIR/picture.bmp").replace("DIR", dir.path());
        if (path.endsWith("/picture.bmp"))
            std::ofstream(path.toStdString(), std::ios::binary) << content;
#ifndef _WIN32
        if (path.endsWith("/pipe"))
            QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
#endif
        std::string whyNot;
        std::optional<std::string> bytes;
        if (cap == 0)
            QVERIFY(!QtPictureLoader().loadFile(path.toStdString(), whyNot));
        else
            bytes = ReadFileBytes(path.toStdString(), std::size_t(cap), whyNot);
        const QString said = QString::fromStdString(whyNot);
        QVERIFY2(cap == 0 ? said.startsWith(reason) : said == reason, whyNot.c_str());
        QCOMPARE(bytes.value_or(std::string()), reason.isEmpty() ? content : std::string());
    }
};

KVD_REGISTER_TEST(QtDialogsTest)
#include "QtDialogsTest.moc"
