#pragma once

#include <string_view>

#include "capture/CaptureSession.h"
#include "flows/CaptureView.h"
#include "flows/Services.h"

namespace kvd {

// The name of the temporary file each new screenshot is written to as it is
// shown. Its folder is chosen by the platform (a directory private to the user)
// and handed in.
inline constexpr std::string_view TempImageName = "kvd62temp.bmp";

// A whole screenshot has arrived, read: offers to save the shown one if it is
// unsaved (unless saving is disabled), makes the new one current and shows it,
// writes it to the temporary file, and marks it unsaved. When the temporary
// file cannot be written the screenshot is shown all the same.
// With a save folder, the new screenshot is written there, named after the
// moment it arrived (so that a burst dealt with later still sorts in arrival
// order), and so counts as saved; a write that fails is said once, and the
// screenshot stays unsaved, so the question still protects it when the next one
// arrives.
void ShowNewScreenshot(CaptureSession& session, const Arrival& arrival, Services& services,
                       CaptureView& view);

} // namespace kvd
