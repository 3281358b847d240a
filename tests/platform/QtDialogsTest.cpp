#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>

#include "platform/qt/QtDialogs.h"
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
        QTest::newRow("No of Yes/No/Cancel")
            << int(Buttons::YesNoCancel) << no << int(QMessageBox::No) << int(DialogAnswer::No);
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

    void inputBoxGivesTheTextOrNothingOnCancel() {
        QtInputBox input;
        QString label, title, preset;
        OnDialog<QInputDialog> edited("input box", [&](QInputDialog* dialog) {
            label = dialog->labelText();
            title = dialog->windowTitle();
            preset = dialog->textValue();
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

    void pictureLoaderReadsBitmapsAndRefusesTheRest_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("reason");

        const std::string bitmap = test::TwoColourBitmap(4);
        const QByteArray huge = test::EncodedPicture(test::OneGrey(4001, 4001, 0), "PNG");
        QTest::newRow("the instrument's bitmap")
            << QByteArray::fromStdString(bitmap) << QSize(192, 112) << "";
        QTest::newRow("text") << QByteArray("hello, not a picture") << QSize() << "not a picture";
        QTest::newRow("a cut-off bitmap")
            << QByteArray::fromStdString(bitmap.substr(0, 40)) << QSize() << "header is damaged";
        // A reader would fill the missing rows with whatever memory held.
        QTest::newRow("a bitmap cut short")
            << QByteArray::fromStdString(bitmap.substr(0, 1000)) << QSize()
            << "claims 192 x 112 pixels at 1 bit, more than its 1000 bytes hold";
        std::string claims = bitmap; // 4000 x 4000 at 24 bits
        claims.replace(18, 12, std::string("\xa0\x0f\0\0\xa0\x0f\0\0\1\0\x18\0", 12));
        QTest::newRow("a screenshot's size claiming 4000 x 4000 pixels")
            << QByteArray::fromStdString(claims) << QSize()
            << "claims 4000 x 4000 pixels at 24 bits, more than its 2750 bytes hold";
        const QByteArray jpeg = test::EncodedPicture(test::OneGrey(64, 48, 90), "JPEG");
        QTest::newRow("a JPEG") << jpeg << QSize(64, 48) << "";
        QTest::newRow("a JPEG cut short") << jpeg.left(jpeg.size() - 100) << QSize() << "cut short";
        QTest::newRow("a picture of over 16 million pixels")
            << huge << QSize() << "too large (4001 x 4001 pixels)";
        // 26 bytes that decode to 2827 x 11308 pixels (128 MB); GIF states no size
        // before decoding. Found by fuzzing.
        QTest::newRow("a GIF of 32 million pixels, its size not stated up front")
            << QByteArray::fromBase64("R0lGODdhCwssLCwsLCwrAAAAAAAAACwAAA==") << QSize() << "";
    }

    void pictureLoaderReadsBitmapsAndRefusesTheRest() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const std::string path = dir.path().toStdString() + "/picture.bmp";
        std::ofstream(path, std::ios::binary) << bytes.toStdString();

        QtPictureLoader loader;
        std::string fromFile, fromBytes;
        const auto filePicture = loader.loadFile(path, fromFile);
        const auto bytesPicture = loader.loadBytes(bytes.toStdString(), fromBytes);
        QCOMPARE(filePicture.has_value(), size.isValid());
        QCOMPARE(bytesPicture.has_value(), size.isValid());
        if (size.isValid()) {
            QCOMPARE(ToImage(*filePicture).size(), size);
            QCOMPARE(ToImage(*bytesPicture), ToImage(*filePicture));
            return;
        }
        QVERIFY2(QString::fromStdString(fromFile).contains(reason), fromFile.c_str());
        QVERIFY2(QString::fromStdString(fromBytes).contains(reason), fromBytes.c_str());
    }

    // The true reason: no file, or a folder where a file was named. (What a
    // user may not read is tried from the command line, as another user.)
    void pictureLoaderSaysWhyThereIsNoPicture() {
        QtPictureLoader loader;
        QTemporaryDir dir;
        std::string whyNot;
        QVERIFY(!loader.loadFile("/nonexistent/picture.bmp", whyNot));
        QCOMPARE(whyNot, std::string("there is no such file"));
        QVERIFY(!loader.loadFile(dir.path().toStdString(), whyNot));
        QCOMPARE(whyNot, std::string("it is a folder, not a picture file"));
    }
};

KVD_REGISTER_TEST(QtDialogsTest)
#include "QtDialogsTest.moc"
