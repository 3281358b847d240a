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

} // namespace kvd
