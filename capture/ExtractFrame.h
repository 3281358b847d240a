#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvd {

enum class FrameStatus {
    NoMarker,   // the buffer holds no marker
    Incomplete, // a marker, but fewer than ScreenshotSize bytes from it to the end
    Complete,   // a marker and a whole screenshot from it on
};

struct Extraction {
    FrameStatus status = FrameStatus::NoMarker;
    // 1-based position of the first marker; 0 when there is none.
    std::size_t markerPosition = 0;
    // The ScreenshotSize bytes starting at the marker, when Complete; else empty.
    std::string frame;
};

// Finds the first screenshot marker in the received bytes and cuts out the
// screenshot that starts there, if all of it has arrived. Bytes before the marker
// are noise; bytes after the screenshot are not part of it. Only the marker is
// looked at: the bitmap's own header fields are never trusted. The buffer is not
// changed.
Extraction ExtractFrame(std::string_view receiveBuffer);

} // namespace kvd
