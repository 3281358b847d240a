#include "files/SessionReport.h"

#include <algorithm>
#include <cmath>

#include "capture/ClockTime.h"
#include "capture/ScreenshotFormat.h"

namespace kvd {

namespace {

// A4 in points, and the report's spacing.
constexpr double PageWidth = 595, PageHeight = 842, Margin = 40, Gap = 16;
constexpr double HeadingPoints = 11, HeadingLine = 18, TextPoints = 8, TextLine = 11;

std::string Moment(std::time_t when, const char* format) {
    const std::tm local = LocalTime(when);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

std::string Counted(std::size_t count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

struct Grid {
    double scale = 1;
    double cellWidth = 0, cellHeight = 0, pictureHeight = 0;
    int columns = 1, rows = 1;
};

// The cells' size and how many fit a page, for pictures of at most `width` x
// `height` pixels and `lines` lines of text under each.
Grid GridFor(int width, int height, int lines) {
    const double across = PageWidth - 2 * Margin;
    const double down = PageHeight - 2 * Margin - HeadingLine - Gap;
    // What a picture may take down the page, with its lines under it.
    const double room = down - lines * TextLine;
    Grid grid;
    while (2 * width * (grid.scale + 1) + Gap <= across)
        ++grid.scale;
    while (grid.scale > 1 && height * grid.scale > room)
        --grid.scale;
    if (width > across || height > room) // scaled down to fit the page
        grid.scale = std::min(across / width, room / height);
    grid.pictureHeight = height * grid.scale;
    grid.cellWidth = width * grid.scale;
    grid.cellHeight = grid.pictureHeight + lines * TextLine;
    grid.columns = std::max(1, int((across + Gap) / (grid.cellWidth + Gap)));
    grid.rows = std::max(1, int((down + Gap) / (grid.cellHeight + Gap)));
    return grid;
}

PageText Line(double x, double y, double width, std::string text, double points = TextPoints,
              bool bold = false) {
    return {x,      y,    width,          points == TextPoints ? TextLine : HeadingLine,
            points, bold, std::move(text)};
}

std::string Label(const ReportEntry& entry) {
    const std::string time = ClockTime(entry.arrived);
    return entry.fileName.empty() ? time : entry.fileName + ", " + time;
}

void PlaceCell(DocumentPage& page, const ReportEntry& entry, const std::string& comment,
               const Grid& grid, double x, double y) {
    if (entry.picture && entry.dropReason.empty())
        page.pictures.push_back({x, y, grid.scale, *entry.picture, entry.decode});
    double line = y + grid.pictureHeight;
    page.texts.push_back(Line(x, line, grid.cellWidth, Label(entry)));
    if (!entry.dropReason.empty())
        page.texts.push_back(
            Line(x, line - TextLine, grid.cellWidth, "Dropped: it " + entry.dropReason));
    if (!comment.empty())
        page.texts.push_back(Line(x, line += TextLine, grid.cellWidth, comment));
}

} // namespace

std::string ReportHeading(const std::vector<ReportEntry>& entries) {
    const auto dropped =
        std::size_t(std::count_if(entries.begin(), entries.end(),
                                  [](const ReportEntry& e) { return !e.dropReason.empty(); }));
    std::string heading = "kvd62-capture: " + Counted(entries.size() - dropped, "screenshot");
    if (dropped > 0)
        heading += ", " + Counted(dropped, "dropped block");
    if (entries.empty())
        return heading;
    const auto [first, last] = std::minmax_element(
        entries.begin(), entries.end(),
        [](const ReportEntry& a, const ReportEntry& b) { return a.arrived < b.arrived; });
    const bool oneDay = Moment(first->arrived, "%F") == Moment(last->arrived, "%F");
    return heading + ", " + Moment(first->arrived, "%F %T") + " to " +
           Moment(last->arrived, oneDay ? "%T" : "%F %T");
}

Document LayOutReport(const std::vector<ReportEntry>& entries, const std::string& comment) {
    int width = ScreenshotWidth, height = ScreenshotHeight;
    for (const ReportEntry& entry : entries)
        if (entry.picture) {
            width = std::max(width, entry.picture->width);
            height = std::max(height, entry.picture->height);
        }
    const Grid grid = GridFor(width, height, comment.empty() ? 1 : 2);
    // The grid in the middle of the page, the heading over its left edge.
    const double gridWidth = grid.columns * (grid.cellWidth + Gap) - Gap;
    const double left = std::max(Margin, (PageWidth - gridWidth) / 2);
    const std::string heading = ReportHeading(entries);
    Document document{heading, PageWidth, PageHeight, {DocumentPage{}}};
    document.pages.back().texts.push_back(
        Line(left, Margin, PageWidth - Margin - left, heading, HeadingPoints, true));

    const int perPage = grid.columns * grid.rows;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const int cell = int(index % perPage);
        if (index > 0 && cell == 0)
            document.pages.emplace_back();
        const double x = left + (cell % grid.columns) * (grid.cellWidth + Gap);
        const double y =
            Margin + HeadingLine + Gap + (cell / grid.columns) * (grid.cellHeight + Gap);
        PlaceCell(document.pages.back(), entries[index], comment, grid, x, y);
    }
    return document;
}

} // namespace kvd
