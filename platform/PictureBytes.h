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

// What a JPEG file's frame header says of its picture.
struct JpegFrame {
    int width = 0, height = 0;
    // 1 for grey, 3 for colour.
    int components = 0;
};

// The frame of the JPEG file in `bytes` when a PDF can carry the file as it is
// and show the picture this program's reader shows: Huffman-coded (baseline,
// extended or progressive), 8 bits, grey or colour (YCbCr, or RGB where an Adobe
// marker says so), each table its first scan needs defined before it. None for
// anything else (arithmetic coding, 12 bits, CMYK, RGB told only by the
// components' names, a damaged header): such a file is decoded instead. Only the
// headers before the first scan are read; the loader checks that the file is
// whole.
std::optional<JpegFrame> JpegForPdf(std::string_view bytes);

} // namespace kvd
