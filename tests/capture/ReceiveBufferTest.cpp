#include <QTest>
#include <random>
#include <set>

#include "capture/ReceiveBuffer.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;

// A block of a screenshot's size whose header fits, but that the reader refuses.
const std::string DoesNotRead = [] {
    std::string block = test::TwoColourBitmap(11);
    block.replace(54, 8, "refused!");
    return block;
}();

// A whole screenshot whose last bytes are the marker and all but the last byte
// of the file size: too little to tell the start of another.
const std::string EndsLikeAHeader = [] {
    std::string shot = test::TwoColourBitmap(12);
    shot.replace(ScreenshotSize - 5, 5, ScreenshotHeader.substr(0, 5));
    return shot;
}();

class ReceiveBufferTest : public QObject {
    Q_OBJECT

private slots:
    void boundsTheReceiveBuffer_data() {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<QByteArray>("kept");

        const std::string frame = test::TwoColourBitmap(2);
        const std::string noise(MaxMarkerPosition, 'n');
        const auto row = [](const char* name, const std::string& buffer, const std::string& kept) {
            QTest::newRow(name) << test::AsBytes(buffer) << test::AsBytes(kept);
        };
        row("empty", "", "");
        row("short noise is kept", "noise", "noise");
        row("noise up to the limit is kept", noise, noise);
        row("noise past the limit is dropped", noise + "x", "");
        row("a last B is kept", noise + "xB", "B");
        row("a last M is not", noise + "BxM", "");
        row("a marker at the limit keeps everything", noise.substr(1) + "BM" + "abc",
            noise.substr(1) + "BMabc");
        row("a marker past the limit drops what is before it", noise + "BM" + "abc", "BMabc");
        row("a marker far past the limit", noise + noise + frame.substr(0, 100),
            frame.substr(0, 100));
        row("a partial frame is kept whole", "xy" + frame.substr(0, 2749),
            "xy" + frame.substr(0, 2749));
        row("a marker past the limit, then a whole frame and more", noise + frame + "tail",
            frame + "tail");
    }

    void boundsTheReceiveBuffer() {
        QFETCH(QByteArray, buffer);
        QFETCH(QByteArray, kept);
        std::string received(buffer.constData(), std::size_t(buffer.size()));
        BoundReceiveBuffer(received);
        QCOMPARE(test::AsBytes(received), kept);
    }

