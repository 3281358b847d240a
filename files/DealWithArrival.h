#pragma once

#include <functional>

#include "capture/CaptureSession.h"
#include "files/CaptureView.h"
#include "files/LoadImage.h"
#include "files/ScreenshotArrival.h"

namespace kvd {

// Deals with one arrival the session handed out: a screenshot goes through the
// arrival flow, a picture file is shown as "Load image" shows it, a notice is
// said. The session learns what the picture control shows.
void DealWithArrival(const Arrival& arrival, CaptureSession& session, ArrivalServices& arrivals,
                     LoadServices& load, CaptureView& view);

// The arrival loop's one step, as the window, capture without a screen's tests
// and the fuzz target run it: takes the next thing waiting, unless a dialog holds
// it back, and deals with it as under a dialog of its own, so that a question it
// asks holds the next ones back too. `taken` hears when it was taken (the
// caption's count changed). False when nothing was dealt with.
bool DealWithNext(CaptureSession& session, ArrivalServices& arrivals, LoadServices& load,
                  CaptureView& view, const std::function<void()>& taken = {});

} // namespace kvd
