#include <QTest>

#include "capture/SessionHistory.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestMain.h"

using namespace kvd;

class SessionHistoryTest : public QObject {
    Q_OBJECT

private slots:
    // What the History window offers for its current entry: a dropped block's
    // bytes can be saved, but it has no picture to copy, print or show large;
    // the exports need only something in the history.
    void whatCanBeDoneWithTheCurrentEntry_data() {
        QTest::addColumn<QString>("history");
        QTest::addColumn<int>("current");
        QTest::addColumn<QList<bool>>("offered"); // save, copy, print, show large, export
        QTest::newRow("empty") << "" << -1 << QList<bool>{false, false, false, false, false};
        QTest::newRow("a screenshot") << "s" << 0 << QList<bool>{true, true, true, true, true};
        QTest::newRow("a dropped block")
            << "sd" << 0 << QList<bool>{true, false, false, false, true};
        QTest::newRow("nothing current")
            << "sd" << -1 << QList<bool>{false, false, false, false, true};
    }

    void whatCanBeDoneWithTheCurrentEntry() {
        QFETCH(QString, history);
        QFETCH(int, current);
        QFETCH(QList<bool>, offered);
        SessionHistory kept;
        for (const QChar kind : history)
            kept.add(test::TwoColourBitmap(), 0, kind == 'd' ? "was cut short" : "");
        const HistoryActions actions =
            kept.actionsFor(current < 0 ? nullptr : &kept.at(std::size_t(current)));
        QCOMPARE((QList<bool>{actions.save, actions.copy, actions.print, actions.showLarge,
                              actions.exportAny}),
                 offered);
    }
};

KVD_REGISTER_TEST(SessionHistoryTest)
#include "SessionHistoryTest.moc"
