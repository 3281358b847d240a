#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/SessionHistory.h"
#include "flows/SaveFlow.h"
#include "flows/SessionReport.h"
#include "platform/ExportEncoder.h"
#include "platform/MessageBoxes.h"
#include "platform/Picture.h"

namespace kvd {

// How many times a PNG export enlarges: each pixel becomes a block of scale x
// scale pixels. 4 makes a screenshot 768 x 448.
inline constexpr int SmallestScale = 1, LargestScale = 8, DefaultScale = 4;

// A scale as typed: a whole number from 1 to 8, spaces around it allowed.
std::optional<int> ReadScale(std::string_view text);

// What the export dialogs offer again for the rest of the session.
struct ExportChoices {
    // The last scale chosen.
    int scale = DefaultScale;
    // The file each export chose last, which it offers again: none at first.
    std::string pngFile, pdfFile;
};

// "Export as PNG...": asks the scale, then the file (with the Save dialog's
// overwrite question), and writes the picture enlarged there, safely. Cancel
// anywhere ends it; a failure is said.
void ExportPictureAsPng(const Picture& picture, Services& services, ExportChoices& choices);

// The history's "Export PNG...": asks the scale and a folder, and writes each
// screenshot there under the name the save folder would give it, with .png.
// Dropped blocks are skipped. The first failure is said and ends it.
void ExportScreenshotsAsPng(const std::vector<HistoryEntry>& entries, Services& services,
                            ExportChoices& choices);

// The history's "Export PDF...": asks a comment (Cancel ends it; empty is
// none), then the file, and writes the entries, oldest first, as one PDF.
void ExportSessionAsPdf(const std::vector<HistoryEntry>& entries, Services& services,
                        ExportChoices& choices);

// The entries as a report shows them, oldest first, each picture measured and
// decoded again only when it is drawn.
std::vector<ReportEntry> ReportOf(std::vector<HistoryEntry> entries, PictureLoader& pictures);

using PictureDecoder = std::function<std::optional<Picture>(std::string& whyNot)>;
// A picture's size, from decoding it once and letting it go, so that a report
// of many holds one at a time; `later` is then set to decode it again. None,
// with the reason, when it does not decode.
std::optional<Picture> MeasuredPicture(PictureDecoder decode, PictureDecoder& later,
                                       std::string& whyNot);

} // namespace kvd
