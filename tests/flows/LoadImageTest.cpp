#include <QTest>
#include <fstream>

#include "flows/LoadImage.h"
#include "tests/support/SessionRig.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestMain.h"

using namespace kvd;

class LoadImageTest : public QObject {
    Q_OBJECT

private slots:
    void loadsAndShowsAPicture_data() {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("message");

        const QByteArray bitmap = QByteArray::fromStdString(test::TwoColourBitmap(31));
        QTest::newRow("a saved screenshot") << "shot.bmp" << bitmap << true << "";
        QTest::newRow("a file that is no picture")
            << "notes.bmp" << QByteArray("plain text") << false
            << "notes.bmp could not be loaded: it is not a picture.";
        QTest::newRow("a file that has gone")
            << "gone.bmp" << QByteArray() << false
            << "gone.bmp could not be loaded: there is no such file.";
        QTest::newRow("Cancel") << "" << QByteArray() << false << "";
    }

    void loadsAndShowsAPicture() {
        QFETCH(QString, choice);
        QFETCH(QByteArray, content);
        QFETCH(bool, shown);
        QFETCH(QString, message);

        test::SessionRig rig;
        const std::string path = rig.path(choice.toStdString());
        if (!content.isEmpty())
            std::ofstream(path, std::ios::binary) << content.toStdString();
        rig.dialog.choices.push_back(choice.isEmpty() ? std::nullopt : std::optional(path));
        rig.view.saveEnabled = rig.view.disableSaveEnabled = true;
        rig.dialog.setTitle("Save current screenshot as"); // as "Save image" left it

        OnLoadImageClicked(rig.pump, rig.services, rig.view);
        rig.runLater();

        QVERIFY(!rig.view.saveEnabled);
        QVERIFY(!rig.view.disableSaveEnabled);
        QCOMPARE(rig.dialog.shown.size(), std::size_t(1));
        QVERIFY(!rig.dialog.shown[0].saving);
        QCOMPARE(rig.dialog.shown[0].title, std::string("Load image"));
        // Screenshots are offered first, and any picture the program reads too.
        const std::string& filter = rig.dialog.shown[0].filter;
        QVERIFY2(filter.starts_with("KVD62 screenshots (*.bmp)|*.bmp|") &&
                     filter.find("*.png") != std::string::npos &&
                     filter.find("*.jpg") != std::string::npos,
                 filter.c_str());
        QCOMPARE(rig.view.picture.has_value(), shown);
        QCOMPARE(rig.session.shown().kind == ShownPicture::Kind::PictureFile, shown);
        if (shown)
            QCOMPARE(std::any_cast<std::string>(rig.view.picture->image), content.toStdString());
        if (message.isEmpty()) {
            QVERIFY(rig.box.shown.empty());
        } else {
            QCOMPARE(rig.box.shown.size(), std::size_t(1));
            QCOMPARE(rig.box.shown[0].text, rig.path(message.toStdString()));
            QCOMPARE(rig.box.shown[0].title, std::string("Load image"));
        }
    }
};

KVD_REGISTER_TEST(LoadImageTest)
#include "LoadImageTest.moc"
