#include "platform/qt/QtPictureLoader.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/PictureBytes.h"
#include "platform/ReadFileBytes.h"
#include "platform/RunLengthBitmap.h"

namespace kvd {

namespace {

// Larger than any picture file within MaxPicturePixels (an uncompressed bitmap
// of that many pixels at 32 bits is 64 MB).
constexpr std::size_t MaxPictureFileBytes = 128ULL * 1024 * 1024;

// The most bytes a pixel takes once Qt has decoded it: four floats. (A 16-bit
// PNG takes 8.)
constexpr qint64 WidestPixelBytes = 16;

// Qt's image readers tell what they find wrong in a file on Qt's message
// channel ("QImageIOHandler: Rejecting image ...", "Corrupt JPEG data: ..."),
// which ends on standard error. While a thread reads a picture, what is said on
// that thread below a critical message is kept back: the load's own reason tells
// the user what matters, in one line. Everything else goes on to the handler
// that was in place, which is put back when the last load underway ends.
class ReadersKeptQuiet {
public:
    ReadersKeptQuiet() {
        const std::lock_guard lock(installing);
        if (loadsUnderway++ == 0)
            previous = qInstallMessageHandler(PassOnTheSerious);
        ++loadsOnThisThread;
    }
    ~ReadersKeptQuiet() {
        --loadsOnThisThread;
        const std::lock_guard lock(installing);
        if (--loadsUnderway == 0)
            qInstallMessageHandler(previous);
    }
    ReadersKeptQuiet(const ReadersKeptQuiet&) = delete;
    ReadersKeptQuiet& operator=(const ReadersKeptQuiet&) = delete;

private:
    static void PassOnTheSerious(QtMsgType type, const QMessageLogContext& context,
                                 const QString& message) {
        const bool serious = type == QtCriticalMsg || type == QtFatalMsg;
        const QtMessageHandler next = previous;
        if ((serious || loadsOnThisThread == 0) && next)
            next(type, context, message);
    }

