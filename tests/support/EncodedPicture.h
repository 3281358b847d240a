#pragma once

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>

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

// A picture as a camera takes one: broad smooth colours, different for each
// `nth`, with a grain of noise on every pixel. The same every run.
inline QImage PhotoLike(int width, int height, int nth = 0) {
    QImage photo(width, height, QImage::Format_RGB32);
    QRandomGenerator random(quint32(nth + 1));
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
        const double d = std::cos((y + 53.0 * nth) / (height / 10.5));
        for (int x = 0; x < width; ++x) {
            const double a = std::sin((x + 97.0 * nth) / (width / 9.7));
            const int grain = int(random.bounded(25)) - 12;
            const auto level = [grain](double value) {
                return std::clamp(int(128 + 100 * value) + grain, 0, 255);
            };
            line[x] = qRgb(level(a * d), level((a + d) / 2), level(d - a / 2));
        }
    }
    return photo;
}

} // namespace kvd::test
