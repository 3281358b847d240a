#include "windows/PictureControl.h"

#include <QPainter>

namespace kvd {

PictureControl::PictureControl(QWidget* parent) : QWidget(parent), picture_(PlaceholderPicture()) {}

void PictureControl::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PictureControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The instrument's pixels stay sharp, on screen and on paper (where a printer
    // would otherwise get a lossy copy of the picture).
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setRenderHint(QPainter::LosslessImageRendering, true);
    painter.drawImage(rect(), picture_);
}

QImage PlaceholderPicture() {
    QImage image(384, 224, QImage::Format_RGB32);
    image.fill(QColor(200, 200, 200));
    QPainter painter(&image);
    painter.setPen(QColor(150, 150, 150));
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    QFont font = painter.font();
    font.setPixelSize(18);
    painter.setFont(font);
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Waiting for a screenshot"));
    painter.end();
    return image.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace kvd
