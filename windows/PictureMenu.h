#pragma once

#include <QObject>

class QAction;
class QWidget;

namespace kvd {

// The picture's right-click menu. "Copy screenshot" (Ctrl+C) and "History..."
// (Ctrl+H) also answer their keys anywhere in the window.
class PictureMenu final : public QObject {
    Q_OBJECT

public:
    PictureMenu(QWidget* picture, QWidget* window);

    QAction* const copy;
    QAction* const exportPng;
    QAction* const history;
    QAction* const saveToFolder;
    QAction* const stopSaving;

    // Whether every screenshot is being saved to a folder: only then can it stop.
    void savingToFolder(bool saving);
};

} // namespace kvd
