#pragma once

#include <string>

#include "capture/CaptureSession.h"
#include "files/CaptureView.h"
#include "platform/FileDialog.h"
#include "platform/MessageBoxes.h"
#include "platform/Picture.h"

namespace kvd {

struct LoadServices {
    FileDialog& dialog;
    PictureLoader& pictures;
    MessageBoxes& box;
};

// "Load image": the user picks a picture file, shown once what arrived while the
// Open dialog was up has been dealt with. It only displays: the held screenshot
// and its saved state do not change. "Save image" and "Disable Save" are switched
// off whatever the outcome; the next screenshot switches them on. Cancel ends
// silently.
void OnLoadImageClicked(CaptureSession& session, LoadServices& services, CaptureView& view);

// Shows a picture file: a file picked, dropped on the window or named at start.
// "Save image" and "Disable Save" go off; a file that does not load is said, and
// the picture stays. True when it is shown.
bool ShowPictureFile(const std::string& path, LoadServices& services, CaptureView& view);

} // namespace kvd
