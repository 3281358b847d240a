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

// Acts on the modal dialog that the code under test opens, once it is up and
// active, as a person finds it (the file dialog's name field then has the
// keyboard focus). Lives for one step of a test: if no such dialog comes up
// within a few seconds, or the action leaves it open, it closes whatever is
// modal, so the code under test returns instead of hanging, and says why.
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

// The file a shown file dialog starts from: its folder and the name in its name
// field; empty when the name field is.
QString StartFile(QFileDialog* dialog) {
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    return field && !field->text().isEmpty() ? dialog->directory().absoluteFilePath(field->text())
                                             : QString();
}

void PressButton(QMessageBox* box, QMessageBox::StandardButton which) {
    QVERIFY(box);
    QAbstractButton* button = box->button(which);
    QVERIFY(button);
    button->click();
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
    void messageBoxAsksWithTheGivenButtons_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("onEnter");
        QTest::addColumn<int>("press"); // 0: Enter
        QTest::addColumn<int>("expected");
        const int yes = int(DialogAnswer::Yes), no = int(DialogAnswer::No);
        QTest::newRow("Yes of Yes/No")
            << int(Buttons::YesNo) << yes << int(QMessageBox::Yes) << int(DialogAnswer::Yes);
        QTest::newRow("No of Yes/No")
            << int(Buttons::YesNo) << yes << int(QMessageBox::No) << int(DialogAnswer::No);
        QTest::newRow("Cancel of Yes/No/Cancel")
            << int(Buttons::YesNoCancel) << no << int(QMessageBox::Cancel)
            << int(DialogAnswer::Cancel);
        QTest::newRow("Enter where Yes loses nothing")
            << int(Buttons::YesNo) << yes << 0 << int(DialogAnswer::Yes);
        QTest::newRow("Enter where No loses nothing")
            << int(Buttons::YesNoCancel) << no << 0 << int(DialogAnswer::No);
    }

    void messageBoxAsksWithTheGivenButtons() {
        QFETCH(int, buttons);
        QFETCH(int, onEnter);
        QFETCH(int, press);
        QFETCH(int, expected);
        QtMessageBox box;
        QString seenText, seenTitle;
        bool hasCancel = false;
        OnDialog<QMessageBox> question("question", [&](QMessageBox* shown) {
            seenText = shown->text();
            seenTitle = shown->windowTitle();
            hasCancel = shown->button(QMessageBox::Cancel) != nullptr;
            if (press == 0)
                QTest::keyClick(shown, Qt::Key_Return);
            else
                PressButton(shown, QMessageBox::StandardButton(press));
        });
        const DialogAnswer answer = box.ask("shot1.bmp exists\r\nOverwrite ?", "Save as",
                                            Buttons(buttons), DialogAnswer(onEnter));
        QVERIFY2(question.failure().isEmpty(), qPrintable(question.failure()));
        QCOMPARE(int(answer), expected);
        QCOMPARE(seenText, QString("shot1.bmp exists\nOverwrite ?"));
        QCOMPARE(seenTitle, QString("Save as"));
        QCOMPARE(hasCancel, buttons == int(Buttons::YesNoCancel));
    }

    void messageBoxTellsWithOk() {
        QtMessageBox box;
        QString seen;
        OnDialog<QMessageBox> message("message", [&](QMessageBox* shown) {
            seen = shown->text();
            PressButton(shown, QMessageBox::Ok);
        });
        box.tell("There is no screenshot to save yet.", "Save as");
        QVERIFY2(message.failure().isEmpty(), qPrintable(message.failure()));
        QCOMPARE(seen, QString("There is no screenshot to save yet."));
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
        QString label, title, preset;
        QWidget* over = nullptr;
        int width = 0, titleWidth = 0, fieldWidth = 0, commentWidth = 0;
        OnDialog<QInputDialog> edited("input box", [&](QInputDialog* dialog) {
            label = dialog->labelText();
            title = dialog->windowTitle();
            preset = dialog->textValue();
            over = dialog->parentWidget();
            width = dialog->width();
            titleWidth = dialog->fontMetrics().horizontalAdvance(title);
            fieldWidth = dialog->findChild<QLineEdit*>()->width();
            commentWidth =
                dialog->fontMetrics().horizontalAdvance("Bench 4, probe A on TP12, unit 4711-B ok");
            dialog->setTextValue("bench 4");
            dialog->accept();
        });
        const std::optional<std::string> comment =
            input.ask("Comment:", "Add comment to your print", "KVD62 screenshot");
        QVERIFY2(edited.failure().isEmpty(), qPrintable(edited.failure()));
        QCOMPARE(comment, std::optional<std::string>("bench 4"));
        QCOMPARE(label, QString("Comment:"));
        QCOMPARE(title, QString("Add comment to your print"));
        QCOMPARE(preset, QString("KVD62 screenshot"));
        QCOMPARE(over, &history);
        QVERIFY2(width >= titleWidth + 120, qPrintable(QString::number(width)));
        QVERIFY2(fieldWidth >= commentWidth, qPrintable(QString::number(fieldWidth)));

        OnDialog<QInputDialog> cancelled("input box",
                                         [](QInputDialog* dialog) { dialog->reject(); });
        const std::optional<std::string> none =
            input.ask("Comment:", "Add comment to your print", "KVD62 screenshot");
        QVERIFY2(cancelled.failure().isEmpty(), qPrintable(cancelled.failure()));
        QVERIFY(!none);
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

        QString title, started = "not shown";
        QStringList filters;
        bool confirms = true;
        OnDialog<QFileDialog> save("Save dialog", [&](QFileDialog* shown) {
            title = shown->windowTitle();
            filters = shown->nameFilters();
            started = StartFile(shown);
            confirms = !shown->testOption(QFileDialog::DontConfirmOverwrite);
            TypeFileName(shown, chosen);
            static_cast<QDialog*>(shown)->accept();
        });
        const bool saved = dialog.showSave();
        QVERIFY2(save.failure().isEmpty(), qPrintable(save.failure()));
        QVERIFY(saved);
        QCOMPARE(title, QString("Save current screenshot as"));
        QCOMPARE(filters, QStringList{"KVD62 screenshots (*.bmp)"});
        QCOMPARE(started, QString());
        QVERIFY(!confirms);
        QCOMPARE(QString::fromStdString(dialog.fileName()), chosen);
        QCOMPARE(dialog.fileTitle(), std::string("first.bmp"));

        // Shown again with nothing set, it starts from the file chosen; a Cancel
        // keeps that file.
        const auto lookAndCancel = [&](QFileDialog* shown) {
            title = shown->windowTitle();
            filters = shown->nameFilters();
            started = StartFile(shown);
            shown->reject();
        };
        OnDialog<QFileDialog> again("second Save dialog", lookAndCancel);
        const bool savedAgain = dialog.showSave();
        QVERIFY2(again.failure().isEmpty(), qPrintable(again.failure()));
        QVERIFY(!savedAgain);
        QCOMPARE(title, QString("Save current screenshot as"));
        QCOMPARE(filters, QStringList{"KVD62 screenshots (*.bmp)"});
        QCOMPARE(started, chosen);
        QCOMPARE(QString::fromStdString(dialog.fileName()), chosen);

        // Load image sets its own filter only: the title is still saving's.
        dialog.setFilter("Pictures|*.bmp;*.png");
        OnDialog<QFileDialog> open("Open dialog", lookAndCancel);
        const bool opened = dialog.showOpen();
        QVERIFY2(open.failure().isEmpty(), qPrintable(open.failure()));
        QVERIFY(!opened);
        QCOMPARE(title, QString("Save current screenshot as"));
        QCOMPARE(filters, QStringList{"Pictures (*.bmp *.png)"});
        QCOMPARE(started, chosen);
        QCOMPARE(QString::fromStdString(dialog.fileName()), chosen);

        // A folder is asked for where the file was, and the file stays chosen.
        const QString folder = dir.path() + "/shots";
        QVERIFY(QDir().mkdir(folder));
        QString startedIn;
        OnDialog<QFileDialog> pick("folder dialog", [&](QFileDialog* shown) {
            startedIn = shown->directory().absolutePath();
            TypeFileName(shown, folder);
            static_cast<QDialog*>(shown)->accept();
        });
        const std::string picked = dialog.chooseFolder("Save every screenshot to folder");
        QVERIFY2(pick.failure().isEmpty(), qPrintable(pick.failure()));
        QCOMPARE(QString::fromStdString(picked), folder);
        QCOMPARE(startedIn, dir.path());
        QCOMPARE(QString::fromStdString(dialog.fileName()), chosen);
        // The next folder is asked for where the last was chosen.
        OnDialog<QFileDialog> nextFolder("second folder dialog", [&](QFileDialog* shown) {
            startedIn = shown->directory().absolutePath();
            shown->reject();
        });
        QVERIFY(dialog.chooseFolder("Export as PNG to folder").empty());
        QVERIFY2(nextFolder.failure().isEmpty(), qPrintable(nextFolder.failure()));
        QCOMPARE(startedIn, folder);

        // Told which file to offer, it starts from that one.
        const QString offered = folder + "/kvd62-20270101-120000-001-unreadable.bin";
        dialog.setFileName(offered.toStdString());
        OnDialog<QFileDialog> offering("Save dialog offering a file", lookAndCancel);
        QVERIFY(!dialog.showSave());
        QVERIFY2(offering.failure().isEmpty(), qPrintable(offering.failure()));
        QCOMPARE(started, offered);
    }

    void nameFiltersComeFromTheFilterText_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("pattern already in the description")
            << "KVD62 screenshots (*.bmp)|*.bmp" << QStringList{"KVD62 screenshots (*.bmp)"};
        QTest::newRow("pattern added") << "Bitmaps|*.bmp" << QStringList{"Bitmaps (*.bmp)"};
        QTest::newRow("two entries, two patterns")
            << "Pictures|*.bmp;*.png|All files|*.*"
            << QStringList{"Pictures (*.bmp *.png)", "All files (*.*)"};
        QTest::newRow("no filter") << "" << QStringList{};
    }

    void nameFiltersComeFromTheFilterText() {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(ToQtNameFilters(filter.toStdString()), expected);
    }

    // `carried`: a report takes the file as it is, undecoded (a JPEG that a PDF
    // shows as the reader here does); any other picture it decodes as the window.
    void pictureLoaderReadsBitmapsAndRefusesTheRest_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("carried");

        const std::string bitmap = test::TwoColourBitmap(4);
        const QByteArray huge = test::EncodedPicture(test::OneGrey(4001, 4001, 0), "PNG");
        QTest::newRow("the instrument's bitmap")
            << QByteArray::fromStdString(bitmap) << QSize(192, 112) << "" << false;
        QTest::newRow("text") << QByteArray("hello, not a picture") << QSize() << "not a picture"
                              << false;
        QTest::newRow("a cut-off bitmap") << QByteArray::fromStdString(bitmap.substr(0, 40))
                                          << QSize() << "header is damaged" << false;
        // A reader would fill the missing rows with whatever memory held.
        QTest::newRow("a bitmap cut short")
            << QByteArray::fromStdString(bitmap.substr(0, 1000)) << QSize()
            << "claims 192 x 112 pixels at 1 bit, more than its 1000 bytes hold" << false;
        std::string claims = bitmap; // 4000 x 4000 at 24 bits
        claims.replace(18, 12, std::string("\xa0\x0f\0\0\xa0\x0f\0\0\1\0\x18\0", 12));
        QTest::newRow("a screenshot's size claiming 4000 x 4000 pixels")
            << QByteArray::fromStdString(claims) << QSize()
            << "claims 4000 x 4000 pixels at 24 bits, more than its 2750 bytes hold" << false;
        const QByteArray jpeg = test::EncodedPicture(test::OneGrey(64, 48, 90), "JPEG");
        QTest::newRow("a JPEG") << jpeg << QSize(64, 48) << "" << true;
        QTest::newRow("a JPEG cut short")
            << jpeg.left(jpeg.size() - 100) << QSize() << "cut short" << false;
        QTest::newRow("a JPEG claiming 5000 x 4000 pixels")
            << Patched(jpeg, "\xFF\xC0", 5, QByteArray("\x0F\xA0\x13\x88", 4)) << QSize()
            << "too large (5000 x 4000 pixels)" << false;
        QByteArray progressive;
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        writer.write(test::PhotoLike(64, 48));
        QTest::newRow("a progressive colour JPEG") << progressive << QSize(64, 48) << "" << true;
        QTest::newRow("a colour JPEG with components named R, G and B")
            << NamedRgb(test::EncodedPicture(test::PhotoLike(64, 48), "JPEG")) << QSize(64, 48)
            << "" << false;
        QTest::newRow("a picture of over 16 million pixels")
            << huge << QSize() << "too large (4001 x 4001 pixels)" << false;
        // 26 bytes that decode to 2827 x 11308 pixels (128 MB): Qt's reader tells
        // the size of a GIF's first frame (here 43 x 0), and makes the picture the
        // size of its logical screen. Found by fuzzing.
        QTest::newRow("a GIF of 32 million pixels, its size not told by Qt")
            << QByteArray::fromBase64("R0lGODdhCwssLCwsLCwrAAAAAAAAACwAAA==") << QSize()
            << "too large (2827 x 11308 pixels)" << false;
        QTest::newRow("a PGM of 20 million pixels")
            << QByteArray("P5\n5000 4000\n255\n") + QByteArray(100, '\0') << QSize()
            << "too large (5000 x 4000 pixels)" << false;
        // Decoded at 8 bytes a pixel, twice what most pictures take.
        QImage deep(4000, 4000, QImage::Format_RGBA64);
        deep.fill(QColor(10, 20, 30));
        const QByteArray deepPng = test::EncodedPicture(deep, "PNG");
        QTest::newRow("a 16-bit PNG of 16 million pixels")
            << deepPng << QSize(4000, 4000) << "" << false;
        // libpng would print a line of each on standard error.
        QTest::newRow("a PNG cut short")
            << deepPng.left(60000) << QSize() << "the PNG file is cut short: its end is missing"
            << false;
        QByteArray damaged = deepPng;
        damaged[damaged.size() - 100] = char(damaged[damaged.size() - 100] ^ 1);
        QTest::newRow("a PNG whose pixels are damaged")
            << damaged << QSize() << "one of its parts does not match its checksum" << false;
        // Qt's reader warns "Corrupt JPEG data: 2 extraneous bytes before marker
        // 0xda", which is for developers: no warning may be let out.
        const qsizetype scan = jpeg.lastIndexOf("\xff\xda");
        QTest::newRow("a JPEG with stray bytes: loads")
            << jpeg.left(scan) + QByteArray(2, '\0') + jpeg.mid(scan) << QSize(64, 48) << ""
            << false;
        // Rows of 255 pixels in 4 bytes each: one run and an end of line. Two
        // bytes describe at most 255 pixels.
        const QByteArray runs = QByteArray::fromHex(QByteArray("ff010000").repeated(10) + "0001");
        QTest::newRow("a run-length bitmap claiming what its bytes can describe")
            << Bitmap(255, 21, 8, 1, runs, 3) << QSize(255, 21) << "" << false;
        QTest::newRow("a run-length bitmap cut short, claiming twice that")
            << Bitmap(255, 42, 8, 1, runs, 3) << QSize()
            << "claims 255 x 42 pixels at 8 bits, more than its 108 bytes hold" << false;
        QTest::newRow("a 4-bit run-length bitmap cut short, claiming twice that")
            << Bitmap(255, 42, 4, 2, runs, 3) << QSize()
            << "claims 255 x 42 pixels at 4 bits, more than its 108 bytes hold" << false;
        QTest::newRow("a run-length bitmap stored from the top down")
            << Bitmap(255, -10, 8, 1, runs, 3) << QSize() << "header is damaged" << false;
    }

    void pictureLoaderReadsBitmapsAndRefusesTheRest() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QString, reason);
