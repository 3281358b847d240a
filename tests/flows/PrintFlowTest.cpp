#include <QTest>

#include "flows/PrintFlow.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestMain.h"

using namespace kvd;

class PrintFlowTest : public QObject {
    Q_OBJECT

private slots:
    // "Print Image" asks for a comment and prints the picture with it; Cancel, or
    // a comment emptied, prints nothing, and a print that fails is said.
    void printsThePictureWithTheComment_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("printed");
        QTest::addColumn<QString>("said");

        const QString none;
        QTest::newRow("a comment") << "bench 4, probe B" << none << 1 << none;
        QTest::newRow("Cancel prints nothing") << "<cancel>" << none << 0 << none;
        QTest::newRow("an emptied comment prints nothing") << "" << none << 0 << none;
        QTest::newRow("no printer")
            << "KVD62 screenshot"
            << "there is no default printer" << 0
            << "The screenshot was not printed: there is no default printer.";
    }

    void printsThePictureWithTheComment() {
        QFETCH(QString, answer);
        QFETCH(QString, failure);
        QFETCH(int, printed);
        QFETCH(QString, said);

        test::FakeServices fakes;
        if (answer != "<cancel>")
            fakes.input.answers.push_back(answer.toStdString());
        if (!failure.isEmpty())
            fakes.printer.failure = failure.toStdString();
        PrintScreenshot(Picture{std::string("the shown picture"), 1, 1}, fakes.services);

        QCOMPARE(fakes.input.prompt, std::string("Comment:"));
        QCOMPARE(fakes.input.title, std::string("Add comment to your print"));
        QCOMPARE(fakes.input.defaultText, std::string("KVD62 screenshot"));
        QCOMPARE(fakes.printer.printed, printed);
        QCOMPARE(fakes.printer.picture.has_value(), printed > 0 || !failure.isEmpty());
        if (fakes.printer.picture) {
            QCOMPARE(std::any_cast<std::string>(fakes.printer.picture->image),
                     std::string("the shown picture"));
            QCOMPARE(fakes.printer.comment, answer.toStdString());
        }
        QCOMPARE(fakes.box.shown.size(), std::size_t(said.isEmpty() ? 0 : 1));
        if (!said.isEmpty()) {
            QVERIFY(fakes.box.shown[0].text.find(said.toStdString()) == 0);
            QCOMPARE(fakes.box.shown[0].title, std::string("Print Image"));
        }
    }
};

KVD_REGISTER_TEST(PrintFlowTest)
#include "PrintFlowTest.moc"
