#include "windows/HistoryWindow.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "capture/ScreenshotFormat.h"
#include "flows/PrintFlow.h"
#include "flows/SaveFlow.h"
#include "platform/qt/QtPicture.h"
#include "windows/DataTransfer.h"
#include "windows/PictureControl.h"

namespace kvd {

namespace {

// A screenshot's own size: thumbnails are shown at it, pixel for pixel.
constexpr QSize ThumbnailSize(ScreenshotWidth, ScreenshotHeight);
constexpr int SerialRole = Qt::UserRole;

// The picture at whole-pixel scale on a screen of `ratio` device pixels per
// pixel: never smoothed, so each of the instrument's pixels stays crisp.
QIcon Thumbnail(const std::optional<QImage>& picture, qreal ratio) {
    QImage image(ThumbnailSize, QImage::Format_RGB32);
    image.fill(QColor(200, 200, 200));
    if (picture) {
        QPainter painter(&image);
        painter.drawImage(QPoint(0, 0), *picture);
    }
    const int scale = std::max(1, qRound(ratio));
    QPixmap pixmap = QPixmap::fromImage(
        image.scaled(ThumbnailSize * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    pixmap.setDevicePixelRatio(scale);
    return QIcon(pixmap);
}

QPushButton* AddButton(QHBoxLayout* row, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text));
    row->addWidget(button);
    return button;
}

} // namespace

HistoryWindow::HistoryWindow(const SessionHistory& history, Services& services,
                             ExportChoices& exportChoices, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), services_(services),
      exportChoices_(exportChoices), list_(new QListWidget), count_(new QLabel) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("History"));
    list_->setObjectName(QStringLiteral("historyList"));
    list_->setIconSize(ThumbnailSize);
    // Pictures of much the same content would run into one another.
    list_->setSpacing(6);
    list_->setUniformItemSizes(true);
    list_->setWordWrap(true);
    auto* buttons = new QHBoxLayout;
    save_ = AddButton(buttons, "Save...");
    copy_ = AddButton(buttons, "Copy");
    print_ = AddButton(buttons, "Print...");
    showLarge_ = AddButton(buttons, "Show large");
    exportPng_ = AddButton(buttons, "Export P&NG...");
    exportPdf_ = AddButton(buttons, "Export P&DF...");
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(count_);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    resize(600, 520);
    list_->setFocus(); // the arrows move in the list at once

    auto* saveKey = new QAction(this);
    saveKey->setShortcut(QKeySequence::Save);
    auto* copyKey = new QAction(this);
    copyKey->setShortcut(QKeySequence::Copy);
    auto* closeKey = new QAction(this); // Escape closes it, as tool windows do
    closeKey->setShortcut(QKeySequence::Cancel);
    addActions({saveKey, copyKey, closeKey});
    connect(closeKey, &QAction::triggered, this, &QWidget::close);
    connect(saveKey, &QAction::triggered, this, &HistoryWindow::SaveSelected);
    connect(copyKey, &QAction::triggered, this, &HistoryWindow::CopySelected);
    connect(save_, &QPushButton::clicked, this, &HistoryWindow::SaveSelected);
    connect(copy_, &QPushButton::clicked, this, &HistoryWindow::CopySelected);
    connect(print_, &QPushButton::clicked, this, &HistoryWindow::PrintSelected);
    connect(showLarge_, &QPushButton::clicked, this, &HistoryWindow::ShowSelectedLarge);
    connect(exportPng_, &QPushButton::clicked, this,
            [this] { ExportScreenshotsAsPng(ToExport(), services_, exportChoices_); });
    connect(exportPdf_, &QPushButton::clicked, this,
            [this] { ExportSessionAsPdf(ToExport(), services_, exportChoices_); });
    connect(list_, &QListWidget::itemActivated, this, &HistoryWindow::ShowSelectedLarge);
    connect(list_, &QListWidget::currentRowChanged, this, &HistoryWindow::SelectionChanged);
    SelectionChanged();
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void HistoryWindow::refresh() {
    if (!isVisible() || listedSerial_ == history_.newestSerial())
        return;
    AddNewest();
    // What the history let go of leaves the list too.
    while (std::size_t(list_->count()) > history_.size())
        delete list_->takeItem(list_->count() - 1);
    ShowCount();
    if (list_->currentRow() < 0)
        list_->setCurrentRow(0);
}

