#pragma once

#include <QWidget>
#include <optional>

#include "capture/SessionHistory.h"
#include "flows/ExportFlow.h"
#include "flows/Services.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace kvd {

class PictureControl;

// "History": every screenshot of the session as a thumbnail at its own pixel
// size with its arrival time, newest first, and the blocks dropped as unreadable
// with the reason. The current one can be saved (Ctrl+S), copied (Ctrl+C),
// printed, or shown large (Enter); the selected ones (Shift and Ctrl pick
// several) exported as PNG files, and as one PDF, of all when fewer than two
// are selected. It reads the history only while it is open.
class HistoryWindow final : public QWidget {
    Q_OBJECT

public:
    HistoryWindow(const SessionHistory& history, Services& services, ExportChoices& exportChoices,
                  QWidget* parent);

    // Lists what came since it last looked; nothing while it is closed.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void AddNewest();
    void ShowCount();
    void SelectionChanged();
    const HistoryEntry* Selected() const;
    std::optional<QImage> SelectedPicture() const;
    void SaveSelected();
    void CopySelected();
    void PrintSelected();
    void ShowSelectedLarge();
    std::vector<HistoryEntry> ToExport() const;

    const SessionHistory& history_;
    Services& services_;
    ExportChoices& exportChoices_;
    QListWidget* list_;
    QLabel* count_;
    QPushButton* save_;
    QPushButton* copy_;
    QPushButton* print_;
    QPushButton* showLarge_;
    QPushButton* exportPng_;
    QPushButton* exportPdf_;
    PictureControl* large_ = nullptr;
    std::uint64_t listedSerial_ = 0;
};

} // namespace kvd
