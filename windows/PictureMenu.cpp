#include "windows/PictureMenu.h"

#include <QAction>
#include <QWidget>

namespace kvd {

namespace {

QAction* AddAction(QWidget* picture, const char* text, const char* name) {
    auto* action = new QAction(QString::fromUtf8(text), picture);
    action->setObjectName(QString::fromUtf8(name));
    picture->addAction(action);
    return action;
}

} // namespace

PictureMenu::PictureMenu(QWidget* picture, QWidget* window)
    : QObject(window), copy(AddAction(picture, "Copy screenshot", "copyAction")),
      exportPng(AddAction(picture, "Export as PNG...", "exportPngAction")),
      history(AddAction(picture, "History...", "historyAction")),
      saveToFolder(AddAction(picture, "Save every screenshot to folder...", "saveToFolderAction")),
      stopSaving(AddAction(picture, "Stop saving to folder", "stopSavingAction")) {
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(false); // nothing to copy or export before the first picture
    exportPng->setEnabled(false);
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    window->addAction(copy);
    window->addAction(history);
    stopSaving->setEnabled(false);
    picture->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void PictureMenu::savingToFolder(bool saving) {
    stopSaving->setEnabled(saving);
}

} // namespace kvd
