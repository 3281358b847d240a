#pragma once

#include <string_view>

namespace kvd {

// The file-type filters of the file dialogs: description, a bar, the patterns
// (separated by ';'), and so on for the next. Saving offers screenshots; loading
// offers them first, then every picture file the program reads, then any file.
inline constexpr std::string_view ScreenshotFilter = "KVD62 screenshots (*.bmp)|*.bmp";
inline constexpr std::string_view LoadFilter =
    "KVD62 screenshots (*.bmp)|*.bmp|"
    "Pictures|*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.ico;*.pbm;*.pgm;*.ppm;*.xbm;*.xpm|"
    "All files|*";

} // namespace kvd