    // Reads as the port delivers them, one tick each: every whole screenshot is
    // cut in order, and what follows the last one waits for the rest of it.
    void cutsEveryWholeScreenshotInOrder_data() {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QByteArray>("rest");
        QTest::addColumn<int>("marker");

        const std::string a = test::TwoColourBitmap(8), b = test::TwoColourBitmap(9),
                          c = test::TwoColourBitmap(10);
        const std::string three = a + b + c;
        using test::AsBytes;
        QTest::newRow("nothing yet")
            << QList<QByteArray>{""} << QList<QByteArray>{} << QByteArray() << 0;
        QTest::newRow("split over two reads, noise first")
            << QList{AsBytes("zz" + a.substr(0, 1500)), AsBytes(a.substr(1500))}
            << QList{AsBytes(a)} << QByteArray() << 3;
        QTest::newRow("one byte short") << QList{AsBytes(a.substr(0, 2749))} << QList<QByteArray>{}
                                        << AsBytes(a.substr(0, 2749)) << 1;
        QTest::newRow("a screenshot and the start of the next in one read")
            << QList{AsBytes(a + b.substr(0, 1000))} << QList{AsBytes(a)}
            << AsBytes(b.substr(0, 1000)) << 1;
        QTest::newRow("three back to back, read at a tick's pace")
            << QList{AsBytes(three.substr(0, 2880)), AsBytes(three.substr(2880, 2880)),
                     AsBytes(three.substr(5760))}
            << QList{AsBytes(a), AsBytes(b), AsBytes(c)} << QByteArray() << 1;
        QTest::newRow("noise between two in one read")
            << QList{AsBytes("ab" + a + std::string("\xff\x00noise", 7) + b)}
            << QList{AsBytes(a), AsBytes(b)} << QByteArray() << 8;
        // A "BM" in line noise makes a block whose header claims no picture that
        // fits: it is cut, to be dropped as unreadable, up to the screenshot that
        // starts inside it, which is still found. Markers within the noise are
        // not cut again.
        std::mt19937 generator(31);
        QList<QByteArray> reads, frames;
        for (const std::string& shot : {a, b, c, a, b}) {
            std::string noise = "xxBM";
            while (noise.size() < 104)
                noise += char('a' + generator() % 26); // no "BM" in it
            reads << AsBytes(noise + shot.substr(0, 1000)) << AsBytes(shot.substr(1000));
            frames << AsBytes(noise.substr(2)) << AsBytes(shot);
        }
        QTest::newRow("a stray marker before each of five") << reads << frames << QByteArray() << 1;
        std::string markers = "BM";
        while (markers.size() < 300)
            markers += "zzBMzz";
        QTest::newRow("a block whose header fits but that does not read")
            << QList{AsBytes(DoesNotRead + b)} << QList{AsBytes(DoesNotRead), AsBytes(b)}
            << QByteArray() << 1;
        // The noise's block ends with the screenshot's first byte, and the read
        // with it: that "B" waits for the rest of the marker.
        const std::string stray = "BM" + std::string(ScreenshotSize - 3, 'z') + a.substr(0, 1);
        QTest::newRow("a stray marker whose block ends with the next one's B")
            << QList{AsBytes(stray), AsBytes(a.substr(1))} << QList{AsBytes(stray), AsBytes(a)}
            << QByteArray() << 1;
        QTest::newRow("markers in noise are one unreadable block")
            << QList{AsBytes(markers + a)} << QList{AsBytes(markers), AsBytes(a)} << QByteArray()
            << 1;
        // Bytes the line lost without a word: the block cut at the damaged
        // one's marker holds the next one's header past its start. It ends
        // there, to be dropped as unreadable, and the next is cut whole.
        const auto lose = [](std::string shot, std::size_t at, std::size_t length) {
            return shot.erase(at, length);
        };
        const auto lost = [&](const char* name, const std::string& damaged) {
            QTest::newRow(name) << QList{AsBytes(damaged + b + c)}
                                << QList{AsBytes(damaged), AsBytes(b), AsBytes(c)} << QByteArray()
                                << 1;
        };
        lost("100 bytes lost at the pixels' start", lose(a, 62, 100));
        lost("100 bytes lost mid-way", lose(a, 1400, 100));
        lost("the last 100 bytes lost", lose(a, 2650, 100));
        lost("one byte lost", lose(a, 1400, 1));
        lost("the header's sizes lost", lose(a, 2, 10));
        lost("the palette lost", lose(a, 46, 16)); // its header still fits
        lost("bytes lost in three places", lose(lose(lose(a, 2000, 7), 900, 300), 20, 4));
        QTest::newRow("the marker lost: the rest is noise")
            << QList{AsBytes(lose(a, 0, 2) + b + c)} << QList{AsBytes(b), AsBytes(c)}
            << QByteArray() << 1;
        QTest::newRow("two losses in a row")
            << QList{AsBytes(lose(a, 1400, 100) + lose(b, 30, 250) + c)}
            << QList{AsBytes(lose(a, 1400, 100)), AsBytes(lose(b, 30, 250)), AsBytes(c)}
            << QByteArray() << 1;
        // The read ends where the damaged block does: the marker and the file
        // size tell that the next starts there, and less does not.
        QTest::newRow("six bytes lost, the read ending with the block")
            << QList{AsBytes(lose(a, 1400, 6) + b.substr(0, 6)), AsBytes(b.substr(6))}
            << QList{AsBytes(lose(a, 1400, 6)), AsBytes(b)} << QByteArray() << 1;
        QTest::newRow("a whole one ending like a header's start")
            << QList{AsBytes(EndsLikeAHeader), AsBytes(b)}
            << QList{AsBytes(EndsLikeAHeader), AsBytes(b)} << QByteArray() << 1;
        // A line that never stops sending noise: the buffer stays bounded, a
        // last "B" kept for the marker it may start.
        QList<QByteArray> endless;
        for (int tick = 0; tick < 11; ++tick)
            endless << AsBytes(std::string(2880, char('a' + tick)) + (tick % 3 ? "B" : "M"));
        QTest::newRow("endless noise") << endless << QList<QByteArray>{} << QByteArray("B") << 0;
    }

