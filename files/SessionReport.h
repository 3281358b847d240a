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
// "kvd62-capture: 3 screenshots, 2026-12-08 14:02:11 to 14:05:40".
std::string ReportHeading(const std::vector<ReportEntry>& entries);

// The report on A4 pages, the entries in the order given. Below the heading,
// a grid of cells, as many to a page as fit: each picture at one whole scale,
// the same for all (the largest at which two fit side by side, at least 1),
// and under it its time (and file name) and the comment. A picture wider or
// taller than the page is scaled down to fit it.
Document LayOutReport(const std::vector<ReportEntry>& entries, const std::string& comment);

} // namespace kvd
