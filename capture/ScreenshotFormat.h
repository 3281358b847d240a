#pragma once

#include <cstddef>
#include <string_view>

namespace kvd {

// Size in bytes of one screenshot as the instrument sends it, and as it is written
// to files: a complete bitmap file.
inline constexpr std::size_t ScreenshotSize = 2750;
// The instrument's screen, in pixels: what each screenshot shows.
inline constexpr int ScreenshotWidth = 192;
inline constexpr int ScreenshotHeight = 112;

// The two characters that begin a screenshot in the received data: a bitmap
// file's signature.
inline constexpr std::string_view ScreenshotMarker = "BM";

// The header every screenshot from the instrument starts with, numbers
// little-endian: the marker, the file size (2750), four bytes the format
// reserves, the offset of the pixels (62), the info header's size (40), 192 x 112
// pixels, one plane, 1 bit a pixel.
inline constexpr std::string_view ScreenshotHeader{"BM\xBE\x0A\0\0"
                                                   "\0\0\0\0"
                                                   "\x3E\0\0\0"
                                                   "\x28\0\0\0"
                                                   "\xC0\0\0\0"
                                                   "\x70\0\0\0"
                                                   "\x01\0\x01\0",
                                                   30};
// The reserved bytes in it: what the instrument puts there is not relied on.
inline constexpr std::size_t ScreenshotHeaderReservedAt = 6, ScreenshotHeaderReservedSize = 4;
// How much of the header tells that a screenshot starts there when no more of
// it has arrived yet: the marker and the file size.
inline constexpr std::size_t ScreenshotHeaderTells = 6;

} // namespace kvd
