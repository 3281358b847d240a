#include "platform/qt/QtExportEncoder.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QLocale>
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

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A line as it is measured and drawn: a control character or a line break as a
// space.
QString OneLine(std::string_view text) {
    QString line = FromUtf8(text);
    for (QChar& character : line)
        if (character.category() == QChar::Other_Control || character == QChar::LineSeparator ||
            character == QChar::ParagraphSeparator)
            character = u' ';
    return line;
}

// The type text is drawn in: the application's font.
QFont TypeOf(double points, bool bold) {
    QFont font;
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// A device of 72 dots an inch, as the PDF writer is set to: type measured on it
// is as wide as the PDF draws it (at a screen's resolution, hinting widens it).
const QPaintDevice& PointDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(2835); // 72.009 an inch, which Qt rounds to 72
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return device;
}

// Drawn whole: its box was made to hold it.
void Draw(QPainter& painter, const PageText& text) {
    painter.setFont(TypeOf(text.points, text.bold));
    painter.drawText(QRectF(text.x, text.y, text.width, text.height),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                     OneLine(text.text));
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

double QtExportEncoder::textWidth(std::string_view text, double points, bool bold) const {
    return QFontMetricsF(TypeOf(points, bold), &PointDevice()).horizontalAdvance(OneLine(text));
}

PaperSize QtExportEncoder::paper() const {
    QLocale here = QLocale::system();
#ifndef Q_OS_WIN
    for (const char* variable : {"LC_ALL", "LC_PAPER", "LANG"})
        if (const QString name = qEnvironmentVariable(variable); !name.isEmpty()) {
            here = QLocale(name); // "en_US.UTF-8": Qt reads past the ".UTF-8"
            break;
        }
#endif
    return here.territory() == QLocale::UnitedStates || here.territory() == QLocale::Canada ? Letter
                                                                                            : A4;
}

} // namespace kvd
