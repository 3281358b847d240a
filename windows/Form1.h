#pragma once

#include <QByteArray>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "capture/CaptureState.h"
#include "capture/CaptureView.h"
#include "capture/PortLink.h"
#include "capture/PortSelector.h"
#include "capture/SerialLink.h"
#include "capture/WaitingScreenshots.h"
#include "files/LoadImage.h"
#include "files/SaveFlow.h"
#include "files/ScreenshotArrival.h"
#include "files/ScreenshotFolder.h"
#include "windows/Services.h"

class QAction;
class QTimer;

namespace Ui {
class Form1;
}

namespace kvd {

class Form2;

// The main window: the shown screenshot on the left; the port selector, the
// "Print Image", "Load image" and "Save image" buttons and the "Disable Save" check
// box on the right. It owns the capture state and the poll timer and wires the
// controls' events to the program's steps.
class Form1 : public QWidget, public CaptureView, public PortSelector {
    Q_OBJECT

public:
    explicit Form1(Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence: initial state, "Save image" disabled, the port probe,
    // then the port asked for on the command line, if any, as if typed.
    void StartUp(const std::optional<std::string>& port = std::nullopt);
    // Says once, after start-up, when no port could be opened.
    void ReportPortProblems();
    // From now on every screenshot that arrives is saved into the folder too, and
    // counts as saved; the caption says so.
    void SaveEveryScreenshotTo(const std::filesystem::path& folder);
    // Shows a picture file as "Load image" does (a dropped or a named file).
    void ShowPictureFile(const std::string& path);
    // Puts the shown picture on the clipboard at its own pixel size, with the
    // bitmap file's bytes for programs that take a file.
    void CopyScreenshot();
    // The poll timer's tick: keeps the link up (a lost port is retried quietly, as
    // the same device, until it comes back), drains the port and cuts every
    // whole screenshot out of what came. Screenshots are shown from the event loop,
    // one at a time, in arrival order; while one of the window's dialogs is open
    // they wait, so no question is stacked on another and nothing is replaced
    // under a dialog.
    void OnPollTick();
    // "Print Image": the shown picture with a typed comment, on the default printer.
    void PrintScreenshot();

    CaptureState& state() { return state_; }
    // How many whole screenshots wait to be shown.
    std::size_t waitingCount() const { return waiting_.count(); }
    QTimer* Timer1 = nullptr;

    // CaptureView
    void setSaveEnabled(bool enabled) override;
    void setDisableSaveEnabled(bool enabled) override;
    void showPicture(const Picture& picture) override;

    // PortSelector
    void addPort(const std::string& entry, const std::string& device) override;
    std::string firstPort() const override;
    void setText(const std::string& text) override;

protected:
    // A single local file may be dropped on the window to be shown.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Ctrl+C in the port box copies the screenshot too.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One of the window's dialogs is open for the scope's lifetime; when the last
    // one closes, the screenshots that waited are shown.
    class DialogScope;

    void OnSelectorEdited();
    void ConfigureFromSelector(bool dtrFirst);
    void ShowPortState();
    void OnDisableSaveClicked();
    void ShowWaitingLater();
    void ShowNextWaiting();
    void ReportDroppedScreenshots();
    void ShowCaption();

    std::unique_ptr<Ui::Form1> ui_;
    Services& services_;
    SaveServices saveServices_;
    ArrivalServices arrivalServices_;
    LoadServices loadServices_;
    CaptureState state_;
    ProbeReport probe_;
    PortLink link_;
    PortState shownState_ = PortState::Closed;
    std::string shownPort_;
    // A typed device path is opened once the typing pauses, not on each keystroke.
    QTimer* pathPause_ = nullptr;
    WaitingScreenshots waiting_;
    QString caption_;
    bool portGiven_ = false;
    std::optional<ScreenshotFolder> folder_;
    QAction* copyAction_ = nullptr;
    // The shown screenshot's file bytes; empty for a loaded picture.
    QByteArray shownFile_;
    std::unique_ptr<Form2> form2_;
};

} // namespace kvd
