#include "capture/ExtractFrame.h"

#include "capture/ScreenshotFormat.h"

namespace kvd {

Extraction ExtractFrame(std::string_view receiveBuffer) {
    Extraction result;
    const std::size_t marker = receiveBuffer.find(ScreenshotMarker);
    if (marker == std::string_view::npos)
        return result;

    result.markerPosition = marker + 1;
    const std::string_view fromMarker = receiveBuffer.substr(marker);
    if (fromMarker.size() < ScreenshotSize) {
        result.status = FrameStatus::Incomplete;
        return result;
    }
    result.status = FrameStatus::Complete;
    result.frame.assign(fromMarker.substr(0, ScreenshotSize));
    return result;
}

} // namespace kvd
