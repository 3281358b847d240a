#pragma once

#include <string>

#include "capture/CaptureView.h"
#include "platform/FileDialog.h"
#include "platform/MessageBoxes.h"
#include "platform/Picture.h"

namespace kvd {

struct LoadServices {
    FileDialog& dialog;
    PictureLoader& pictures;
    MessageBoxes& box;
};

// "Load image": shows a picture file the user picks. It only displays: the held
// screenshot and its saved state do not change. "Save image" and "Disable Save"
// are switched off whatever the outcome; the next screenshot switches them on.
// Cancel ends silently; a file that does not load is said, and the picture stays.
void OnLoadImageClicked(LoadServices& services, CaptureView& view);

// Shows a picture file as "Load image" does once a file is picked: the same
// checks, the same message for a file that is not a picture, "Save image" and
// "Disable Save" off. Used for a file dropped on the window or named at start.
void ShowPictureFile(const std::string& path, LoadServices& services, CaptureView& view);

} // namespace kvd
