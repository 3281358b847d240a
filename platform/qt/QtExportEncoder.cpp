#include "platform/qt/QtExportEncoder.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/PictureBytes.h"
#include "platform/qt/QtPdfFileDevice.h"
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

// Whether the picture has at most 256 colours, as a screenshot, a diagram or a
// picture with a palette has: those are stored without loss, every pixel exact,
// where a JPEG would blur their edges.
bool FewColours(const QImage& image) {
    if (image.colorCount() > 0 && image.colorCount() <= 256)
        return true;
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    std::vector<QRgb> seen; // sorted
    seen.reserve(257);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (x > 0 && line[x] == line[x - 1])
                continue;
            const auto at = std::lower_bound(seen.begin(), seen.end(), line[x]);
            if (at != seen.end() && *at == line[x])
                continue;
            if (seen.size() == 256)
                return false;
            seen.insert(at, line[x]);
        }
    }
    return true;
}

// A picture of black and white alone at a bit a pixel, as the instrument's
// screenshots are, with black first: Qt stores that at a bit a pixel too (any
// other picture at 24). A null image when the picture is no such one.
QImage BlackThenWhite(const QImage& image) {
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    if (image.depth() != 1 || image.colorCount() != 2)
        return {};
    QImage bits = image.convertToFormat(QImage::Format_Mono);
    if (bits.color(0) == white && bits.color(1) == black)
        bits.invertPixels(); // the bits, not the colours
    else if (bits.color(0) != black || bits.color(1) != white)
        return {};
    bits.setColorTable({black, white});
    return bits;
}

// Its pixels where the page puts them, not smoothed: few colours without loss,
// a photograph as a JPEG of high quality (Qt's own, at 94).
void DrawPixels(QPainter& painter, const QRectF& where, const QImage& image) {
    painter.setRenderHint(QPainter::LosslessImageRendering, FewColours(image));
    const QImage bits = BlackThenWhite(image);
    painter.drawImage(where, bits.isNull() ? image.convertToFormat(QImage::Format_RGB32) : bits);
}

// Decoded here, if it was not, and let go once drawn; a JPEG the PDF carries
// is not decoded at all.
bool Draw(QPainter& painter, PdfFileDevice& device, const PagePicture& picture,
          std::string& whyNot) {
    std::optional<Picture> drawn = picture.picture;
    if (!drawn->image.has_value() && !drawn->file && picture.decode)
        drawn = picture.decode(whyNot);
    QImage image = drawn ? ToImage(*drawn) : QImage();
    const QRectF where(picture.x, picture.y, (drawn ? drawn->width : 0) * picture.scale,
                       (drawn ? drawn->height : 0) * picture.scale);
    if (drawn && drawn->file)
        if (const std::optional<JpegFrame> frame = JpegForPdf(*drawn->file)) {
            if (device.carry(painter, where, *drawn->file, *frame))
                return true;
            // Decoded after all, and drawn over its stand-in.
            image = QImage::fromData(
                QByteArray::fromRawData(drawn->file->data(), qsizetype(drawn->file->size())));
        }
    if (image.isNull()) {
        whyNot =
            "a picture could not be read again (" + (whyNot.empty() ? "no memory" : whyNot) + ")";
        return false;
    }
    DrawPixels(painter, where, image);
    return true;
}

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
    PdfFileDevice device(file);
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
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (std::size_t page = 0; page < document.pages.size(); ++page) {
        if (page > 0)
            writer.newPage();
        for (const PagePicture& picture : document.pages[page].pictures)
            if (!Draw(painter, device, picture, whyNot))
                return false;
        for (const PageText& text : document.pages[page].texts)
            Draw(painter, text);
    }
    return device.end(painter, whyNot);
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
