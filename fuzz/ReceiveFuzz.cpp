// Arbitrary bytes down the line, cut into arbitrary reads, with dialogs opening
// and closing at arbitrary moments: the receive path as the window runs it (the
// session's tick with its drain, cut and bound, the waiting queue, the arrival
// loop with its question), with the real picture reader and fakes for the rest. After
// every step: the shown screenshot is none or exactly a screenshot's worth of
// consecutive bytes of the stream starting with the marker, and the buffer and
// the queue stay within their bounds.
//
// Half the inputs are noise, or screenshots that lost bytes on the line,
// followed by a whole screenshot, read in arbitrary pieces. After noise the
// screenshot must be found, unless a block the noise started was itself a
// readable picture (the first marker wins); after damaged screenshots, always.
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <vector>

#include "capture/ReceiveBuffer.h"
#include "flows/ArrivalLoop.h"
#include "flows/ArrivalPump.h"
#include "platform/qt/QtPictureLoader.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestBitmap.h"

namespace {

using namespace kvd;

void Require(bool holds) {
    if (!holds)
        std::abort();
}

void CheckInvariants(const CaptureSession& session, const std::string& stream,
                     const test::FakeCaptureView& view) {
    // No more pixels than 2750 bytes can describe: two bytes of run-length data
    // give at most 255.
    if (view.picture)
        Require(std::int64_t(view.picture->width) * view.picture->height <=
                std::int64_t(ScreenshotSize / 2 * 255));
    Require(session.bytesReceived() <= MaxMarkerPosition + ScreenshotSize);
    Require(session.waitingCount() <= WaitingArrivals::Capacity);
    const std::string& current = session.currentScreenshot();
    if (current.empty())
        return;
    Require(current.size() == ScreenshotSize);
    Require(current.compare(0, ScreenshotMarker.size(), ScreenshotMarker) == 0);
    Require(stream.find(current) != std::string::npos);
}

// What the session keeps of what it dealt with: the screenshot is among the
// readable ones, or, where that is allowed, a block before it was a readable
// picture of its own.
void RequireFound(const SessionHistory& history, const std::string& screenshot,
                  bool orOtherPicture) {
    bool found = false, otherPicture = false;
    for (std::size_t i = 0; i < history.size(); ++i) {
        const HistoryEntry& entry = history.at(i);
        if (!entry.dropped())
            (entry.bytes == screenshot ? found : otherPicture) = true;
    }
    Require(found || (orOtherPicture && otherPicture));
}

// A screenshot that lost bytes on the line without a word, as a busy adapter
// loses them: one to three runs, the first at least as long as the part of a
// header that tells. The first one sent may lose them anywhere; one after it,
// only past its header (a damaged header makes it noise to the block before it,
// and what follows noise may be hidden: the first marker wins).
std::string Damaged(FuzzedDataProvider& input, bool first) {
    std::string shot = test::TwoColourBitmap(input.ConsumeIntegral<std::uint32_t>());
    const std::size_t from = first ? 0 : ScreenshotHeader.size();
    const int runs = input.ConsumeIntegralInRange(1, 3);
    for (int run = 0; run < runs && shot.size() > from; ++run) {
        const std::size_t least = run == 0 ? ScreenshotHeaderTells : 1;
        const std::size_t at = input.ConsumeIntegralInRange(from, shot.size() - least);
        shot.erase(at, input.ConsumeIntegralInRange(least, ScreenshotSize));
    }
    return shot;
}

// The window's services with its picture loader. The temporary file is
// nowhere writable: it fails, and the screenshot is shown all the same, as it
// is when the runtime folder is unwritable.
struct Rig : test::ServicesOf<QtPictureLoader> {
    test::FakeCaptureView view;
    CaptureSession session{comm, pictures, hold};
    ArrivalsOnScreen arrivals{session, services, view};
    ArrivalPump pump{session, hold, arrivals, queueLater()};

    Rig() {
        services.tempImagePath = "/nonexistent-kvd62/kvd62temp.bmp";
        comm.present = {1};
        session.startUp(std::nullopt);
        Require(comm.isOpen());
    }
    // One poll, and the event loop's turns after it, each followed by `check`.
    template <typename Check> void tick(const std::string& read, Check check) {
        comm.arrive(read);
        pump.poll(0);
        runLater(check);
        check();
    }
};

void SomethingThenScreenshot(FuzzedDataProvider& input, Rig& rig) {
    SessionHistory history;
    rig.session.keepHistoryIn(&history);
    rig.session.saveDisabledChanged(CheckMark::Checked); // no question between the arrivals
    const std::string screenshot = test::TwoColourBitmap(input.ConsumeIntegral<std::uint32_t>());
    const bool damaged = input.ConsumeBool();
    std::string line;
    if (damaged) {
        const int count = input.ConsumeIntegralInRange(1, 2);
        for (int sent = 0; sent < count; ++sent)
            line += Damaged(input, sent == 0);
    } else {
        line = input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 6000));
    }
    line += screenshot;
    while (!line.empty()) {
        const std::size_t piece =
            std::min(line.size(), input.ConsumeIntegralInRange<std::size_t>(1, 3000));
        rig.tick(line.substr(0, piece), [] {});
        line.erase(0, piece);
    }
    RequireFound(history, screenshot, !damaged);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Rig rig;
    if (input.ConsumeBool()) {
        SomethingThenScreenshot(input, rig);
        return 0;
    }
    // Dialogs opened and closed as the input says, each holding arrivals.
    std::vector<std::unique_ptr<ArrivalHold::Taken>> dialogs;
    std::string stream;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            dialogs.push_back(std::make_unique<ArrivalHold::Taken>(rig.hold));
            break;
        case 1:
            if (!dialogs.empty())
                dialogs.pop_back();
            break;
        case 2:
            rig.session.saveDisabledChanged(rig.session.saveDisabled() ? CheckMark::Unchecked
                                                                       : CheckMark::Checked);
            break;
        default:
            rig.box.answers.push_back(input.ConsumeBool() ? DialogAnswer::No : DialogAnswer::Yes);
            break;
        }
        // One tick's read, up to the driver's 6000 bytes, arriving on one tick or
        // on several in a row (so that a short input can make a long line).
        const int ticks = input.ConsumeIntegralInRange(1, 16);
        const std::string read = input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 6000));
        for (int tick = 0; tick < ticks; ++tick) {
            stream += read;
            rig.tick(read, [&] { CheckInvariants(rig.session, stream, rig.view); });
        }
    }
    return 0;
}
