#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "capture/CaptureState.h"
#include "capture/WaitingArrivals.h"
#include "files/CaptureView.h"
#include "files/SaveFlow.h"
#include "files/ScreenshotFolder.h"
#include "platform/Outcome.h"
#include "platform/Picture.h"

namespace kvd {

// The name of the file through which each new screenshot is shown. Its folder is
// chosen by the platform (a directory private to the user) and handed in.
inline constexpr std::string_view TempImageName = "kvd62temp.bmp";

struct ArrivalServices {
    SaveServices& save;
    PictureLoader& pictures;
    // The file through which each new screenshot is shown.
    std::filesystem::path tempImagePath;
};

// A whole screenshot has arrived: offers to save the shown one if it is unsaved
// (unless saving is disabled), makes the new one current, writes it to the
// temporary file and shows it from there, and marks it unsaved. A frame that is
// not a readable bitmap is dropped before anything changes: the outcome is then
// a failure with what the bitmap reader said of it. When the temporary file
// cannot be written the screenshot is shown from memory all the same.
// With a save `folder`, the new screenshot is written there, named after the
// moment it arrived (so that a burst dealt with later still sorts in arrival
// order), and so counts as saved; a write that fails is said once, and the
// screenshot stays unsaved, so the question still protects it when the next one
// arrives.
Outcome ShowNewScreenshot(CaptureState& state, const Arrival& arrival,
                          std::optional<std::filesystem::path> folder, ArrivalServices& services,
                          CaptureView& view);

} // namespace kvd
