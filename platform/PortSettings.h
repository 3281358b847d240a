#pragma once

#include <optional>

#include "platform/LineSettings.h"

namespace kvd {

enum class FlowControl { None, Hardware, Software };

// Every setting a serial port was given, as last given: what the port applies
// when it opens (SerialPort keeps it).
struct PortSettings {
    // Which setting was given.
    enum class Part { Line, Flow, Rts, Dtr, InBufferSize, InputLength };

    // None given: the port opens with the line settings it has.
    std::optional<LineSettingsValue> line;
    FlowControl flow = FlowControl::None;
    bool rts = false;
    bool dtr = false;
    // Room the driver keeps for received bytes; 0 leaves the driver's own.
    int inBufferSize = 0;
    // 0 means that a read returns every byte waiting.
    int inputLength = 0;
};

} // namespace kvd
