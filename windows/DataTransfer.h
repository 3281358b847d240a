#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QMimeData;
class QWidget;

namespace kvd {

// The one local file a drag carries, or nothing: several files, a folder, a web
// address or a piece of text are not something the window can show.
std::optional<QString> DroppedFile(const QMimeData* data);
// Lets such a file be dropped on `window`; `show` gets its path.
void AcceptDroppedFile(QWidget* window, std::function<void(const std::string&)> show);

// Puts a picture on the clipboard at its own pixel size, with a bitmap file's
// bytes for programs that take a file: `file` when given (a screenshot's own
// file), else the picture written as one.
void CopyToClipboard(const QImage& picture, const std::optional<std::string>& file);

} // namespace kvd