#if QT_VERSION >= QT_VERSION_CHECK(6, 3, 0)
        QTest::failOnWarning(QRegularExpression("."));
#endif
        QFETCH(bool, carried);
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
            return;
        }
        QVERIFY2(QString::fromStdString(fromFile).contains(reason), fromFile.c_str());
        QVERIFY2(QString::fromStdString(fromBytes).contains(reason), fromBytes.c_str());
        QVERIFY2(QString::fromStdString(forReport).contains(reason), forReport.c_str());
    }

    // The true reason: no file, a folder, a pipe or a device where a file was
    // named, or a file the system fails to read, as a failing USB stick's; never
    // an exception, and never a wait for a pipe's writer. (What a user may not
    // read is tried from the command line, as another user.)
    void pictureLoaderSaysWhyThereIsNoPicture_data() {
        QTest::addColumn<QString>("path"); // DIR: a folder of the test's own
        QTest::addColumn<QString>("reason");
        QTest::newRow("no such file") << "/nonexistent/picture.bmp"
                                      << "there is no such file";
        QTest::newRow("a folder") << "DIR"
                                  << "it is a folder, not a picture file";
#ifndef _WIN32
        QTest::newRow("a pipe no one writes to") << "DIR/pipe"
                                                 << "it is a device or a pipe, not a file";
        QTest::newRow("a device") << "/dev/null"
                                  << "it is a device or a pipe, not a file";
#endif
#ifdef __linux__
        QTest::newRow("a read that fails: input/output error")
            << "/proc/self/mem"
            << "reading it failed (Input/output error); try again, or copy it again from "
               "where it came";
        QTest::newRow("a read that fails: invalid argument")
            << "/proc/self/pagemap"
            << "reading it failed (Invalid argument)";
#endif
    }

    void pictureLoaderSaysWhyThereIsNoPicture() {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        path.replace("DIR", dir.path());
#ifndef _WIN32
        if (path.endsWith("/pipe"))
            QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
#endif
        QtPictureLoader loader;
        std::string whyNot;
        QVERIFY(!loader.loadFile(path.toStdString(), whyNot));
        QVERIFY2(QString::fromStdString(whyNot).startsWith(reason), whyNot.c_str());
    }

    // No more than one byte past the cap is read: a file that holds more is
    // refused, even one whose size said less, as a file's that grows while it is
    // read does.
    void fileReaderStopsAtItsCap_data() {
        QTest::addColumn<QString>("path"); // FILE: a file of 100 bytes
        QTest::addColumn<int>("cap");
        QTest::addColumn<QString>("reason"); // empty: read whole
        QTest::newRow("as large as the cap: read whole") << "FILE" << 100 << "";
        QTest::newRow("a byte over the cap")
            << "FILE" << 99 << "the file is too large to be a picture (100 bytes)";
#ifdef __linux__
        QTest::newRow("more than its size (0) says")
            << "/proc/self/maps" << 100
            << "the file is too large to be a picture (more than 100 bytes)";
#endif
    }

    void fileReaderStopsAtItsCap() {
        QFETCH(QString, path);
        QFETCH(int, cap);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const std::string content(100, 'x');
        if (path == "FILE") {
            path = dir.path() + "/picture.bmp";
            std::ofstream(path.toStdString(), std::ios::binary) << content;
        }
        std::string whyNot;
        const std::optional<std::string> bytes =
            ReadFileBytes(path.toStdString(), std::size_t(cap), whyNot);
        QCOMPARE(QString::fromStdString(whyNot), reason);
        QCOMPARE(bytes.has_value(), reason.isEmpty());
        if (bytes)
            QCOMPARE(*bytes, content);
    }

    // Qt's reader of run-length bitmaps leaves the pixels their runs skip as
    // memory held them: here they take the palette's first colour (green), the
    // same every time. So do pixels that name colours past the palette, in any
    // indexed picture; and a PNG made of the picture shows the same.
    void pictureLoaderGivesSkippedPixelsTheFirstColour_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("indexes"); // in Palette, rows from the top
        // 4 x 3 pixels with full palettes, so that memory's leftovers show as red
        // ('?'): run the test under MALLOC_PERTURB_=165 to see them. Rows are
        // stored from the bottom up: two bytes repeat a pixel; 00 00 ends a line,
        // 00 01 the picture, 00 02 X Y jumps X right and Y up; 00 N copies N
        // pixels, in whole pairs of bytes.
        QTest::newRow("a jump") << Bitmap(4, 3, 8, 1,
                                          QByteArray::fromHex("0201 00020101 0102 0000 0401 0001"),
                                          256)
                                << "1111|0002|1100";
        QTest::newRow("lines ended early")
            << Bitmap(4, 3, 8, 1, QByteArray::fromHex("0201 0000 0003020102ff 0000 0101 0001"), 256)
            << "1000|2120|1100";
        QTest::newRow("the picture ended early")
            << Bitmap(4, 3, 8, 1, QByteArray::fromHex("0401 0000 0202 0001"), 256)
            << "0000|2200|1111";
        QTest::newRow("4-bit pixels: each skip")
            << Bitmap(4, 3, 4, 2, QByteArray::fromHex("0312 0000 00020200 0222 0000 00031210 0001"),
                      16)
            << "1210|0022|1210";
        QTest::newRow("an uncompressed 8-bit bitmap naming colours past its palette")
            << Bitmap(4, 1, 8, 0, QByteArray::fromHex("0107ff02"), 3) << "1002";
        QTest::newRow("a 1-bit bitmap with one colour")
            << Bitmap(8, 1, 1, 0, QByteArray::fromHex("a0000000"), 1) << "00000000";
    }

    void pictureLoaderGivesSkippedPixelsTheFirstColour() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, indexes);
        QtPictureLoader loader;
        std::string whyNot;
        const auto first = loader.loadBytes(bytes.toStdString(), whyNot);
        QVERIFY2(first, whyNot.c_str());
        const auto again = loader.loadBytes(bytes.toStdString(), whyNot);
        QVERIFY2(again, whyNot.c_str());
        QCOMPARE(ToImage(*again), ToImage(*first));
        QCOMPARE(PaletteIndexes(ToImage(*first)), indexes);

        QtExportEncoder encoder;
        const std::optional<std::string> png = encoder.png(*first, 1, whyNot);
        QVERIFY2(png, whyNot.c_str());
        const QImage fromPng = QImage::fromData(QByteArray::fromStdString(*png), "PNG");
        QCOMPARE(PaletteIndexes(fromPng), indexes);
    }
};

KVD_REGISTER_TEST(QtDialogsTest)
#include "QtDialogsTest.moc"
