#include "platform/qt/QtPictureLoader.h"

#include <QBuffer>
#include <QImageReader>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/PictureBytes.h"

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

// What the picture says of itself is checked before it is decoded: a picture
// cut short would come out with rows of whatever memory held.
std::optional<Picture> Load(const QByteArray& bytes, std::string& whyNot) {
    whyNot = WhyPictureIsCutShort(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!whyNot.empty())
        return std::nullopt;
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return Read(reader, whyNot);
}

} // namespace

Picture ToPicture(const QImage& image) {
    return Picture{image, image.width(), image.height()};
}

QImage ToImage(const Picture& picture) {
    const QImage* image = std::any_cast<QImage>(&picture.image);
    return image ? *image : QImage();
}

// Larger than any picture file within MaxPicturePixels (an uncompressed bitmap
// of that many pixels at 32 bits is 64 MB).
constexpr std::uintmax_t MaxPictureFileBytes = 128ULL * 1024 * 1024;

// The file is named by its path's own bytes, so that a name in another encoding
// than UTF-8 (Latin-1, from an old USB stick) is found on Linux too.
std::optional<Picture> QtPictureLoader::loadFile(const std::filesystem::path& path,
                                                 std::string& whyNot) {
    namespace fs = std::filesystem;
    const std::string askOrCopy = "; ask its owner, or copy it where you may read it";
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error == std::errc::permission_denied) {
        whyNot = "permission denied: a folder on its path is closed to you" + askOrCopy;
        return std::nullopt;
    }
    if (!fs::exists(status)) {
        whyNot = error && error != std::errc::no_such_file_or_directory
                     ? "it cannot be reached (" + error.message() + ")"
                     : "there is no such file";
        return std::nullopt;
    }
    if (!fs::is_regular_file(status)) { // a pipe would hold the program up
        whyNot = fs::is_directory(status) ? "it is a folder, not a picture file"
                                          : "it is a device or a pipe, not a file";
        return std::nullopt;
    }
    if (fs::file_size(path, error) > MaxPictureFileBytes) {
        whyNot = "the file is too large to be a picture (" +
                 std::to_string(fs::file_size(path, error) / (1024 * 1024)) + " MB)";
        return std::nullopt;
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    QByteArray bytes;
    if (file)
        bytes = QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {}));
    if (!file && !file.eof()) {
        whyNot = errno == EACCES || errno == EPERM
                     ? "permission denied: you may not read it" + askOrCopy
                 : errno != 0 ? std::generic_category().message(errno)
                              : "it could not be read";
        return std::nullopt;
    }
    // Read by what it holds, whatever its name says, as the bytes from the line are.
    return Load(bytes, whyNot);
}

std::optional<Picture> QtPictureLoader::loadBytes(std::string_view bytes, std::string& whyNot) {
    return Load(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), whyNot);
}

} // namespace kvd
