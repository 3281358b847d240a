#pragma once

#include <string>

#include "capture/CaptureSession.h"
#include "flows/ArrivalPump.h"
#include "flows/CaptureView.h"
#include "flows/Services.h"

namespace kvd {

// "Load image": the user picks a picture file, shown once what arrived while the
// Open dialog was up has been dealt with. It only displays: the held screenshot
// and its saved state do not change. "Save image" and "Disable Save" are switched
// off whatever the outcome; the next screenshot switches them on. Cancel ends
// silently.
void OnLoadImageClicked(ArrivalPump& pump, Services& services, CaptureView& view);

// Shows a picture file: a file picked, dropped on the window or named at start.
// "Save image" and "Disable Save" go off; a file that does not load is said, and
// the picture stays.
void ShowPictureFile(CaptureSession& session, const std::string& path, Services& services,
                     CaptureView& view);

} // namespace kvd
