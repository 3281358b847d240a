#include "capture/PollCycle.h"

#include "capture/ExtractFrame.h"

namespace kvd {

void DrainPort(CaptureState& state, SerialPort& comm) {
    if (comm.bytesWaiting() != 0)
        state.ReceiveBuffer += comm.read();
}

void BoundReceiveBuffer(std::string& buffer) {
    const std::size_t marker = buffer.find(ScreenshotMarker);
    if (marker == std::string::npos) {
        if (buffer.size() > MaxMarkerPosition)
            buffer = buffer.back() == ScreenshotMarker.front() ? buffer.substr(buffer.size() - 1)
                                                               : std::string{};
        return;
    }
    if (marker + 1 > MaxMarkerPosition)
        buffer.erase(0, marker);
}

std::size_t CutScreenshots(CaptureState& state, WaitingArrivals& waiting, std::time_t now) {
    std::size_t cut = 0;
    while (true) {
        BoundReceiveBuffer(state.ReceiveBuffer);
        Extraction found = ExtractFrame(state.ReceiveBuffer);
        if (found.status == FrameStatus::NoMarker)
            return cut;
        state.MarkerPosition = static_cast<std::int16_t>(found.markerPosition);
        if (found.status == FrameStatus::Incomplete)
            return cut;
        state.ReceiveBuffer.erase(0, found.markerPosition - 1 + ScreenshotSize);
        waiting.add({Arrival::Kind::Screenshot, std::move(found.frame), now});
        ++cut;
    }
}

} // namespace kvd
