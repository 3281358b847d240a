#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/FileDialog.h"
#include "platform/MessageBoxes.h"

namespace kvd {

// Message boxes, the input box and the shared file dialog on Qt's own dialogs.
// Each opens over the program's window the user is in (History's dialogs over
// History), or over the window given as parent when none is active, and is
// modal to it.
class QtMessageBox final : public MessageBoxes {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    DialogAnswer ask(const std::string& text, const std::string& title, Buttons buttons,
                     DialogAnswer onEnter) override;
    void tell(const std::string& text, const std::string& title) override;

private:
    QPointer<QWidget> parent_;
};

class QtInputBox final : public InputBox {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    std::optional<std::string> ask(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override;

private:
    QPointer<QWidget> parent_;
};

class QtFileDialog final : public FileDialog {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    void setFilter(const std::string& filter) override { filter_ = filter; }
    void setTitle(const std::string& title) override { title_ = title; }
    void setFileName(const std::string& path) override { fileName_ = path; }
    bool showSave() override;
    bool showOpen() override;
    std::string fileName() const override { return fileName_; }
    std::string fileTitle() const override;
    std::string chooseFolder(const std::string& title) override;

private:
    bool Show(bool saving);

    QPointer<QWidget> parent_;
    std::string filter_;
    std::string title_;
    std::string fileName_;
    // The folder last chosen with chooseFolder.
    std::string folder_;
};

// "description|pattern|description|pattern" as Qt's name filters.
QStringList ToQtNameFilters(const std::string& filter);

} // namespace kvd
