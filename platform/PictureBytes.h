#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvd {

// Why the picture file in `bytes` cannot be whole, read from what it says of
// itself; empty when nothing says so. A reader fills what a file lacks with
// whatever memory held, so a picture cut short must be refused before it is
// decoded:
// - a bitmap must hold every row its header claims (for run-length compressed
//   ones: no more pixels than its bytes can describe), with a header of a kind
//   bitmaps have;
// - a JPEG must reach its end marker after its last scan.
// Other formats say themselves when they are cut short.
std::string WhyPictureIsCutShort(std::string_view bytes);

// The bitmap rule alone, for a bitmap file of `size` bytes whose first bytes are
// `start`: empty when the picture its header claims fits in `size` bytes, or
// when too little of the header is there yet to tell.
std::string WhyBitmapCannotFit(std::string_view start, std::size_t size);

} // namespace kvd
