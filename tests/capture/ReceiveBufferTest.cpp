#include <QTest>
#include <random>
#include <set>

#include "capture/ReceiveBuffer.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using Strings = std::vector<std::string>;

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
    // Reads as the port delivers them, one tick each: every whole screenshot is
    // cut in order, and what follows the last one waits for the rest of it.
    void cutsEveryWholeScreenshotInOrder_data() {
        QTest::addColumn<Strings>("reads");
        QTest::addColumn<Strings>("frames");
        QTest::addColumn<std::string>("rest");
        QTest::addColumn<int>("marker");

        // Most leave nothing behind, the last marker found at the buffer's start.
        const auto row = [&](const char* name, const Strings& reads, const Strings& frames,
                             const std::string& rest = "", int marker = 1) {
            QTest::newRow(name) << reads << frames << rest << marker;
        };
        const std::string a = test::TwoColourBitmap(8), b = test::TwoColourBitmap(9),
                          c = test::TwoColourBitmap(10);
        const std::string three = a + b + c;
        row("nothing yet", {""}, {}, "", 0);
        // The buffer stays bounded whatever the line sends, but keeps all that a
        // screenshot it may still hold needs.
        const std::string noise(MaxMarkerPosition, 'n');
        row("noise up to the limit is kept", {noise}, {}, noise, 0);
        row("a last M is not", {noise + "BxM"}, {}, "", 0);
        row("a marker at the limit keeps everything", {noise.substr(1) + "BMabc"}, {},
            noise.substr(1) + "BMabc", int(MaxMarkerPosition));
        row("a marker far past the limit: what is before it goes", {noise + noise + "BMabc"}, {},
            "BMabc");
        row("a marker just past the limit, then a whole one and more", {noise + a + "tail"}, {a},
            "tail");
        row("split over two reads, noise first", {"zz" + a.substr(0, 1500), a.substr(1500)}, {a},
            "", 3);
        row("one byte short", {a.substr(0, 2749)}, {}, a.substr(0, 2749));
        row("a screenshot and the start of the next in one read", {a + b.substr(0, 1000)}, {a},
            b.substr(0, 1000));
        row("three back to back, read at a tick's pace",
            {three.substr(0, 2880), three.substr(2880, 2880), three.substr(5760)}, {a, b, c});
        row("noise between two in one read", {"ab" + a + std::string("\xff\x00noise", 7) + b},
            {a, b}, "", 8);
        // A "BM" in line noise makes a block whose header claims no picture that
        // fits: it is cut, to be dropped as unreadable, up to the screenshot that
        // starts inside it, which is still found. Markers within the noise are
        // not cut again.
        std::mt19937 generator(31);
        Strings reads, frames;
        for (const std::string& shot : {a, b, c, a, b}) {
            std::string stray = "xxBM";
            while (stray.size() < 104)
                stray += char('a' + generator() % 26); // no "BM" in it
            reads.insert(reads.end(), {stray + shot.substr(0, 1000), shot.substr(1000)});
            frames.insert(frames.end(), {stray.substr(2), shot});
        }
        row("a stray marker before each of five", reads, frames);
        row("a block whose header fits but that does not read", {DoesNotRead + b},
            {DoesNotRead, b});
        // The noise's block ends with the screenshot's first byte, and the read
        // with it: that "B" waits for the rest of the marker.
        const std::string stray = "BM" + std::string(ScreenshotSize - 3, 'z') + a.substr(0, 1);
        row("a stray marker whose block ends with the next one's B", {stray, a.substr(1)},
            {stray, a});
        std::string markers = "BM";
        while (markers.size() < 300)
            markers += "zzBMzz";
        row("markers in noise are one unreadable block", {markers + a}, {markers, a});
        // Bytes the line lost without a word: the block cut at the damaged
        // one's marker holds the next one's header past its start. It ends
        // there, to be dropped as unreadable, and the next is cut whole.
        const auto lose = [](std::string shot, std::size_t at, std::size_t length) {
            return shot.erase(at, length);
        };
        const auto lost = [&](const char* name, const std::string& damaged) {
            row(name, {damaged + b + c}, {damaged, b, c});
        };
        lost("100 bytes lost at the pixels' start", lose(a, 62, 100));
        lost("the last 100 bytes lost", lose(a, 2650, 100));
        lost("one byte lost", lose(a, 1400, 1));
        lost("the header's sizes lost", lose(a, 2, 10));
        lost("the palette lost", lose(a, 46, 16)); // its header still fits
        lost("bytes lost in three places", lose(lose(lose(a, 2000, 7), 900, 300), 20, 4));
        row("the marker lost: the rest is noise", {lose(a, 0, 2) + b + c}, {b, c});
        row("two losses in a row", {lose(a, 1400, 100) + lose(b, 30, 250) + c},
            {lose(a, 1400, 100), lose(b, 30, 250), c});
        // The read ends where the damaged block does: the marker and the file
        // size tell that the next starts there, and less does not.
        row("six bytes lost, the read ending with the block",
            {lose(a, 1400, 6) + b.substr(0, 6), b.substr(6)}, {lose(a, 1400, 6), b});
        row("a whole one ending like a header's start", {EndsLikeAHeader, b}, {EndsLikeAHeader, b});
        // A line that never stops sending noise: the buffer stays bounded, a
        // last "B" kept for the marker it may start.
        Strings endless;
        for (int tick = 0; tick < 11; ++tick)
            endless.push_back(std::string(2880, char('a' + tick)) + (tick % 3 ? "B" : "M"));
        row("endless noise", endless, {}, "B", 0);
    }

    void cutsEveryWholeScreenshotInOrder() {
        QFETCH(Strings, reads);
        QFETCH(Strings, frames);
        QFETCH(std::string, rest);
        QFETCH(int, marker);
        test::FakeSerialPort comm;
        comm.present = {1};
        comm.setPort(PortAddress::number(1));
        QVERIFY(comm.open().ok());
        CaptureState state;
        WaitingArrivals waiting;
        // Any block whose header fits reads, as a damaged screenshot does, but one.
        const auto reader = [&](std::string_view block, std::string& whyNot) {
            if (block != DoesNotRead)
                return std::optional<Picture>(Picture{});
            whyNot = "not a picture";
            return std::optional<Picture>();
        };
        for (const std::string& read : reads) {
            comm.arrive(read);
            DrainPort(state, comm);
            CutScreenshots(state, waiting, 0, reader);
        }
        // Whole screenshots are kept, and every other block is dropped.
        const std::set<std::string> whole{test::TwoColourBitmap(8), test::TwoColourBitmap(9),
                                          test::TwoColourBitmap(10), EndsLikeAHeader};
        Strings cut;
        while (auto frame = waiting.next()) {
            cut.push_back(frame->bytes);
            QCOMPARE(frame->kind == Arrival::Kind::Screenshot, whole.count(frame->bytes) == 1);
        }
        QCOMPARE(cut, frames);
        QCOMPARE(state.ReceiveBuffer, rest);
        QCOMPARE(state.MarkerPosition, std::int16_t(marker));
        QVERIFY(comm.waiting.empty());
    }

    // What waits comes out in arrival order; past the bound the oldest blocks
    // from the line are dropped, and that is said first. A picture file asked
    // for is never dropped; one put back is the next again, and the first dropped.
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
