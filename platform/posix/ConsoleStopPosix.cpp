#include "platform/ConsoleStop.h"

#include <csignal>

namespace kvd {

namespace {

volatile std::sig_atomic_t stopAsked = 0;

// A signal only marks the stop; the next poll sees it. Another signal while the
// last screenshots are saved changes nothing: a file being written is always
// completed.
void AskToStop(int) {
    stopAsked = 1;
}

} // namespace

ConsoleStop::ConsoleStop() {
    std::signal(SIGINT, AskToStop);
    std::signal(SIGTERM, AskToStop);
    std::signal(SIGHUP, AskToStop); // its terminal closed, or the ssh session dropped
}

ConsoleStop::~ConsoleStop() = default;

bool ConsoleStop::asked() const {
    return stopAsked != 0;
}

void ConsoleStop::saving(bool) {}

} // namespace kvd
