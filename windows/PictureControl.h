#pragma once

#include <QImage>
#include <QWidget>

namespace kvd {

// A picture control: draws its picture stretched to its own size, each of the
// instrument's pixels kept crisp (no smoothing).
class PictureControl : public QWidget {
    Q_OBJECT

public:
    explicit PictureControl(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

// What the picture controls show until the first screenshot: 384 x 224 pixels
// of grey.
QImage PlaceholderPicture();

} // namespace kvd
