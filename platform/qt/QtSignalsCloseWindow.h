#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace kvd {

// The window's answer to the signals that end a program: Ctrl+C in the terminal
// it was started from (SIGINT), the terminal closed (SIGHUP), a logout or `kill`
// (SIGTERM). Left to the system, each would end the program at once, with the
// port's lock file left behind. While one of these lives, each closes the
// window instead, as its close button does. Linux and other Unix systems.
class SignalsCloseWindow final : public QObject {
public:
    explicit SignalsCloseWindow(QWidget& window);
    ~SignalsCloseWindow() override;

private:
    QSocketNotifier* heard_ = nullptr;
};

} // namespace kvd
