#include "platform/qt/QtExportEncoder.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cstring>

#include "platform/qt/QtPicture.h"

namespace kvd {

namespace {

// Each pixel copied into a scale x scale block, byte for byte, in the picture's
// own format: a paletted picture keeps its palette. Qt's own scaling would do
// the same for most formats but turns 1-bit pictures into 32-bit ones.
QImage Enlarged(QImage image, int scale) {
    if (image.depth() < 8)
        image = image.convertToFormat(QImage::Format_Indexed8); // keeps the colours
    const int bytesPerPixel = image.depth() / 8;
    QImage large(image.width() * scale, image.height() * scale, image.format());
    if (image.isNull() || large.isNull())
        return {}; // out of memory
    large.setColorTable(image.colorTable());
    for (int y = 0; y < image.height(); ++y) {
        const uchar* from = image.constScanLine(y);
        uchar* to = large.scanLine(y * scale);
        for (int x = 0; x < image.width(); ++x)
            for (int copy = 0; copy < scale; ++copy)
                std::memcpy(to + (x * scale + copy) * bytesPerPixel, from + x * bytesPerPixel,
                            bytesPerPixel);
        for (int row = 1; row < scale; ++row)
            std::memcpy(large.scanLine(y * scale + row), to, large.bytesPerLine());
    }
    return large;
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void Draw(QPainter& painter, const PageText& text) {
    QFont font = painter.font();
    font.setPointSizeF(text.points);
    font.setBold(text.bold);
    painter.setFont(font);
    painter.drawText(QRectF(text.x, text.y, text.width, text.height),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FromUtf8(text.text));
}

// Decoded here, if it was not, and let go once drawn.
bool Draw(QPainter& painter, const PagePicture& picture, std::string& whyNot) {
    std::optional<Picture> decoded;
    if (!picture.picture.image.has_value() && picture.decode)
        decoded = picture.decode(whyNot);
    const QImage image =
        ToImage(decoded ? *decoded : picture.picture).convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        whyNot =
            "a picture could not be read again (" + (whyNot.empty() ? "no memory" : whyNot) + ")";
        return false;
    }
    painter.drawImage(
        QRectF(picture.x, picture.y, image.width() * picture.scale, image.height() * picture.scale),
        image);
    return true;
}

// The file being made, as the device the PDF is written to.
class FileDevice final : public QIODevice {
public:
    explicit FileDevice(ByteSink& file) : file_(file) { open(QIODevice::WriteOnly); }
    bool isSequential() const override { return true; }
    // Whether any write failed (a full disk): the PDF writer does not say.
    bool failed() const { return failed_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (file_.write(std::string_view(data, std::size_t(size))))
            return size;
        failed_ = true;
        return -1;
    }

private:
    ByteSink& file_;
    bool failed_ = false;
};

} // namespace

std::optional<std::string> QtExportEncoder::png(const Picture& picture, int scale,
                                                std::string& whyNot) {
    const QImage image = ToImage(picture);
    if (image.isNull() || scale < 1) {
        whyNot = "there is no picture to export";
        return std::nullopt;
    }
    // The program makes no picture it would refuse to load.
    const qint64 width = qint64(image.width()) * scale, height = qint64(image.height()) * scale;
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width * height > MaxPicturePixels) {
        whyNot = "at scale " + std::to_string(scale) + " the picture would be " + size +
                 ", more than this program makes (" + std::to_string(MaxPicturePixels / 1000000) +
                 " million); choose a smaller scale";
        return std::nullopt;
    }
    const QImage large = Enlarged(image, scale);
    if (large.isNull()) {
        whyNot = "there is not enough memory for a picture of " + size;
        return std::nullopt;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(large)) {
        whyNot = writer.errorString().toLower().toStdString();
        return std::nullopt;
    }
    return bytes.toStdString();
}

bool QtExportEncoder::pdf(const Document& document, ByteSink& file, std::string& whyNot) {
    FileDevice device(file);
    QPdfWriter writer(&device);
    writer.setResolution(72); // one unit a point
    writer.setPageSize(QPageSize(QSizeF(document.width, document.height), QPageSize::Point));
    writer.setPageMargins(QMarginsF());
    writer.setTitle(FromUtf8(document.title));
    writer.setCreator(QStringLiteral("kvd62-capture"));
    QPainter painter;
    if (!painter.begin(&writer)) {
        whyNot = "the PDF could not be started";
        return false;
    }
    // Lossless: without it Qt stores pictures as JPEG where that is smaller.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (std::size_t page = 0; page < document.pages.size(); ++page) {
        if (page > 0)
            writer.newPage();
        for (const PagePicture& picture : document.pages[page].pictures)
            if (!Draw(painter, picture, whyNot))
                return false;
        for (const PageText& text : document.pages[page].texts)
            Draw(painter, text);
    }
    if (!painter.end() || device.failed()) {
        whyNot = "it could not be written";
        return false;
    }
    return true;
}

} // namespace kvd
