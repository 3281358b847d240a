// Arbitrary bytes down the line, cut into arbitrary reads, with dialogs opening
// and closing at arbitrary moments: the receive path as the window runs it (the
// tick's drain, cut and bound, the waiting queue, the arrival with its question),
// on the test fakes. After every step: the shown screenshot is none or exactly a
// screenshot's worth of consecutive bytes of the stream starting with the
// marker, and the buffer and the queue stay within their bounds.
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

#include "capture/PollCycle.h"
#include "files/ScreenshotArrival.h"
#include "platform/StdFileSystem.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"

namespace {

using namespace kvd;

void Require(bool holds) {
    if (!holds)
        std::abort();
}

void CheckInvariants(const CaptureState& state, const WaitingScreenshots& waiting,
                     const std::string& stream) {
    Require(state.ReceiveBuffer.size() <= MaxMarkerPosition + ScreenshotSize);
    Require(waiting.count() <= WaitingScreenshots::Capacity);
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
    comm.setPort(PortAddress::number(1));
    Require(comm.open().ok());

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

    CaptureState state;
    WaitingScreenshots waiting;
    std::string stream;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            waiting.dialogOpened();
            break;
        case 1:
            waiting.dialogClosed();
            break;
        case 2:
            state.SaveDisabled = !state.SaveDisabled;
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
            DrainPort(state, comm);
            CutScreenshots(state, waiting);
            while (auto frame = waiting.next()) {
                ShowNewScreenshot(state, *frame, arrival, view);
                CheckInvariants(state, waiting, stream);
            }
            CheckInvariants(state, waiting, stream);
        }
    }
    return 0;
}
