#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "capture/CaptureState.h"
#include "platform/SerialPort.h"

namespace kvd {

// The last position at which a marker can start in the receive buffer.
inline constexpr std::size_t MaxMarkerPosition = 30017;

// Appends whatever the port has waiting to the receive buffer.
void DrainPort(CaptureState& state, SerialPort& comm);

// Keeps the receive buffer bounded whatever the line carries; a buffer that can
// still yield a screenshot keeps everything that screenshot needs.
// - No marker and more than MaxMarkerPosition bytes: only a last "B" is kept,
//   the first half of a marker split across reads.
// - A marker beyond MaxMarkerPosition: the noise before it is dropped.
// - More than a screenshot from the marker on: the excess is dropped, as it would
//   be when the screenshot is taken.
void BoundReceiveBuffer(std::string& buffer);

// Bounds the buffer and looks for a whole screenshot in it. When one is there it
// is returned and the buffer is emptied; bytes after it go with the buffer.
std::optional<std::string> TakeScreenshot(CaptureState& state);

} // namespace kvd
