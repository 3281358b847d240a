#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

// The file-type filters of the file dialogs: description, a bar, the patterns
// (separated by ';'), and so on for the next. Saving offers screenshots; loading
// offers them first, then every picture file the program reads, then any file.
inline constexpr std::string_view ScreenshotFilter = "KVD62 screenshots (*.bmp)|*.bmp";
inline constexpr std::string_view LoadFilter =
    "KVD62 screenshots (*.bmp)|*.bmp|"
    "Pictures|*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.ico;*.pbm;*.pgm;*.ppm;*.xbm;*.xpm|"
    "All files|*";

// The name of the file through which each new screenshot is shown. Its folder is
// chosen by the platform (a directory private to the user) and handed in.
inline constexpr std::string_view TempImageName = "kvd62temp.bmp";

// The main window's mutable state. One instance lives as long as the window; it
// is touched only on the user-interface thread, and nothing in it is persisted.
// ReceiveBuffer and ImageData hold raw bytes, one char per received byte.
struct CaptureState {
    // Probe stage during start-up (1, then 2); later the last message-box answer
    // of the save flow, or 0 when no overwrite question was asked.
    std::int16_t Answer = 1;
    // True when the screenshot in ImageData needs no arrival prompt: there is
    // none yet, it was saved, or the user declined to save it.
    bool CurrentSaved = true;
    // True from a press of "Save image" until its Save dialog starts.
    bool SaveRequested = false;
    // Everything read from the port since the last complete screenshot.
    std::string ReceiveBuffer;
    // 1-based position in ReceiveBuffer of the first marker the last extraction found.
    std::int16_t MarkerPosition = 0;
    // Mirrors the "Disable Save" check box.
    bool SaveDisabled = false;
    // The last complete screenshot: ScreenshotSize bytes, or empty before the first.
    std::string ImageData;
};

} // namespace kvd
