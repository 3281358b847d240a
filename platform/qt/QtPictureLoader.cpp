#include "platform/qt/QtPictureLoader.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

namespace kvd {

namespace {

bool TooLarge(const QSize& size) {
    return size.isValid() && qint64(size.width()) * size.height() > MaxPicturePixels;
}

std::string TooLargeReason(const QSize& size) {
    return "the picture is too large (" + std::to_string(size.width()) + " x " +
           std::to_string(size.height()) + " pixels)";
}

// A picture whose header states a size over the limit is refused before it is
// decoded. Some formats (GIF) state none up front: the reader is then held to
// the same bound in memory while it decodes, so a few bytes of file can never
// make a huge picture.
std::optional<Picture> Read(QImageReader& reader, std::string& whyNot) {
    constexpr int BytesPerPixel = 4;
    reader.setAllocationLimit(int(MaxPicturePixels * BytesPerPixel / (1024 * 1024)) + 1);
    if (const QSize size = reader.size(); TooLarge(size)) {
        whyNot = TooLargeReason(size);
        return std::nullopt;
    }
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
    return ToPicture(image);
}

} // namespace

Picture ToPicture(const QImage& image) {
    return Picture{image, image.width(), image.height()};
}

QImage ToImage(const Picture& picture) {
    const QImage* image = std::any_cast<QImage>(&picture.image);
    return image ? *image : QImage();
}

std::optional<Picture> QtPictureLoader::loadFile(const std::filesystem::path& path,
                                                 std::string& whyNot) {
    const QString name = QString::fromStdU16String(path.u16string());
    if (!QFileInfo(name).isFile()) {
        whyNot = "there is no such file";
        return std::nullopt;
    }
    QImageReader reader(name);
    return Read(reader, whyNot);
}

std::optional<Picture> QtPictureLoader::loadBytes(std::string_view bytes, std::string& whyNot) {
    QByteArray data(bytes.data(), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return Read(reader, whyNot);
}

} // namespace kvd
