#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <set>

#include "capture/ClockTime.h"
#include "files/ScreenshotFolder.h"
#include "platform/Utf8Path.h"
#include "tests/support/FormRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::Decoded;
using test::FilesIn;
using test::ReadAll;
namespace fs = std::filesystem;

namespace {

using test::First;
using test::Second;
using test::Third;

// What a drag carries, by the kind of thing dragged.
QMimeData* Dragged(const QString& kind, const test::FormRig& rig) {
    auto* data = new QMimeData;
    const auto file = [&](const char* name) {
        return QUrl::fromLocalFile(QString::fromStdString(rig.path(name)));
    };
    if (kind == "bitmap")
        data->setUrls({file("dropped.bmp")});
    else if (kind == "text file")
        data->setUrls({file("notes.txt")});
    else if (kind == "two files")
        data->setUrls({file("dropped.bmp"), file("notes.txt")});
    else if (kind == "folder")
        data->setUrls({QUrl::fromLocalFile(rig.dir.path())});
    else if (kind == "web address")
        data->setUrls({QUrl(QStringLiteral("https://example.com/shot.bmp"))});
    else
        data->setText(QStringLiteral("some text"));
    return data;
}

} // namespace

class AtTheBenchTest : public QObject {
    Q_OBJECT

private slots:
    // Copy: nothing before the first picture; then the picture at the
    // instrument's own pixel size and the bitmap file's bytes, however asked for.
    void copyPutsTheShownPictureOnTheClipboard_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("Ctrl+C in the window") << "window" << false;
        QTest::newRow("Ctrl+C in the port box, its text selected") << "port box" << false;
        QTest::newRow("the picture's menu") << "menu" << false;
        QTest::newRow("a loaded picture") << "menu" << true;
    }

    void copyPutsTheShownPictureOnTheClipboard() {
        QFETCH(QString, how);
        QFETCH(bool, loaded);
        test::FormRig rig;
        rig.startUp();
        rig.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&rig.form));
        auto* copy = rig.form.findChild<QAction*>(QStringLiteral("copyAction"));
        QVERIFY(copy != nullptr);
        QVERIFY(!copy->isEnabled());
        QGuiApplication::clipboard()->clear();

        rig.tick(First);
        if (loaded) {
            test::WriteRaw(rig.path("loaded.bmp"), Second);
            rig.dialog.choices.push_back(rig.path("loaded.bmp"));
            QTest::mouseClick(rig.control<QPushButton>("Command2"), Qt::LeftButton);
            rig.settle();
        }
        QVERIFY(copy->isEnabled());
        auto* picture = rig.control<PictureControl>("Image1");
        if (how == "menu") {
            QCOMPARE(picture->contextMenuPolicy(), Qt::ActionsContextMenu);
            QVERIFY(picture->actions().contains(copy));
            QCOMPARE(copy->text(), QStringLiteral("Copy screenshot"));
            copy->trigger();
        } else {
            QWidget* focus = how == "window" ? static_cast<QWidget*>(picture)
                                             : rig.control<QComboBox>("Combo1")->lineEdit();
            focus->setFocus();
            rig.control<QComboBox>("Combo1")->lineEdit()->selectAll();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
        }

        const std::string& shot = loaded ? Second : First;
        const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
        QVERIFY(clip != nullptr && clip->hasImage());
        const QImage image = qvariant_cast<QImage>(clip->imageData());
        QCOMPARE(image.size(), Decoded(shot).size());
        QCOMPARE(image, Decoded(shot).convertToFormat(image.format()));
        const QByteArray file = clip->data(QStringLiteral("image/bmp"));
        if (loaded)
            QCOMPARE(QImage::fromData(file, "BMP"), image);
        else
            QVERIFY(file == test::AsBytes(shot));
    }

    // A single file dropped on the window is shown as "Load image" shows it; any
    // other drag is refused before it is dropped.
    void aDroppedFileIsShownLikeALoadedOne_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("said");
        QTest::newRow("a bitmap file") << "bitmap" << true << false;
        QTest::newRow("a text file") << "text file" << true << true;
        QTest::newRow("two files") << "two files" << false << false;
        QTest::newRow("a folder") << "folder" << false << false;
        QTest::newRow("a web address") << "web address" << false << false;
        QTest::newRow("a piece of text") << "text" << false << false;
    }

    void aDroppedFileIsShownLikeALoadedOne() {
        QFETCH(QString, kind);
        QFETCH(bool, accepted);
        QFETCH(bool, said);
        test::FormRig rig;
        rig.startUp();
        rig.tick(First);
        test::WriteRaw(rig.path("dropped.bmp"), Second);
        test::WriteRaw(rig.path("notes.txt"), "measurements, not a picture");
        const std::unique_ptr<QMimeData> data(Dragged(kind, rig));

        const QPoint inside(30, 30);
        QDragEnterEvent enter(inside, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&rig.form, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        if (!accepted)
            return;
        QDropEvent drop(QPointF(inside), Qt::CopyAction, data.get(), Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(&rig.form, &drop);
        QCoreApplication::processEvents();

        QCOMPARE(rig.shown(), Decoded(said ? First : Second));
        QVERIFY(!rig.control<QPushButton>("Command1")->isEnabled());
        QVERIFY(!rig.control<QCheckBox>("Check2")->isEnabled());
        QVERIFY(rig.form.session().currentScreenshot() == First); // what "Save image" would save
        QCOMPARE(rig.box.shown.size(), std::size_t(said ? 1 : 0));
        if (said)
            QVERIFY(rig.box.shown[0].text.starts_with(rig.path("notes.txt") +
                                                      " could not be loaded: "));
    }

    // "History...", by its key or from the picture's menu, lists every screenshot
    // of the session newest first, a block that is no bitmap marked as dropped,
    // and what arrives while it is open. What is selected saves (Ctrl+S) and
    // copies (Ctrl+C) byte for byte; a question that comes while its Save dialog
    // is open waits for the dialog to close. Escape closes it, and the selected
    // one shown large (Enter). Closing the main window closes both and lets the
    // port go: nothing is left running without it.
    void theHistoryWindowKeepsTheSession_data() {
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<bool>("closeMainWindow"); // at the end, rather than Escape
        QTest::newRow("Ctrl+H in the window") << true << false;
        QTest::newRow("the picture's menu") << false << false;
        QTest::newRow("the main window closed with History and \"Show large\" open")
            << true << true;
    }
    void theHistoryWindowKeepsTheSession() {
        QFETCH(bool, byKey);
        QFETCH(bool, closeMainWindow);
        test::FormRig rig;
        rig.startUp();
        rig.control<QCheckBox>("Check2")->click();
        const std::string unreadable = PlainFrame('\x7f');
        for (const std::string& block : {First, unreadable, Second})
            rig.tick(block);
        rig.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&rig.form));
        if (byKey)
            QTest::keyClick(&rig.form, Qt::Key_H, Qt::ControlModifier);
        else
            rig.control<QAction>("historyAction")->trigger();
        auto* history = rig.form.findChild<QWidget*>("historyWindow");
        QVERIFY(history != nullptr && history->isVisible());
        rig.tick(Third);

        auto* list = history->findChild<QListWidget*>("historyList");
        QCOMPARE(list->count(), 4);
        QVERIFY(list->item(2)->text().contains(
            "dropped: it starts like a screenshot but is not a readable bitmap"));
        QVERIFY(!list->item(1)->text().contains("dropped"));

        QVERIFY(QTest::qWaitForWindowActive(history));
        list->setFocus();
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->mimeData()->data("image/bmp") ==
                test::AsBytes(Second));
        QTest::keyClick(list, Qt::Key_Return);
        auto* large = history->findChild<QWidget*>("historyLarge");
        QVERIFY(large != nullptr && large->isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), large);
        QTest::keyClick(large, Qt::Key_Escape);
        QVERIFY(!large->isVisible());
        QVERIFY(history->isVisible());
        history->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), history);

        rig.control<QCheckBox>("Check2")->click(); // the next arrival asks
        rig.box.answers.push_back(DialogAnswer::No);
        rig.dialog.choices.push_back(rig.path("from-history.bmp"));
        rig.dialog.whileShown = [&] {
            rig.tick(test::TwoColourBitmap(504));
            QVERIFY(rig.box.shown.empty());
        };
        QTest::keyClick(list, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(ReadAll(rig.path("from-history.bmp")) == Second);
        rig.settle();
        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        QCOMPARE(list->count(), 5);

        // The whole session as one PDF, with the comment asked for.
        rig.input.answers = {"bench 3"};
        rig.exportDialog.choices = {rig.path("session.pdf")};
        for (QPushButton* button : history->findChildren<QPushButton*>())
            if (button->text() == "Export P&DF...")
                button->click();
        QCOMPARE(rig.input.title, std::string("Add comment to your PDF"));
        QVERIFY(ReadAll(rig.path("session.pdf")).starts_with("%PDF-"));
        if (!closeMainWindow) {
            QTest::keyClick(list, Qt::Key_Escape);
            QVERIFY(!history->isVisible());
            return;
        }
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(large->isVisible() && history->isVisible());
        QVERIFY(rig.form.close());
        QVERIFY(!large->isVisible());
        QVERIFY(!history->isVisible());
        QCOMPARE(rig.comm.state(), PortState::Closed);
    }

    // The list lets go of what the history lets go of, the oldest first.
    void theHistoryListKeepsToTheHistorysBound() {
        test::FormRig rig;
        rig.startUp();
        rig.control<QCheckBox>("Check2")->click();
        rig.control<QAction>("historyAction")->trigger();
        auto* list = rig.form.findChild<QListWidget*>("historyList");
        const int sent = int(SessionHistory::Capacity) + 2;
        for (int i = 0; i < sent; ++i)
            rig.tick(test::TwoColourBitmap(std::uint32_t(2000 + i)));
        QCOMPARE(list->count(), int(SessionHistory::Capacity));
        list->setCurrentRow(list->count() - 1);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->mimeData()->data("image/bmp") ==
                test::AsBytes(test::TwoColourBitmap(2002)));
    }

    // With a save folder, given at start (--save-dir) or chosen from the picture's
    // menu, every screenshot lands there byte for byte, named as the save folder
    // names it for the second it arrived in (its naming is tested there), and
    // none asks to be saved.
    void aSaveFolderKeepsEveryScreenshotWithoutAsking_data() {
        QTest::addColumn<bool>("fromMenu");
        QTest::newRow("given at start") << false;
        QTest::newRow("chosen from the picture's menu") << true;
    }
    void aSaveFolderKeepsEveryScreenshotWithoutAsking() {
        QFETCH(bool, fromMenu);
        test::FormRig rig;
        const fs::path folder = rig.path("shots");
        fs::create_directory(folder);
        if (fromMenu) {
            rig.dialog.choices.push_back(Utf8FromPath(folder));
            rig.form.findChild<QAction*>("saveToFolderAction")->trigger();
            QCOMPARE(rig.dialog.shown.back().title, std::string("Save every screenshot to folder"));
        } else {
            rig.form.SaveEveryScreenshotTo(folder);
        }
        QVERIFY(rig.form.windowTitle().endsWith(" - saving to " +
                                                QString::fromStdString(folder.string())));
        QVERIFY(rig.form.findChild<QAction*>("stopSavingAction")->isEnabled());
        rig.startUp();
        const std::time_t before = std::time(nullptr);
        for (const std::string& shot : {First, Second, Third})
            rig.tick(shot);
        const std::time_t after = std::time(nullptr);

        QVERIFY(rig.box.shown.empty());
        QVERIFY(!rig.form.session().currentUnsaved());
        std::set<std::string> names; // the names the folder gives in those seconds
        for (std::time_t second = before; second <= after; ++second)
            for (int nth = 1; nth <= 3; ++nth)
                names.insert(FolderFileName(LocalTime(second), nth));
        std::vector<std::string> contents;
        for (const std::string& name : FilesIn(folder)) { // in byte order
            QVERIFY2(names.count(name) == 1, name.c_str());
            contents.push_back(ReadAll(folder / name));
        }
        QVERIFY(contents == (std::vector<std::string>{First, Second, Third}));
    }

    // Cancelling the folder's dialog, or "Stop saving to folder", leaves (or puts)
    // the window back as it was: nothing lands in the folder, the arrival asks.
    void noSaveFolderAfterCancelOrStop_data() {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("the dialog cancelled") << false;
        QTest::newRow("chosen, then stopped") << true;
    }
    void noSaveFolderAfterCancelOrStop() {
        QFETCH(bool, chosen);
        test::FormRig rig;
        const QString caption = rig.form.windowTitle();
        const fs::path folder = rig.path("shots");
        fs::create_directory(folder);
        rig.dialog.choices.push_back(chosen ? std::optional(Utf8FromPath(folder)) : std::nullopt);
        rig.form.findChild<QAction*>("saveToFolderAction")->trigger();
        auto* stop = rig.form.findChild<QAction*>("stopSavingAction");
        QCOMPARE(stop->isEnabled(), chosen);
        if (chosen)
            stop->trigger();
        QVERIFY(!stop->isEnabled());
        QCOMPARE(rig.form.windowTitle(), caption);

        rig.startUp();
        rig.box.answers.push_back(DialogAnswer::No);
        rig.tick(First);
        rig.tick(Second);
        QVERIFY(FilesIn(folder).empty());
        QCOMPARE(rig.box.shown.size(), std::size_t(1));
        QCOMPARE(rig.box.shown[0].text, std::string("A new screenshot arrived, save current ?"));
    }
};

KVD_REGISTER_TEST(AtTheBenchTest)
#include "AtTheBenchTest.moc"
