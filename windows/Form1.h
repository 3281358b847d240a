#pragma once

#include <QWidget>
#include <memory>

#include "capture/CaptureState.h"
#include "capture/CaptureView.h"
#include "capture/PortSelector.h"
#include "capture/SerialLink.h"
#include "files/LoadImage.h"
#include "files/SaveFlow.h"
#include "files/ScreenshotArrival.h"
#include "windows/Services.h"

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

    // The start-up sequence: initial state, "Save image" disabled, the port probe.
    void StartUp();
    // Says once, after start-up, when no port could be opened.
    void ReportPortProblems();
    // The poll timer's tick: keeps the link up, drains the port, and once a whole
    // screenshot has arrived, shows it from the event loop that runs next. While
    // one of the window's dialogs is open it only drains, so no question is
    // stacked on another and no newer screenshot is replaced by an older one.
    void OnPollTick();
    // "Print Image": the shown picture with a typed comment, on the default printer.
    void PrintScreenshot();

    CaptureState& state() { return state_; }
    QTimer* Timer1 = nullptr;

    // CaptureView
    void setSaveEnabled(bool enabled) override;
    void setDisableSaveEnabled(bool enabled) override;
    void showPicture(const Picture& picture) override;

    // PortSelector
    void addPort(const std::string& entry, const std::string& device) override;
    std::string firstPort() const override;
    void setText(const std::string& text) override;

private:
    // Marks the window busy with a dialog flow for the guard's lifetime.
    class FlowGuard;

    void ConfigureFromSelector(bool dtrFirst);
    void KeepLinkUp();
    void ShowPortState();
    void OnDisableSaveClicked();

    std::unique_ptr<Ui::Form1> ui_;
    Services& services_;
    SaveServices saveServices_;
    ArrivalServices arrivalServices_;
    LoadServices loadServices_;
    CaptureState state_;
    ProbeReport probe_;
    PortAddress port_ = PortAddress::number(1);
    PortState shownState_ = PortState::Closed;
    bool inFlow_ = false;
    std::unique_ptr<Form2> form2_;
};

} // namespace kvd
