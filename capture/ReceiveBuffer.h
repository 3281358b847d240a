#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "capture/CaptureState.h"
#include "capture/WaitingArrivals.h"
#include "platform/SerialPort.h"

namespace kvd {

// The last position at which a marker can start in the receive buffer. The
// marker's position is kept in a 16-bit field (CaptureState::MarkerPosition), so
// a whole screenshot must end within 32767 bytes: 32767 - 2750 = 30017.
inline constexpr std::size_t MaxMarkerPosition = 32767 - ScreenshotSize;

// Appends whatever the port has waiting to the receive buffer.
void DrainPort(CaptureState& state, SerialPort& comm);

// Keeps the receive buffer bounded whatever the line carries; a buffer that can
// still yield a screenshot keeps everything that screenshot needs.
// - No marker and more than MaxMarkerPosition bytes: only a last "B" is kept,
//   the first half of a marker split across reads.
// - A marker beyond MaxMarkerPosition: the noise before it is dropped.
void BoundReceiveBuffer(std::string& buffer);

// Cuts every whole screenshot out of the receive buffer, in order, and adds it
// to the waiting screenshots, stamped `now`. What precedes a screenshot's marker
// goes with it; what follows the last one stays, as the start of the next
// screenshot. A block whose header claims more than its bytes hold, or that does
// not read, waits too, as unreadable with the reason, but only its marker leaves
// the buffer: a screenshot that starts inside it is still found. A block that
// holds a screenshot's header (ScreenshotHeader) again past its start was cut
// short, by bytes the line lost: it ends there and waits as unreadable, and the
// cutting goes on from that header, so a loss costs one screenshot, not also the
// next. The header may run on past the block into what has arrived after it;
// where that ends, its first ScreenshotHeaderTells bytes are enough. The rest
// is bounded. Returns how many blocks were cut.
//
// `read` reads a block as a picture, with the real picture reader, and the
// screenshot waits with its picture; without it, only what its header claims
// is checked.
using BlockReader =
    std::function<std::optional<Picture>(std::string_view block, std::string& whyNot)>;
std::size_t CutScreenshots(CaptureState& state, WaitingArrivals& waiting, std::time_t now = 0,
                           const BlockReader& read = {});

} // namespace kvd
