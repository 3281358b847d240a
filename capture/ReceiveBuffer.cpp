#include "capture/ReceiveBuffer.h"

#include <algorithm>

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
// noise, a screenshot whose header a line error damaged), from its marker on:
// it will be dropped as unreadable, but the next screenshot may start inside
// it, so the search goes on at the next marker in it whose header, as far as it
// has arrived, does not rule it out. A marker may run on past the block: a last
// "B" with nothing after it yet stays. Markers it skips belong to the block
// dropped, and are not dropped again.
std::size_t NextCandidate(std::string_view fromMarker) {
    std::size_t next = fromMarker.find(ScreenshotMarker, ScreenshotMarker.size());
    while (next < ScreenshotSize &&
           !WhyBitmapCannotFit(fromMarker.substr(next), ScreenshotSize).empty())
        next = fromMarker.find(ScreenshotMarker, next + 1);
    if (next < ScreenshotSize)
        return next;
    const bool halfMarker =
        fromMarker.size() == ScreenshotSize && fromMarker.back() == ScreenshotMarker.front();
    return halfMarker ? ScreenshotSize - 1 : ScreenshotSize;
}

// Whether `bytes` start with a screenshot's header, as far as they go: all of
// it, or, at the end of what has arrived, at least the part that tells.
bool StartsWithScreenshotHeader(std::string_view bytes) {
    const std::size_t arrived = std::min(bytes.size(), ScreenshotHeader.size());
    if (arrived < ScreenshotHeaderTells)
        return false;
    for (std::size_t i = 0; i < arrived; ++i) {
        const bool reserved = i >= ScreenshotHeaderReservedAt &&
                              i < ScreenshotHeaderReservedAt + ScreenshotHeaderReservedSize;
        if (!reserved && bytes[i] != ScreenshotHeader[i])
            return false;
    }
    return true;
}

// Where a screenshot's header starts again inside the block that starts
// `fromMarker` (what has arrived from its marker on): there the next screenshot
// starts, so bytes of this one were lost on the line (or it was a "BM" in
// noise). The header may run on past the block. npos when it holds none.
std::size_t HeaderInside(std::string_view fromMarker) {
    for (std::size_t at = fromMarker.find(ScreenshotMarker, 1); at < ScreenshotSize;
         at = fromMarker.find(ScreenshotMarker, at + 1))
        if (StartsWithScreenshotHeader(fromMarker.substr(at)))
            return at;
    return std::string_view::npos;
}

// A block cut at a marker, as it waits, and how much of the buffer it takes
// from its marker on.
struct CutBlock {
    Arrival arrival;
    std::size_t taken = 0;
};

// A block is a screenshot when it holds no other screenshot's start, its
// header's picture fits in it, and it reads as a picture. One cut short ends
// where the next screenshot starts; the rest of one that is no screenshot
// leaves the buffer only up to the next candidate in it.
CutBlock JudgeBlock(std::string_view fromMarker, std::string frame, std::time_t now,
                    const BlockReader& read) {
    const std::size_t nextHeader = HeaderInside(fromMarker);
    if (nextHeader != std::string_view::npos) {
        frame.resize(nextHeader);
        return {{.kind = Arrival::Kind::Unreadable,
                 .bytes = std::move(frame),
                 .arrived = now,
                 .text = "it is cut short after " + std::to_string(nextHeader) +
                         " bytes, where another screenshot starts"},
                nextHeader};
    }
    std::optional<Picture> picture;
    std::string whyNot = WhyBitmapCannotFit(frame, ScreenshotSize);
    if (whyNot.empty() && read)
        picture = read(frame, whyNot);
    const bool screenshot = whyNot.empty();
    const std::size_t taken = screenshot ? ScreenshotSize : NextCandidate(fromMarker);
    return {{.kind = screenshot ? Arrival::Kind::Screenshot : Arrival::Kind::Unreadable,
             .bytes = std::move(frame),
             .arrived = now,
             .picture = std::move(picture),
             .text = std::move(whyNot)},
            taken};
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
        const std::size_t marker = found.markerPosition - 1;
        CutBlock block = JudgeBlock(std::string_view(state.ReceiveBuffer).substr(marker),
                                    std::move(found.frame), now, read);
        state.ReceiveBuffer.erase(0, marker + block.taken);
        waiting.add(std::move(block.arrival));
        ++cut;
    }
}

} // namespace kvd
