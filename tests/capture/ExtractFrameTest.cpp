#include <QTest>

#include "capture/ExtractFrame.h"
#include "capture/ScreenshotFormat.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {

std::string AllByteValues(std::size_t length) {
    std::string body;
    for (std::size_t i = 0; i < length; ++i)
        body += static_cast<char>(i % 256);
    return body;
}

} // namespace

class ExtractFrameTest : public QObject {
    Q_OBJECT

private slots:
    void findsFrames_data() {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<int>("status");
        QTest::addColumn<qulonglong>("marker");
        QTest::addColumn<QByteArray>("frame");

        const std::string frame = PlainFrame();
        const auto row = [](const char* name, const std::string& buffer, FrameStatus status,
                            qulonglong marker, const std::string& expected) {
            QTest::newRow(name) << test::AsBytes(buffer) << int(status) << marker
                                << test::AsBytes(expected);
        };
        row("empty buffer", "", FrameStatus::NoMarker, 0, "");
        row("only B then M is a marker", "bm Bm bM B M MB" + std::string(2748, 'x'),
            FrameStatus::NoMarker, 0, "");
        row("one byte short", frame.substr(0, 2749), FrameStatus::Incomplete, 1, "");
        row("marker alone", "BM", FrameStatus::Incomplete, 1, "");
        row("marker split at the end", "noiseB", FrameStatus::NoMarker, 0, "");
        row("marker in the last two bytes", "noiseBM", FrameStatus::Incomplete, 6, "");
        row("a B just before the marker", "B" + frame, FrameStatus::Complete, 2, frame);
        row("noise before the frame", "abc" + frame, FrameStatus::Complete, 4, frame);
        row("bytes after the frame are not part of it", frame + "BMnext", FrameStatus::Complete, 1,
            frame);
        const std::string twoMarkers = "BM noise " + frame;
        row("the first of two markers wins", twoMarkers, FrameStatus::Complete, 1,
            twoMarkers.substr(0, ScreenshotSize));
        row("the first of two markers, short", "BM noise" + frame.substr(0, 2000),
            FrameStatus::Incomplete, 1, "");
        const std::string binary = "BM" + AllByteValues(2748);
        row("every byte value is carried through", std::string("\0\xff", 2) + binary,
            FrameStatus::Complete, 3, binary);
        row("B followed by a NUL then M", std::string("B\0M", 3) + frame, FrameStatus::Complete, 4,
            frame);
        row("marker far beyond 32767", std::string(40000, 'z') + frame, FrameStatus::Complete,
            40001, frame);
        const std::string bitmap = test::TwoColourBitmap(7);
        row("a real 192 x 112 bitmap is exactly one screenshot", bitmap, FrameStatus::Complete, 1,
            bitmap);
        row("a real bitmap after a broken one", bitmap.substr(0, 100) + bitmap,
            FrameStatus::Complete, 1, (bitmap.substr(0, 100) + bitmap).substr(0, ScreenshotSize));
    }

    void findsFrames() {
        QFETCH(QByteArray, buffer);
        QFETCH(int, status);
        QFETCH(qulonglong, marker);
        QFETCH(QByteArray, frame);

        const std::string received(buffer.constData(), std::size_t(buffer.size()));
        const Extraction result = ExtractFrame(received);
        QCOMPARE(int(result.status), status);
        QCOMPARE(qulonglong(result.markerPosition), marker);
        QCOMPARE(test::AsBytes(result.frame), frame);
    }
};

KVD_REGISTER_TEST(ExtractFrameTest)
#include "ExtractFrameTest.moc"
