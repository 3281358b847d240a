#pragma once

#include <string>
#include <string_view>

namespace kvd {

// Whether `bytes` are a bitmap file compressed by run lengths: 8-bit (BI_RLE8) or
// 4-bit (BI_RLE4) pixels.
bool IsRunLengthBitmap(std::string_view bytes);

// The run-length compressed bitmap file in `bytes` as an uncompressed 8-bit one
// of the same size and palette. The pixels its runs skip (by a jump, or a line or
// the picture ended early) take the palette's first colour, the same every time;
// a run past the end of its row is cut there.
//
// Empty, with the reason in `whyNot`, when its header is damaged (a run-length
// bitmap is never stored top-down), or it claims more than MaxPicturePixels: no
// room is made for pixels that its header alone claims.
std::string ExpandRunLengthBitmap(std::string_view bytes, std::string& whyNot);

} // namespace kvd
