#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ExportEncoder.h"
#include "platform/Picture.h"

namespace kvd {

// One screenshot of a report, or a block that was dropped.
struct ReportEntry {
    std::time_t arrived = 0;
    // The file it came from; empty for one of this session.
    std::string fileName;
    // Its size, and the picture itself unless `decode` gives it when it is
    // drawn; none for a file that could not be read.
    std::optional<Picture> picture;
    std::function<std::optional<Picture>(std::string& whyNot)> decode;
    // Why the block was dropped ("is not a readable bitmap ..."): it is listed
    // with its time and this reason, and not drawn.
    std::string dropReason;
};

// The report's first line: the program, what it holds and the time span, as
// "kvd62-capture: 3 screenshots, 1 picture, 1 dropped block, 2026-12-08 14:02:11
// to 14:05:40". A screenshot is a picture of the instrument's 192 x 112 pixels,
// or one of the session that can no longer be read.
std::string ReportHeading(const std::vector<ReportEntry>& entries);

// The report's margin all round, in points: half an inch.
inline constexpr double ReportMargin = 36;

// The report on pages of `paper`, the entries in the order given, each line of
// text as wide as `width` measures it. Below the heading, rows of cells across
// the page, as many rows to a page as fit: each picture with its lines under it,
// its time (and file name), a dropped block's reason and the comment, each
// wrapped to the cell's width at spaces (a word wider than the cell between its
// characters). Screenshots are all at one whole scale, the largest at which two
// fit side by side; other pictures at that scale too, or smaller where that is
// needed to fit the cell and the page. A row too tall for any page (a comment of
// thousands of letters) is laid out a cell at a time, its lines going on over the
// next pages.
Document LayOutReport(const std::vector<ReportEntry>& entries, const std::string& comment,
                      PaperSize paper, const TextWidth& width);

} // namespace kvd
