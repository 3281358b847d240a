#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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
// - a JPEG must reach its end marker after its last scan;
// - a PNG must reach its end chunk, each chunk a reader needs matching its
//   checksum on the way.
// Other formats say themselves when they are cut short.
std::string WhyPictureIsCutShort(std::string_view bytes);

// The bitmap rule alone, for a bitmap file of `size` bytes whose first bytes are
// `start`: empty when the picture its header claims fits in `size` bytes, or
// when too little of the header is there yet to tell.
std::string WhyBitmapCannotFit(std::string_view start, std::size_t size);

struct PixelSize {
    std::int64_t width = 0, height = 0;
};

// The size a GIF file's picture is made at, from what the file says before its
// pixels: its logical screen, or where that is left 0, as far as its first frame
// reaches. None when `bytes` are no GIF or end before saying.
std::optional<PixelSize> GifPictureSize(std::string_view bytes);

} // namespace kvd
