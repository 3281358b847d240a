#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <algorithm>

namespace kvd {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// A carriage return and line feed start a new line, as a lone line feed does.
QString Lines(const std::string& text) {
    return FromUtf8(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// The window a dialog opens over: the one of the program's the user is in (the
// History window, when asked from there), else the main window.
QWidget* Over(QWidget* mainWindow) {
    QWidget* active = QApplication::activeWindow();
    return active != nullptr ? active : mainWindow;
}

// Room beside a title for the title bar's icon and buttons, and the characters
// of a comment the input box's field shows at once.
constexpr int TitleBarRoom = 160, FieldCharacters = 60;

// Wide enough for its whole title and a comment of a line's length. Its field
// sets its width: its layout keeps it as narrow as what it holds.
void FitWidth(QInputDialog& dialog) {
    const QFontMetrics metrics = dialog.fontMetrics();
    // A title bar's type is often bold, and so wider.
    const int title = metrics.horizontalAdvance(dialog.windowTitle()) * 6 / 5 + TitleBarRoom;
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMinimumWidth(std::max(title, metrics.averageCharWidth() * FieldCharacters));
}

DialogAnswer ToAnswer(int button) {
    switch (button) {
    case QMessageBox::Yes:
        return DialogAnswer::Yes;
    case QMessageBox::No:
        return DialogAnswer::No;
    default:
        return DialogAnswer::Cancel;
    }
}

} // namespace

DialogAnswer QtMessageBox::ask(const std::string& text, const std::string& title, Buttons buttons,
                               DialogAnswer onEnter) {
    QMessageBox box(QMessageBox::Question, FromUtf8(title), Lines(text),
                    QMessageBox::Yes | QMessageBox::No, Over(parent_));
    if (buttons == Buttons::YesNoCancel)
        box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(onEnter == DialogAnswer::No       ? QMessageBox::No
                         : onEnter == DialogAnswer::Cancel ? QMessageBox::Cancel
                                                           : QMessageBox::Yes);
    return ToAnswer(box.exec());
}

void QtMessageBox::tell(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Warning, FromUtf8(title), Lines(text), QMessageBox::Ok,
                    Over(parent_));
    box.exec();
}

std::optional<std::string> QtInputBox::ask(const std::string& prompt, const std::string& title,
                                           const std::string& defaultText) {
    QInputDialog dialog(Over(parent_));
    dialog.setWindowTitle(FromUtf8(title));
    dialog.setLabelText(FromUtf8(prompt));
    dialog.setTextValue(FromUtf8(defaultText));
    FitWidth(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue().toStdString();
}

QStringList ToQtNameFilters(const std::string& filter) {
    const QStringList parts = FromUtf8(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << (description.contains(QLatin1Char('(') + patterns + QLatin1Char(')'))
                        ? description
                        : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}

bool QtFileDialog::showSave() {
    return Show(true);
}

bool QtFileDialog::showOpen() {
    return Show(false);
}

std::string QtFileDialog::fileTitle() const {
    return QFileInfo(FromUtf8(fileName_)).fileName().toStdString();
}

bool QtFileDialog::Show(bool saving) {
    QFileDialog dialog(Over(parent_), FromUtf8(title_));
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(ToQtNameFilters(filter_));
    if (!fileName_.empty()) {
        const QFileInfo last(FromUtf8(fileName_));
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName_ = dialog.selectedFiles().constFirst().toStdString();
    return true;
}

std::string QtFileDialog::chooseFolder(const std::string& title) {
    QFileDialog dialog(Over(parent_), FromUtf8(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!folder_.empty())
        dialog.setDirectory(FromUtf8(folder_));
    else if (!fileName_.empty())
        dialog.setDirectory(QFileInfo(FromUtf8(fileName_)).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return folder_ = dialog.selectedFiles().constFirst().toStdString();
}

} // namespace kvd
