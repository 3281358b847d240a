#pragma once

#include "capture/CaptureView.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Picture.h"

namespace kvd {

struct LoadServices {
    FileDialog& dialog;
    PictureLoader& pictures;
    MessageBox& box;
};

// "Load image": shows a picture file the user picks. It only displays: the held
// screenshot and its saved state do not change. "Save image" and "Disable Save"
// are switched off whatever the outcome; the next screenshot switches them on.
// Cancel ends silently; a file that does not load is said, and the picture stays.
void LoadImage(LoadServices& services, CaptureView& view);

} // namespace kvd
