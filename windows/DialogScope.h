#pragma once

#include <functional>
#include <utility>

#include "capture/CaptureSession.h"

namespace kvd {

// One of the program's dialogs is open for the scope's lifetime: arrivals wait
// meanwhile, and when the last one closes, `afterLast` deals with what waited.
class [[nodiscard]] DialogScope {
public:
    DialogScope(CaptureSession& session, std::function<void()> afterLast)
        : session_(session), afterLast_(std::move(afterLast)) {
        session_.dialogOpened();
    }
    ~DialogScope() {
        session_.dialogClosed();
        afterLast_();
    }
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;

private:
    CaptureSession& session_;
    std::function<void()> afterLast_;
};

// Opens a dialog scope: each window that asks the user something holds one.
using OpenDialog = std::function<DialogScope()>;

} // namespace kvd
