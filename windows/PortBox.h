#pragma once

#include <QObject>
#include <chrono>
#include <optional>
#include <string>

#include "capture/CaptureSession.h"

class QAction;
class QComboBox;
class QTimer;

namespace kvd {

// The port selector, Combo1: lists the ports the probe found, hands what the
// user types or picks to the session, and shows how the link stands (red text
// while no port is open, the device and its state in the tooltip).
class PortBox final : public QObject {
    Q_OBJECT

public:
    // Ctrl+C in the box triggers `copy`, as everywhere else in the window.
    PortBox(QComboBox* combo, CaptureSession& session, QAction* copy, QObject* parent);

    // Lists the ports start-up found, with the text it gives, and shows the port
    // the link is on.
    void fill(const PortList& ports);
    void showState();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose(PortChoice how);
    void waitForTyping(std::chrono::milliseconds wait);

    QComboBox* combo_;
    CaptureSession& session_;
    QAction* copy_;
    // Asks the session again once the typing of a device path may have paused.
    QTimer* typingPause_;
};

} // namespace kvd
