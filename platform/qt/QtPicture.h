#pragma once

#include <QImage>

#include "platform/Picture.h"

namespace kvd {

// Wraps a Qt image as a picture, and unwraps it; an empty image when the picture
// holds none.
Picture ToPicture(const QImage& image);
QImage ToImage(const Picture& picture);

} // namespace kvd
