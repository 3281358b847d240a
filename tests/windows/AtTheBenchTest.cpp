#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "platform/Utf8Path.h"
#include "tests/support/FormRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::Decoded;
using test::FilesIn;
using test::First;
using test::ReadAll;
using test::Second;
using test::Third;
namespace fs = std::filesystem;

class AtTheBenchTest : public QObject {
    Q_OBJECT

private slots:
    // Copy: nothing before the first picture; then the picture at its own pixel
    // size and the bitmap file's bytes, however asked for.
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
        auto* copy = rig.control<QAction>("copyAction");
        QVERIFY(copy != nullptr && !copy->isEnabled());
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
        QCOMPARE(image, Decoded(shot).convertToFormat(image.format()));
        const QByteArray file = clip->data(QStringLiteral("image/bmp"));
        if (loaded)
            QCOMPARE(QImage::fromData(file, "BMP"), image);
        else
            QVERIFY(file == test::AsBytes(shot));
    }

    // A single file dropped, whatever its name, is shown as "Load image" shows it;
    // any other drag is refused. Rows name the rig's files, a web address, or none.
    void aDroppedFileIsShownLikeALoadedOne_data() {
        QTest::addColumn<QStringList>("dragged");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("a bitmap file") << QStringList{"dropped.bmp"} << true;
        QTest::newRow("a text file") << QStringList{"notes.txt"} << true;
        QTest::newRow("two files") << QStringList{"dropped.bmp", "notes.txt"} << false;
        QTest::newRow("a folder") << QStringList{"."} << false;
        QTest::newRow("a web address") << QStringList{"https://example.com/shot.bmp"} << false;
        QTest::newRow("a piece of text") << QStringList{} << false;
    }

    void aDroppedFileIsShownLikeALoadedOne() {
        QFETCH(QStringList, dragged);
        QFETCH(bool, accepted);
        test::FormRig rig;
        rig.startUp();
        rig.tick(First);
        test::WriteRaw(rig.path("dropped.bmp"), Second);
        test::WriteRaw(rig.path("notes.txt"), "measurements, not a picture");
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& name : dragged)
            urls << (name.contains("://") ? QUrl(name)
                                          : QUrl::fromLocalFile(rig.dir.filePath(name)));
        if (urls.isEmpty())
            data.setText(QStringLiteral("some text"));
        else
            data.setUrls(urls);

        const QPoint inside(30, 30);
        QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&rig.form, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        if (!accepted)
            return;
        QDropEvent drop(QPointF(inside), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&rig.form, &drop);
        QCoreApplication::processEvents();
        const bool picture = dragged == QStringList{"dropped.bmp"};
        QCOMPARE(rig.shown(), Decoded(picture ? Second : First));
        QCOMPARE(rig.box.shown.size(), std::size_t(picture ? 0 : 1));
    }

    // "History...", by key or menu, lists the session newest first, dropped
    // blocks marked, and keeps up while open. The selected one copies, saves and
    // shows large; Escape closes each. Closing the main window closes both and
    // lets the port go.
    void theHistoryWindowKeepsTheSession_data() {
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<bool>("closeMainWindow"); // at the end, rather than Escape
        QTest::newRow("the picture's menu") << false << false;
        QTest::newRow("Ctrl+H, then the main window closed with History and \"Show large\" open")
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

        rig.dialog.choices.push_back(rig.path("from-history.bmp"));
        QTest::keyClick(list, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(ReadAll(rig.path("from-history.bmp")) == Second);

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
        QVERIFY(!large->isVisible() && !history->isVisible());
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

    // With a save folder chosen, every screenshot lands there and none asks to be
    // saved (what is written, and as what, is the flows'). The dialog cancelled, or "Stop saving to
    // folder", leaves (or puts) the window back as it was: nothing lands there.
    void aSaveFolderKeepsEveryScreenshotWithoutAsking_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("saving");
        QTest::newRow("chosen from the picture's menu") << "menu" << true;
        QTest::newRow("the dialog cancelled") << "cancel" << false;
        QTest::newRow("chosen, then stopped") << "stop" << false;
    }
    void aSaveFolderKeepsEveryScreenshotWithoutAsking() {
        QFETCH(QString, how);
        QFETCH(bool, saving);
        test::FormRig rig;
        const QString caption = rig.form.windowTitle();
        const fs::path folder = rig.path("shots");
        fs::create_directory(folder);
        auto* stop = rig.form.findChild<QAction*>("stopSavingAction");
        rig.dialog.choices.push_back(how == "cancel" ? std::nullopt
                                                     : std::optional(Utf8FromPath(folder)));
        rig.form.findChild<QAction*>("saveToFolderAction")->trigger();
        QCOMPARE(rig.dialog.shown.back().title, std::string("Save every screenshot to folder"));
        if (how == "stop") {
            QVERIFY(stop->isEnabled());
            stop->trigger();
        }
        QCOMPARE(stop->isEnabled(), saving);
        QCOMPARE(rig.form.windowTitle(),
                 caption + (saving ? " - saving to " + QString::fromStdString(folder.string())
                                   : QString()));

        rig.startUp();
        rig.box.answers.push_back(DialogAnswer::No);
        for (const std::string& shot : {First, Second, Third})
            rig.tick(shot);
        QCOMPARE(rig.box.shown.size(), std::size_t(saving ? 0 : 2));
        QCOMPARE(rig.form.session().currentUnsaved(), !saving);
        QCOMPARE(FilesIn(folder).size(), std::size_t(saving ? 3 : 0));
    }
};

KVD_REGISTER_TEST(AtTheBenchTest)
#include "AtTheBenchTest.moc"
