#pragma once

#include <QBuffer>
#include <QImage>

namespace kvd::test {

// A picture file's bytes: `image` in `format` ("PNG", "JPEG").
inline QByteArray EncodedPicture(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A picture of one grey, so that its file is small however large it is.
inline QImage OneGrey(int width, int height, int grey) {
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(grey);
    return image;
}

} // namespace kvd::test