    void cutsEveryWholeScreenshotInOrder() {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QByteArray, rest);
        QFETCH(int, marker);
        test::FakeSerialPort comm;
        comm.present = {1};
        comm.setPort(PortAddress::number(1));
        QVERIFY(comm.open().ok());
        CaptureState state;
        WaitingArrivals waiting;
        // The picture reader, as far as these blocks go: a block whose header
        // fits reads, as a damaged screenshot does (its pixels shifted), but for
        // the one that does not.
        const auto reader = [&](std::string_view block, std::string& whyNot) {
            if (block != DoesNotRead)
                return std::optional<Picture>(Picture{});
            whyNot = "not a picture";
            return std::optional<Picture>();
        };
        for (const QByteArray& read : reads) {
            comm.arrive(read.toStdString());
            DrainPort(state, comm);
            CutScreenshots(state, waiting, 0, reader);
        }
        // Whole screenshots are kept, and every other block is dropped.
        const std::set<std::string> whole{test::TwoColourBitmap(8), test::TwoColourBitmap(9),
                                          test::TwoColourBitmap(10), EndsLikeAHeader};
        QList<QByteArray> cut;
        while (auto frame = waiting.next()) {
            cut << test::AsBytes(frame->bytes);
            QCOMPARE(frame->kind == Arrival::Kind::Screenshot, whole.count(frame->bytes) == 1);
        }
        QCOMPARE(cut, frames);
        QCOMPARE(test::AsBytes(state.ReceiveBuffer), rest);
        QCOMPARE(state.MarkerPosition, std::int16_t(marker));
        QVERIFY(comm.waiting.empty());
    }

    // What waits comes out in arrival order; past the bound the oldest blocks
    // from the line are dropped, and that is said first. A picture file asked
    // for is never dropped; one put back is the next again.
    void arrivalsKeepOrderAndBound() {
        using Kind = Arrival::Kind;
        WaitingArrivals waiting;
        waiting.add({.kind = Kind::PictureFile, .path = "picked.bmp"});
        waiting.add({.kind = Kind::Unreadable, .bytes = "BMnoise"});
        for (std::size_t i = 0; i < WaitingArrivals::Capacity + 2; ++i)
            waiting.add({.kind = Kind::Screenshot, .bytes = std::to_string(i)});
        QCOMPARE(waiting.count(), WaitingArrivals::Capacity);
        QCOMPARE(waiting.count(Kind::Screenshot), WaitingArrivals::Capacity - 1);
        const std::optional<Arrival> notice = waiting.next();
        QVERIFY(notice && notice->kind == Kind::Dropped);
        QCOMPARE(notice->dropped, std::size_t(4));
        QCOMPARE(waiting.next()->path, std::string("picked.bmp"));
        // One put back is the next again, and the oldest when one more comes.
        waiting.add({.kind = Kind::Screenshot, .bytes = "last"});
        waiting.putBack(*waiting.next());
        QCOMPARE(waiting.count(), WaitingArrivals::Capacity);
        waiting.add({.kind = Kind::Screenshot, .bytes = "after it"});
        QCOMPARE(waiting.next()->dropped, std::size_t(1));
        for (std::size_t i = 4; i < WaitingArrivals::Capacity + 2; ++i)
            QCOMPARE(waiting.next()->bytes, std::to_string(i));
        QCOMPARE(waiting.next()->bytes, std::string("last"));
        QCOMPARE(waiting.next()->bytes, std::string("after it"));
        QVERIFY(!waiting.next());
    }
};

KVD_REGISTER_TEST(ReceiveBufferTest)
#include "ReceiveBufferTest.moc"
