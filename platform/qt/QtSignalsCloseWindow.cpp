#include "platform/qt/QtSignalsCloseWindow.h"

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kvd {

namespace {

constexpr int Stops[] = {SIGINT, SIGTERM, SIGHUP};

// Written by the handler, read on the window's thread: a handler may do little
// more than write.
int Pipe[2] = {-1, -1};

void Heard(int) {
    const char signal = 1;
    [[maybe_unused]] const ssize_t written = ::write(Pipe[1], &signal, 1);
}

} // namespace

SignalsCloseWindow::SignalsCloseWindow(QWidget& window) : QObject(&window) {
    if (::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the system's own ending, as before
    heard_ = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
    connect(heard_, &QSocketNotifier::activated, &window, [&window] {
        char heard[16];
        while (::read(Pipe[0], heard, sizeof heard) > 0) {
        }
        window.close();
    });
    for (const int stop : Stops)
        std::signal(stop, Heard);
}

SignalsCloseWindow::~SignalsCloseWindow() {
    if (heard_ == nullptr)
        return;
    for (const int stop : Stops)
        std::signal(stop, SIG_DFL);
    ::close(Pipe[0]);
    ::close(Pipe[1]);
    Pipe[0] = Pipe[1] = -1;
}

} // namespace kvd
