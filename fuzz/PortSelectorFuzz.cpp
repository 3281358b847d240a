// The port selector as a person uses it: arbitrary edits of its text (keys typed
// or deleted anywhere, a paste over all of it, the text cleared), pauses of any
// length, Enter, picks from its list and poll ticks, on the session with the
// scripted serial port. After every step the port the session last pointed the
// link at is the one named by the last text that stood through a pause, was
// entered or picked, or was a port number as it was typed. Run under the address
// and undefined-behaviour sanitizers, so a text read after it was let go is
// caught however it reads.
#include <chrono>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <string>

#include "capture/CaptureSession.h"
#include "capture/SelectorText.h"
#include "tests/support/FakeServices.h"

namespace {

using namespace kvd;
using namespace std::chrono_literals;

void Require(bool holds) {
    if (!holds)
        std::abort();
}

// What the selector's list offers, as the probe fills it, and names a person
// types: long ones keep their text out of a string's own small buffer.
const char* const Picks[] = {"1", "2", "/dev/ttyUSB0",
                             "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};

// The selector's text and what the session must have done with it.
struct Selector {
    std::string text = "1";
    // The text chosen last, and the one waiting for the typing to pause.
    std::optional<std::string> chosen;
    std::optional<std::string> typing;
    CaptureSession::Clock::time_point typedAt;
};

void Edited(CaptureSession& session, Selector& box, CaptureSession::Clock::time_point now) {
    session.selectorEdited(box.text, now);
    if (StartsLikeDevicePath(box.text)) {
        box.typing = box.text;
        box.typedAt = now;
    } else {
        box.chosen = box.text;
        box.typing.reset();
    }
}

void Chosen(CaptureSession& session, Selector& box, PortChoice how) {
    session.choosePort(box.text, how);
    box.chosen = box.text;
    box.typing.reset();
}

void Edit(FuzzedDataProvider& input, Selector& box) {
    const std::size_t at = input.ConsumeIntegralInRange<std::size_t>(0, box.text.size());
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: // keys typed at the cursor
        box.text.insert(at, input.ConsumeRandomLengthString(8));
        break;
    case 1: // keys deleted after the cursor
        box.text.erase(at, input.ConsumeIntegralInRange<std::size_t>(1, 8));
        break;
    case 2: // a paste over everything
        box.text = input.ConsumeRandomLengthString(300);
        break;
    default:
        box.text.clear();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    test::FakeServices fakes;
    test::FakeSerialPort& comm = fakes.comm;
    comm.present = {1, 2};
    CaptureSession session(comm, fakes.pictures, fakes.hold);
    session.startUp(std::nullopt);

    Selector box;
    auto now = CaptureSession::Clock::time_point{} + 1h;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0:
            Edit(input, box);
            now += std::chrono::milliseconds(input.ConsumeIntegralInRange(0, 300));
            Edited(session, box, now);
            break;
        case 1: { // the typing pauses, for any time at all
            now += std::chrono::milliseconds(input.ConsumeIntegralInRange(0, 2000));
            session.typingPaused(now);
            if (box.typing && now - box.typedAt >= TypingPause) {
                box.chosen = box.typing;
                box.typing.reset();
            }
            break;
        }
        case 2:
            Chosen(session, box, PortChoice::Typed); // Enter
            break;
        case 3:
            box.text = Picks[input.ConsumeIntegralInRange<std::size_t>(0, std::size(Picks) - 1)];
            Chosen(session, box, PortChoice::Picked);
            break;
        default:
            comm.arrive(input.ConsumeRandomLengthString(64));
            session.tick();
            break;
        }
        if (box.chosen)
            Require(comm.port == ReadPortAddress(*box.chosen));
    }
    return 0;
}
