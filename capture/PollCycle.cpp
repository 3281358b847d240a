#include "capture/PollCycle.h"

#include "capture/ExtractFrame.h"
#include "platform/PictureBytes.h"

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

namespace {

// Where the search goes on after a block that is no screenshot (a "BM" in line
// noise, a screenshot cut short by a line error): it will be dropped as
// unreadable, but the next screenshot may start inside it, so the search goes
// on at the next marker in it whose header does not rule it out. Markers it
// skips belong to the block dropped, and are not dropped again.
std::size_t NextCandidate(std::string_view block) {
    std::size_t next = block.find(ScreenshotMarker, ScreenshotMarker.size());
    while (next != std::string_view::npos &&
           !WhyBitmapCannotFit(block.substr(next), ScreenshotSize).empty())
        next = block.find(ScreenshotMarker, next + 1);
    return next == std::string_view::npos ? ScreenshotSize : next;
}

} // namespace

std::size_t CutScreenshots(CaptureState& state, WaitingArrivals& waiting, std::time_t now,
                           const BlockReader& read) {
    std::size_t cut = 0;
    while (true) {
        BoundReceiveBuffer(state.ReceiveBuffer);
        Extraction found = ExtractFrame(state.ReceiveBuffer);
        if (found.status == FrameStatus::NoMarker)
            return cut;
        state.MarkerPosition = static_cast<std::int16_t>(found.markerPosition);
        if (found.status == FrameStatus::Incomplete)
            return cut;
        // A screenshot is a block whose header's picture fits in it, and that
        // reads as a picture.
        std::optional<Picture> picture;
        std::string whyNot = WhyBitmapCannotFit(found.frame, ScreenshotSize);
        if (whyNot.empty() && read)
            picture = read(found.frame, whyNot);
        const bool screenshot = whyNot.empty();
        const std::size_t marker = found.markerPosition - 1;
        state.ReceiveBuffer.erase(
            0, marker + (screenshot ? ScreenshotSize : NextCandidate(found.frame)));
        waiting.add({screenshot ? Arrival::Kind::Screenshot : Arrival::Kind::Unreadable,
                     std::move(found.frame),
                     now,
                     std::move(picture),
                     {},
                     std::move(whyNot)});
        ++cut;
    }
}

} // namespace kvd