void HistoryWindow::AddNewest() {
    for (std::size_t index = history_.newerThan(listedSerial_); index-- > 0;) {
        const HistoryEntry& entry = history_.at(index);
        std::string whyNot;
        std::optional<QImage> picture;
        if (!entry.dropped())
            if (const auto decoded = services_.pictures.loadBytes(entry.bytes, whyNot))
                picture = ToImage(*decoded);
        const QString text = QString::fromStdString(SessionHistory::describe(entry));
        auto* item = new QListWidgetItem(Thumbnail(picture, devicePixelRatioF()), text);
        item->setToolTip(text);
        item->setData(SerialRole, QVariant::fromValue<qulonglong>(entry.serial));
        list_->insertItem(0, item);
    }
    listedSerial_ = history_.newestSerial();
}

void HistoryWindow::ShowCount() {
    count_->setText(QString::fromStdString(history_.summary()));
}

const HistoryEntry* HistoryWindow::Selected() const {
    const QListWidgetItem* item = list_->currentItem();
    return item == nullptr ? nullptr : history_.bySerial(item->data(SerialRole).toULongLong());
}

void HistoryWindow::SelectionChanged() {
    const HistoryActions actions = history_.actionsFor(Selected());
    save_->setEnabled(actions.save);
    copy_->setEnabled(actions.copy);
    print_->setEnabled(actions.print);
    showLarge_->setEnabled(actions.showLarge);
    exportPng_->setEnabled(actions.exportAny);
    exportPdf_->setEnabled(actions.exportAny);
}

// Copies, taken before a dialog opens: the history may move on meanwhile.
std::vector<HistoryEntry> HistoryWindow::ToExport() const {
    std::vector<std::uint64_t> selected;
    for (const QListWidgetItem* item : list_->selectedItems())
        selected.push_back(item->data(SerialRole).toULongLong());
    return history_.toExport(selected);
}

std::optional<QImage> HistoryWindow::SelectedPicture() const {
    const HistoryEntry* entry = Selected();
    std::string whyNot;
    if (entry == nullptr || entry->dropped())
        return std::nullopt;
    const std::optional<Picture> picture = services_.pictures.loadBytes(entry->bytes, whyNot);
    return picture ? std::optional<QImage>(ToImage(*picture)) : std::nullopt;
}

void HistoryWindow::SaveSelected() {
    if (const HistoryEntry* entry = Selected()) {
        const HistoryEntry kept = *entry; // the history may move on while the dialog is open
        SaveHistoryEntry(kept, services_);
    }
}

void HistoryWindow::CopySelected() {
    if (const std::optional<QImage> picture = SelectedPicture())
        CopyToClipboard(*picture, Selected()->bytes);
}

void HistoryWindow::PrintSelected() {
    if (const std::optional<QImage> picture = SelectedPicture()) {
        PrintScreenshot(ToPicture(*picture), services_);
    }
}

void HistoryWindow::ShowSelectedLarge() {
    const std::optional<QImage> picture = SelectedPicture();
    if (!picture)
        return;
    if (large_ == nullptr) {
        large_ = new PictureControl(this);
        large_->setWindowFlag(Qt::Window);
        large_->setObjectName(QStringLiteral("historyLarge"));
        auto* closeKey = new QAction(large_); // Escape closes it, as it does History
        closeKey->setShortcut(QKeySequence::Cancel);
        large_->addAction(closeKey);
        connect(closeKey, &QAction::triggered, large_, &QWidget::close);
    }
    large_->setPicture(*picture);
    large_->setFixedSize(picture->size() * 2);
    large_->setWindowTitle(QStringLiteral("Screenshot of ") + list_->currentItem()->text());
    large_->show();
    large_->raise();
    large_->activateWindow();
}

} // namespace kvd
