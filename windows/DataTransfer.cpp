#include "windows/DataTransfer.h"

#include <QBuffer>
#include <QClipboard>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace kvd {

std::optional<QString> DroppedFile(const QMimeData* data) {
    if (data == nullptr || data->urls().size() != 1 || !data->urls().front().isLocalFile())
        return std::nullopt;
    const QString path = data->urls().front().toLocalFile();
    if (QFileInfo(path).isDir())
        return std::nullopt;
    return path;
}

namespace {

class FileDrop final : public QObject {
public:
    FileDrop(QWidget* window, std::function<void(const std::string&)> show)
        : QObject(window), show_(std::move(show)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::DragEnter && event->type() != QEvent::Drop)
            return QObject::eventFilter(watched, event);
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<QString> path = DroppedFile(drop->mimeData());
        if (path)
            drop->acceptProposedAction();
        if (path && event->type() == QEvent::Drop)
            show_(path->toStdString());
        return true;
    }

private:
    std::function<void(const std::string&)> show_;
};

} // namespace

void AcceptDroppedFile(QWidget* window, std::function<void(const std::string&)> show) {
    window->setAcceptDrops(true);
    window->installEventFilter(new FileDrop(window, std::move(show)));
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
