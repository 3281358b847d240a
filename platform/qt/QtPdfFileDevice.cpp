#include "platform/qt/QtPdfFileDevice.h"

#include <QImage>
#include <QPainter>
#include <cstdlib>

namespace kvd {

PdfFileDevice::PdfFileDevice(ByteSink& file) : file_(file) {
    open(QIODevice::WriteOnly);
}

qint64 PdfFileDevice::writeData(const char* data, qint64 size) {
    const std::string_view bytes(data, std::size_t(size));
    fromQt_ += bytes.size();
    if (holding_)
        held_ += bytes;
    else
        put(bytes);
    return failed_ ? -1 : size;
}

void PdfFileDevice::hold() {
    holding_ = true;
    held_.clear();
}

std::string PdfFileDevice::held() {
    holding_ = false;
    return std::move(held_);
}

void PdfFileDevice::put(std::string_view bytes) {
    if (!failed_ && !file_.write(bytes))
        failed_ = true;
}

void PdfFileDevice::putInstead(std::initializer_list<std::string_view> parts, std::size_t at,
                               std::size_t was) {
    std::ptrdiff_t size = 0;
    for (const std::string_view part : parts) {
        put(part);
        size += std::ptrdiff_t(part.size());
    }
    shifts_.push_back({at + was, size - std::ptrdiff_t(was)});
}

std::size_t PdfFileDevice::inFile(std::size_t at) const {
    std::ptrdiff_t moved = 0;
    for (const auto& [from, by] : shifts_)
        if (from <= at)
            moved += by;
    return std::size_t(std::ptrdiff_t(at) + moved);
}

// Qt writes the stand-in's object at once, as it is drawn:
// "12 0 obj\n<<\n/Type /XObject\n/Subtype /Image\n...endobj\n".
bool PdfFileDevice::carry(QPainter& painter, const QRectF& where, const std::string& jpeg,
                          const JpegFrame& frame) {
    QImage standIn(1, 1, QImage::Format_RGB32); // a new one, which Qt writes anew
    standIn.fill(Qt::white);
    painter.setRenderHint(QPainter::LosslessImageRendering);
    const std::size_t at = fromQt_;
    hold();
    painter.drawImage(where, standIn);
    const std::string wrote = held();
    const std::size_t image = wrote.find("/Subtype /Image");
    const std::size_t object = wrote.rfind(" 0 obj\n", image);
    std::size_t start = object;
    while (start != std::string::npos && start > 0 && wrote[start - 1] >= '0' &&
           wrote[start - 1] <= '9')
        --start;
    const std::size_t stream = wrote.find(">>\nstream\n", image);
    const std::size_t end = wrote.find("endobj\n", stream);
    if (image == std::string::npos || wrote.find("/Subtype /Image", image + 1) != wrote.npos ||
        object == std::string::npos || start == object || (start > 0 && wrote[start - 1] != '\n') ||
        wrote.find("endobj", object) < image || end == std::string::npos) {
        put(wrote);
        return false;
    }
    const std::string head =
        wrote.substr(start, object - start) +
        " 0 obj\n<<\n/Type /XObject\n/Subtype /Image\n/Width " + std::to_string(frame.width) +
        "\n/Height " + std::to_string(frame.height) + "\n/BitsPerComponent 8\n/ColorSpace " +
        (frame.components == 1 ? "/DeviceGray" : "/DeviceRGB") + "\n/Filter /DCTDecode\n/Length " +
        std::to_string(jpeg.size()) + "\n>>\nstream\n";
    const std::string_view qt = wrote;
    put(qt.substr(0, start));
    putInstead({head, jpeg, "\nendstream\nendobj\n"}, at + start, end + 7 - start);
    put(qt.substr(end + 7));
    return true;
}

// The end of the PDF as Qt wrote it, its table of where each object is and the
// place of that table put right for the JPEGs written in place of stand-ins:
// "xref\n0 29\n0000000000 65535 f \n0000000015 00000 n \n...trailer\n<<...>>\n
// startxref\n123456\n%%EOF\n". False when it is not as Qt writes it.
bool PdfFileDevice::putRight(std::string& end) const {
    std::size_t line = end.rfind("\nxref\n");
    if (line == std::string::npos)
        return false;
    line += 6;
    // Its sections: the first object's number and the count, then an entry of
    // 20 bytes for each: a 10-digit place, the generation, 'n' (in use) or 'f'.
    while (line < end.size() && end[line] >= '0' && end[line] <= '9') {
        const std::size_t eol = end.find('\n', line);
        const std::size_t space = end.find(' ', line);
        if (eol == std::string::npos || space > eol)
            return false;
        const unsigned long long count = std::strtoull(end.c_str() + space + 1, nullptr, 10);
        line = eol + 1;
        if (count > (end.size() - line) / 20)
            return false;
        for (unsigned long long entry = 0; entry < count; ++entry, line += 20)
            if (end[line + 17] == 'n') {
                const std::string place =
                    std::to_string(inFile(std::strtoull(end.c_str() + line, nullptr, 10)));
                if (place.size() > 10)
                    return false;
                end.replace(line, 10, std::string(10 - place.size(), '0') + place);
            }
    }
    const std::size_t startxref = end.find("startxref\n", line);
    if (end.compare(line, 7, "trailer") != 0 || startxref == std::string::npos)
        return false;
    const std::size_t number = startxref + 10, digits = end.find('\n', number);
    if (digits == std::string::npos)
        return false;
    const std::size_t table = std::strtoull(end.c_str() + number, nullptr, 10);
    end.replace(number, digits - number, std::to_string(inFile(table)));
    return true;
}

bool PdfFileDevice::end(QPainter& painter, std::string& whyNot) {
    hold();
    const bool ended = painter.end();
    std::string last = held();
    if (!shifts_.empty() && !putRight(last)) {
        whyNot = "Qt's PDF writer ended it in a way this program does not know";
        return false;
    }
    put(last);
    if (!ended || failed_) {
        whyNot = "it could not be written";
        return false;
    }
    return true;
}

} // namespace kvd
