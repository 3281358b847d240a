#pragma once

#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "capture/CaptureSession.h"
#include "flows/ArrivalLoop.h"
#include "flows/ArrivalPump.h"
#include "flows/CaptureView.h"
#include "flows/ExportFlow.h"
#include "flows/Services.h"

class QTimer;

namespace Ui {
class Form1;
}

namespace kvd {

class HistoryWindow;
class PictureMenu;
class PortBox;

// The main window: the shown screenshot on the left; the port selector, the
// "Print Image", "Load image" and "Save image" buttons and the "Disable Save" check
// box on the right. It shows what the capture session decides and wires the
// controls' events and the poll timer to the program's steps.
class Form1 : public QWidget, public CaptureView {
    Q_OBJECT

public:
    explicit Form1(Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence: initial state, "Save image" disabled, the port probe
    // (or the port asked for on the command line), the selector filled.
    void StartUp(const std::optional<std::string>& port = std::nullopt);
    // Says once, after start-up, when no port could be opened.
    void ReportPortProblems();
    // From now on every screenshot that arrives is saved into the folder too, and
    // counts as saved; the caption says so. No folder: back to asking.
    void SaveEveryScreenshotTo(std::optional<std::filesystem::path> folder);
    // The picture's menu: "Save every screenshot to folder..." asks for the folder
    // and then does as above; "Stop saving to folder" goes back to asking.
    void ChooseSaveFolder();
    // Shows a picture file as "Load image" does (a dropped or a named file),
    // once what arrived before it has been dealt with.
    void ShowPictureFileInTurn(const std::string& path);
    // Puts the shown picture on the clipboard at its own pixel size, with the
    // bitmap file's bytes for programs that take a file.
    void CopyScreenshot();
    // "Export as PNG...": the shown picture enlarged, at a scale the user picks.
    void ExportShownPicture();
    // "History...": every screenshot of the session, in its own window.
    void ShowHistory();
    // The poll timer's tick.
    void OnPollTick();
    // "Print Image": the shown picture with a typed comment, on the default printer.
    void OnPrintImageClicked();

    const CaptureSession& session() const { return session_; }
    QTimer* Timer1 = nullptr;

    // CaptureView
    void setSaveEnabled(bool enabled) override;
    void setDisableSaveEnabled(bool enabled) override;
    void showPicture(const Picture& picture) override;

protected:
    // Closing the main window ends the program, whatever else of it is open.
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectControls();
    void Dealt();
    void ShowCaption();

    std::unique_ptr<Ui::Form1> ui_;
    Services& services_;
    CaptureSession session_;
    ArrivalsOnScreen arrivals_;
    ArrivalPump pump_;
    ExportChoices exportChoices_;
    PortBox* portBox_ = nullptr;
    QString caption_;
    PictureMenu* menu_ = nullptr;
    SessionHistory history_;
    HistoryWindow* historyWindow_ = nullptr;
};

} // namespace kvd
