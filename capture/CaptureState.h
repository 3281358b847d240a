#pragma once

#include <cstdint>
#include <string>

#include "capture/ScreenshotFormat.h"

namespace kvd {

// The main window's mutable state. One instance lives as long as the window; it
// is touched only on the user-interface thread, and nothing in it is persisted.
// ReceiveBuffer and ImageData hold raw bytes, one char per received byte.
struct CaptureState {
    // Probe stage during start-up (1, then 2); later the last message-box answer
    // of the save flow, or 0 when no overwrite question was asked.
    std::int16_t Answer = 1;
    // True when the screenshot in ImageData needs no arrival prompt: there is
    // none yet, it was saved, or the user declined to save it.
    bool CurrentSaved = true;
    // True from a press of "Save image" until its Save dialog starts.
    bool SaveRequested = false;
    // Everything read from the port since the last complete screenshot.
    std::string ReceiveBuffer;
    // 1-based position in ReceiveBuffer of the first marker the last extraction found.
    std::int16_t MarkerPosition = 0;
    // Mirrors the "Disable Save" check box.
    bool SaveDisabled = false;
    // The last complete screenshot: ScreenshotSize bytes, or empty before the first.
    std::string ImageData;
};

} // namespace kvd
