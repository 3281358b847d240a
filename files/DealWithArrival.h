#pragma once

#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "files/LoadImage.h"
#include "files/ScreenshotArrival.h"

namespace kvd {

// Deals with one arrival the session handed out: a screenshot goes through the
// arrival flow, a picture file is shown as "Load image" shows it, a notice is
// said. The session learns what the picture control shows.
void DealWithArrival(const Arrival& arrival, CaptureSession& session, ArrivalServices& arrivals,
                     LoadServices& load, CaptureView& view);

} // namespace kvd
