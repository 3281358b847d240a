#include "windows/DataTransfer.h"

#include <QBuffer>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace kvd {

std::optional<QString> DroppedFile(const QMimeData* data) {
    if (data == nullptr || data->urls().size() != 1 || !data->urls().front().isLocalFile())
        return std::nullopt;
    const QString path = data->urls().front().toLocalFile();
    if (QFileInfo(path).isDir())
        return std::nullopt;
    return path;
}

void CopyToClipboard(const QImage& picture, const std::optional<std::string>& file) {
    QByteArray bytes;
    if (file) {
        bytes = QByteArray::fromStdString(*file);
    } else {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "BMP");
    }
    auto* clip = new QMimeData;
    clip->setImageData(picture);
    clip->setData(QStringLiteral("image/bmp"), bytes);
    QGuiApplication::clipboard()->setMimeData(clip);
}

} // namespace kvd
