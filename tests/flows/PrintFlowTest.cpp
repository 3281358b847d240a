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

        QTest::newRow("the default comment") << "KVD62 screenshot"
                                             << "" << 1 << "";
        QTest::newRow("a comment of one's own") << "bench 4, probe B"
                                                << "" << 1 << "";
        QTest::newRow("Cancel prints nothing") << "<cancel>"
                                               << "" << 0 << "";
        QTest::newRow("an emptied comment prints nothing") << ""
                                                           << "" << 0 << "";
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
        test::FakeInputBox& input = fakes.input;
        test::FakeFormPrinter& printer = fakes.printer;
        test::FakeMessageBox& box = fakes.box;
        if (answer != "<cancel>")
            input.answers.push_back(answer.toStdString());
        if (!failure.isEmpty())
            printer.failure = failure.toStdString();
        PrintScreenshot(Picture{std::string("the shown picture"), 1, 1}, fakes.services);

        QCOMPARE(input.prompt, std::string("Comment:"));
        QCOMPARE(input.title, std::string("Add comment to your print"));
        QCOMPARE(input.defaultText, std::string("KVD62 screenshot"));
        QCOMPARE(printer.printed, printed);
        QCOMPARE(printer.picture.has_value(), printed > 0 || !failure.isEmpty());
        if (printer.picture) {
            QCOMPARE(std::any_cast<std::string>(printer.picture->image),
                     std::string("the shown picture"));
            QCOMPARE(printer.comment, answer.toStdString());
        }
        QCOMPARE(box.shown.size(), std::size_t(said.isEmpty() ? 0 : 1));
        if (!said.isEmpty()) {
            QVERIFY(box.shown[0].text.find(said.toStdString()) == 0);
            QCOMPARE(box.shown[0].title, std::string("Print Image"));
        }
    }
};

KVD_REGISTER_TEST(PrintFlowTest)
#include "PrintFlowTest.moc"
