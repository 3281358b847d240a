// Arbitrary bytes down the line, cut into arbitrary reads, with dialogs opening
// and closing at arbitrary moments: the receive path as the window runs it (the
// session's tick with its drain, cut and bound, the waiting queue, the arrival
// with its question), on the test fakes. After every step: the shown screenshot is none or exactly
// a screenshot's worth of consecutive bytes of the stream starting with the marker, and the buffer
// and the queue stay within their bounds.
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

#include "capture/PollCycle.h"
#include "files/DealWithArrival.h"
#include "platform/StdFileSystem.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/DiskWorkerInPlace.h"

namespace {

using namespace kvd;

void Require(bool holds) {
    if (!holds)
        std::abort();
}

void CheckInvariants(const CaptureSession& session, const std::string& stream) {
    const CaptureState& state = session.state();
    Require(state.ReceiveBuffer.size() <= MaxMarkerPosition + ScreenshotSize);
    Require(session.waitingCount() <= WaitingArrivals::Capacity);
    if (state.ImageData.empty())
        return;
    Require(state.ImageData.size() == ScreenshotSize);
    Require(state.ImageData.compare(0, ScreenshotMarker.size(), ScreenshotMarker) == 0);
    Require(stream.find(state.ImageData) != std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    test::FakeSerialPort comm;
    comm.present = {1};
    CaptureSession session(comm);
    session.startUp(std::nullopt);
    Require(comm.isOpen());

    test::FakeFileDialog dialog;
    StdFileSystem files;
    test::FakeMessageBox box;
    test::FakePictureLoader pictures;
    test::FakeCaptureView view;
    DiskWorkerInPlace disk;
    SaveServices save{dialog, files, box, disk};
    // Nowhere writable: the temporary file fails, and the arrival shows the
    // screenshot from memory, as it does when the runtime folder is unwritable.
    ArrivalServices arrival{save, pictures, "/nonexistent-kvd62/kvd62temp.bmp"};
    LoadServices load{dialog, pictures, box};

    std::string stream;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            session.dialogOpened();
            break;
        case 1:
            session.dialogClosed();
            break;
        case 2:
            session.saveDisabledChanged(!session.state().SaveDisabled);
            break;
        default:
            box.answers.push_back(input.ConsumeBool() ? DialogAnswer::No : DialogAnswer::Yes);
            break;
        }
        // One tick's read, up to the driver's 6000 bytes, arriving on one tick or
        // on several in a row (so that a short input can make a long line).
        const int ticks = input.ConsumeIntegralInRange(1, 16);
        const std::string read = input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 6000));
        for (int tick = 0; tick < ticks; ++tick) {
            stream += read;
            comm.arrive(read);
            session.tick();
            while (DealWithNext(session, arrival, load, view)) // the window's own loop
                CheckInvariants(session, stream);
            CheckInvariants(session, stream);
        }
    }
    return 0;
}
