#include <QTest>
#include <random>

#include "capture/ExtractFrame.h"
#include "capture/ScreenshotFormat.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {

// The reference: a byte-by-byte scan for the first 'B' directly followed by 'M'.
Extraction ReferenceExtract(const std::string& buffer) {
    Extraction expected;
    for (std::size_t i = 0; i + 1 < buffer.size(); ++i) {
        if (buffer[i] != 'B' || buffer[i + 1] != 'M')
            continue;
        expected.markerPosition = i + 1;
        if (buffer.size() - i >= ScreenshotSize) {
            expected.status = FrameStatus::Complete;
            for (std::size_t k = 0; k < ScreenshotSize; ++k)
                expected.frame += buffer[i + k];
        } else {
            expected.status = FrameStatus::Incomplete;
        }
        break;
    }
    return expected;
}

// A stream of bytes rich in near-markers (B, M, b, m), random bytes and whole
// frames with random bodies, as a noisy line could carry.
std::string RandomStream(std::mt19937& random) {
    std::string stream;
    const std::size_t length = random() % 12000;
    while (stream.size() < length) {
        switch (random() % 8) {
        case 0:
            stream += 'B';
            break;
        case 1:
            stream += 'M';
            break;
        case 2:
            stream += (random() % 2) ? 'b' : 'm';
            break;
        case 3:
            if (random() % 16 == 0) {
                stream += "BM";
                for (std::size_t k = 2; k < ScreenshotSize; ++k)
                    stream += static_cast<char>(random() & 0xFF);
            }
            break;
        default:
            stream += static_cast<char>(random() & 0xFF);
        }
    }
    return stream;
}

} // namespace

// Feeds random streams in random chunks, as the poll cycle would (the buffer is
// emptied after each complete frame), and compares every extraction against the
// reference scan.
class ExtractFrameModelTest : public QObject {
    Q_OBJECT

private slots:
    void agreesWithReferenceOnRandomStreams() {
        std::mt19937 random(20261207);
        std::size_t framesSeen = 0;
        for (int stream = 0; stream < 3000; ++stream) {
            const std::string bytes = RandomStream(random);
            std::string buffer;
            std::size_t at = 0;
            while (at < bytes.size()) {
                const std::size_t chunk = 1 + random() % 3000;
                buffer += bytes.substr(at, chunk);
                at += chunk;
                const Extraction actual = ExtractFrame(buffer);
                const Extraction expected = ReferenceExtract(buffer);
                QCOMPARE(actual.status, expected.status);
                QCOMPARE(actual.markerPosition, expected.markerPosition);
                QVERIFY2(actual.frame == expected.frame, qPrintable(QString::number(stream)));
                if (actual.status == FrameStatus::Complete) {
                    ++framesSeen;
                    buffer.clear();
                }
            }
        }
        // The streams must exercise completions, not only misses.
        QVERIFY(framesSeen > 500);
    }
};

KVD_REGISTER_TEST(ExtractFrameModelTest)
#include "ExtractFrameModelTest.moc"