    static inline std::mutex installing;
    static inline int loadsUnderway = 0;
    static inline std::atomic<QtMessageHandler> previous = nullptr;
    static inline thread_local int loadsOnThisThread = 0;
};

bool TooLarge(const QSize& size) {
    return size.isValid() && qint64(size.width()) * size.height() > MaxPicturePixels;
}

std::string TooLargeReason(const QSize& size) {
    return "the picture is too large (" + std::to_string(size.width()) + " x " +
           std::to_string(size.height()) + " pixels)";
}

// The size the picture says it has, before it is decoded. Qt's reader tells a
// GIF's by its first frame, but makes the picture the size of its logical
// screen: that is read here.
QSize StatedSize(QImageReader& reader, std::string_view bytes) {
    if (const std::optional<PixelSize> gif = GifPictureSize(bytes))
        return QSize(int(gif->width), int(gif->height));
    return reader.size();
}

// The memory Qt may take for the picture: room for its stated size in the
// widest pixel format, so that no picture within MaxPicturePixels is refused for
// the format it decodes to; for one whose size is not told up front, room for
// MaxPicturePixels, so that a few bytes of file can never make a huge picture.
int AllocationLimitMb(const QSize& stated) {
    const qint64 pixels =
        stated.isValid() ? qint64(stated.width()) * stated.height() : MaxPicturePixels;
    return int(pixels * WidestPixelBytes / (1024 * 1024)) + 1;
}

// The highest palette index that the pixels of an 8-bit indexed picture name.
int HighestIndex(const QImage& image) {
    int highest = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        highest = std::max<int>(highest, *std::max_element(row, row + image.width()));
    }
    return highest;
}

// A picture whose pixels name colours past the end of its palette (a bitmap's
// header may give fewer colours than its pixels use) gets its palette filled up
// with its first colour: those pixels show that colour every time, and a PNG
// made of it names no colour its palette lacks.
QImage WithEveryIndexInItsPalette(QImage image) {
    const bool mono =
        image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB;
    if (!mono && image.format() != QImage::Format_Indexed8)
        return image;
    const int needed = mono ? 2 : HighestIndex(image) + 1;
    if (image.colorCount() >= needed)
        return image;
    QList<QRgb> colours = image.colorTable();
    const QRgb first = colours.isEmpty() ? qRgb(0, 0, 0) : colours.front();
    while (colours.size() < needed)
        colours.append(first);
    image.setColorTable(colours);
    return image;
}

// A picture whose header states a size over the limit is refused before it is
// decoded.
std::optional<Picture> Read(QImageReader& reader, std::string_view bytes, std::string& whyNot) {
    const QSize stated = StatedSize(reader, bytes);
    if (TooLarge(stated)) {
        whyNot = TooLargeReason(stated);
        return std::nullopt;
    }
    reader.setAllocationLimit(AllocationLimitMb(stated));
    const QImage image = reader.read();
    if (image.isNull()) {
        whyNot = "it is not a picture this program can read (" +
                 reader.errorString().toLower().toStdString() + ")";
        return std::nullopt;
    }
    if (TooLarge(image.size())) {
        whyNot = TooLargeReason(image.size());
        return std::nullopt;
    }
    return ToPicture(WithEveryIndexInItsPalette(image));
}

// The JPEG the report carries, measured from its header and bound as a decoded
// picture is.
std::optional<Picture> Carried(std::string_view bytes, const JpegFrame& frame,
                               std::string& whyNot) {
    const QSize size(frame.width, frame.height);
    if (TooLarge(size)) {
        whyNot = TooLargeReason(size);
        return std::nullopt;
    }
    return Picture{{}, size.width(), size.height(), std::make_shared<const std::string>(bytes)};
}

// What the picture says of itself is checked before it is decoded: a picture
// cut short would come out with rows of whatever memory held. Qt's reader of
// run-length bitmaps leaves the pixels they skip as memory held them too: such a
// bitmap is expanded here first.
// A report carries a JPEG it can as it is, undecoded (`forReport`).
std::optional<Picture> Load(std::string_view bytes, std::string& whyNot, bool forReport = false) {
    whyNot = WhyPictureIsCutShort(bytes);
    if (!whyNot.empty())
        return std::nullopt;
    if (forReport)
        if (const std::optional<JpegFrame> frame = JpegForPdf(bytes))
            return Carried(bytes, *frame, whyNot);
    std::string expanded;
    if (IsRunLengthBitmap(bytes)) {
        expanded = ExpandRunLengthBitmap(bytes, whyNot);
        if (expanded.empty())
            return std::nullopt;
        bytes = expanded;
    }
    const ReadersKeptQuiet quiet;
    QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return Read(reader, bytes, whyNot);
}

} // namespace

Picture ToPicture(const QImage& image) {
    return Picture{image, image.width(), image.height()};
}

QImage ToImage(const Picture& picture) {
    const QImage* image = std::any_cast<QImage>(&picture.image);
    return image ? *image : QImage();
}

// The file is named by its path's own bytes, so that a name in another encoding
// than UTF-8 (Latin-1, from an old USB stick) is found on Linux too. It is read
// by what it holds, whatever its name says, as the bytes from the line are.
std::optional<Picture> QtPictureLoader::loadFile(const std::filesystem::path& path,
                                                 std::string& whyNot) {
    const std::optional<std::string> bytes = ReadFileBytes(path, MaxPictureFileBytes, whyNot);
    return bytes ? Load(*bytes, whyNot) : std::nullopt;
}

std::optional<Picture> QtPictureLoader::loadBytes(std::string_view bytes, std::string& whyNot) {
    return Load(bytes, whyNot);
}

std::optional<Picture> QtPictureLoader::loadFileForReport(const std::filesystem::path& path,
                                                          std::string& whyNot) {
    const std::optional<std::string> bytes = ReadFileBytes(path, MaxPictureFileBytes, whyNot);
    return bytes ? Load(*bytes, whyNot, true) : std::nullopt;
}

} // namespace kvd
