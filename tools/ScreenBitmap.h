#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvd {

// The instrument's screen: 192 x 112 pixels of two colours, a row of 24 bytes.
inline constexpr int ScreenWidth = 192, ScreenHeight = 112, ScreenRowBytes = 24;

// The bitmap file the instrument sends for a screen, exactly a screenshot's size:
// 62 bytes of headers and a palette of the two colours (0x00RRGGBB), then the
// pixel rows as given, ScreenHeight rows of ScreenRowBytes bytes, the bottom row
// first, the leftmost pixel in the top bit; a set bit takes the second colour.
std::string ScreenBitmap(std::string_view rows, std::uint32_t colour0, std::uint32_t colour1);

} // namespace kvd
