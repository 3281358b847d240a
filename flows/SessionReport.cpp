#include "flows/SessionReport.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "capture/ClockTime.h"
#include "capture/ScreenshotFormat.h"

namespace kvd {

namespace {

constexpr double Margin = ReportMargin, Gap = 12;
// What sums of points may be off by.
constexpr double Rounding = 1e-6;

// A kind of line: its type's size, the height it takes, bold or not.
struct Type {
    double points, line;
    bool bold;
};
constexpr Type HeadingType{11, 15, true}, TextType{8, 11, false};

std::string Moment(std::time_t when, const char* format) {
    const std::tm local = LocalTime(when);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

std::string Counted(std::size_t count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

bool IsScreenshot(const Picture& picture) {
    return picture.width == ScreenshotWidth && picture.height == ScreenshotHeight;
}

// Where the character that starts at `at` ends: after its UTF-8 sequence, or
// after the one byte when that starts none.
std::size_t CharacterEnd(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0xC0   ? 1
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF8 ? 4
                                             : 1;
    std::size_t end = at + 1;
    while (end < at + length && end < text.size() &&
           (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
    return end;
}

// `text` as lines no wider than `room`: broken at spaces, and a word wider than
// a line between its characters. Control characters (a tab, a line break in a
// file name) count as spaces; the spaces where a line breaks are left out.
std::vector<std::string> Wrapped(std::string text, double room, const Type& type,
                                 const TextWidth& width) {
    const auto fits = [&](std::string_view line) {
        return width(line, type.points, type.bold) <= room;
    };
    for (char& byte : text)
        if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F)
            byte = ' ';
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t at = 0, start;
         (start = text.find_first_not_of(' ', at)) != std::string::npos;) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        std::string_view word(text.data() + start, end - start);
        const std::string_view spacedWord(text.data() + at, end - at); // its spaces kept
        at = end;
        if (!line.empty()) {
            std::string longer = line;
            longer += spacedWord;
            if (fits(longer)) {
                line = std::move(longer);
                continue;
            }
            lines.push_back(std::move(line));
        }
        // The longest run of its first characters that fits, at least one.
        while (!word.empty() && !fits(word)) {
            std::vector<std::size_t> ends{CharacterEnd(word, 0)};
            while (ends.back() < word.size())
                ends.push_back(CharacterEnd(word, ends.back()));
            std::size_t fitting = 0, tooWide = ends.size() - 1;
            while (tooWide - fitting > 1) {
                const std::size_t middle = (fitting + tooWide) / 2;
                (fits(word.substr(0, ends[middle])) ? fitting : tooWide) = middle;
            }
            lines.emplace_back(word.substr(0, ends[fitting]));
            word.remove_prefix(ends[fitting]);
        }
        line = word;
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

// The columns of cells across the page, and the screenshots' scale: the largest
// whole one at which two fit side by side and one leaves half a page under it.
struct Grid {
    double scale = 1, cellWidth = 0;
    int columns = 1;
};

Grid GridFor(double across, double room) {
    Grid grid;
    while (2 * ScreenshotWidth * (grid.scale + 1) + Gap <= across &&
           ScreenshotHeight * (grid.scale + 1) <= room / 2)
        ++grid.scale;
    if (ScreenshotWidth > across) // a page narrower than a screenshot
        grid.scale = across / ScreenshotWidth;
    grid.columns = std::max(1, int((across + Gap) / (ScreenshotWidth * grid.scale + Gap)));
    grid.cellWidth = (across - (grid.columns - 1) * Gap) / grid.columns;
    return grid;
}

// What one entry shows: its picture, if drawn, and its lines under it.
struct Cell {
    std::optional<PagePicture> picture;
    double pictureHeight = 0;
    std::vector<std::string> lines;

    double height() const { return pictureHeight + double(lines.size()) * TextType.line; }
};

std::string Label(const ReportEntry& entry) {
    const std::string time = ClockTime(entry.arrived);
    return entry.fileName.empty() ? time : entry.fileName + ", " + time;
}

// The entry's cell. Its picture at the grid's scale, or smaller where it would
// be wider than the cell or taller than the room its lines leave on a page (at
// least half of it); whole when that is 1 or more.
Cell CellFor(const ReportEntry& entry, const std::vector<std::string>& comment, const Grid& grid,
             double room, const TextWidth& width) {
    Cell cell;
    cell.lines = Wrapped(Label(entry), grid.cellWidth, TextType, width);
    if (!entry.dropReason.empty())
        for (std::string& line :
             Wrapped("Dropped: it " + entry.dropReason, grid.cellWidth, TextType, width))
            cell.lines.push_back(std::move(line));
    cell.lines.insert(cell.lines.end(), comment.begin(), comment.end());
    if (!entry.picture || !entry.dropReason.empty())
        return cell;
    const Picture& picture = *entry.picture;
    const double down = std::max(room - double(cell.lines.size()) * TextType.line, room / 2);
    double scale = std::min({grid.scale, grid.cellWidth / picture.width, down / picture.height});
    if (scale >= 1)
        scale = std::floor(scale);
    cell.picture = PagePicture{0, 0, scale, picture, entry.decode};
    cell.pictureHeight = picture.height * scale;
    return cell;
}

// The pages as they fill, from the top down.
class Pages {
public:
    Pages(Document& document, double bottom) : document_(document), bottom_(bottom) {}

    double y = Margin;

    // Room for `height` more down this page, or a new page when there is none
    // and this one holds something.
    void makeRoom(double height) {
        const DocumentPage& page = document_.pages.back();
        if (y + height > bottom_ + Rounding && (!page.texts.empty() || !page.pictures.empty())) {
            document_.pages.emplace_back();
            y = Margin;
        }
    }
    void text(double x, double width, const Type& type, std::string line) {
        makeRoom(type.line);
        document_.pages.back().texts.push_back(
            {x, y, width, type.line, type.points, type.bold, std::move(line)});
        y += type.line;
    }
    // The cell from here down, its lines going on over the next pages where
    // they do not fit.
    void cell(Cell shown, double x, double width) {
        if (shown.picture) {
            makeRoom(shown.pictureHeight + (shown.lines.empty() ? 0 : TextType.line));
            shown.picture->x = x;
            shown.picture->y = y;
            document_.pages.back().pictures.push_back(std::move(*shown.picture));
            y += shown.pictureHeight;
        }
        for (std::string& line : shown.lines)
            text(x, width, TextType, std::move(line));
    }

private:
    Document& document_;
    double bottom_;
};

} // namespace

std::string ReportHeading(const std::vector<ReportEntry>& entries) {
    std::size_t screenshots = 0, pictures = 0, dropped = 0;
    for (const ReportEntry& entry : entries)
        ++(!entry.dropReason.empty()                        ? dropped
           : entry.picture && !IsScreenshot(*entry.picture) ? pictures
                                                            : screenshots);
    std::string counts;
    for (const auto& [count, what] :
         {std::pair{screenshots, "screenshot"}, std::pair{pictures, "picture"},
          std::pair{dropped, "dropped block"}})
        if (count > 0)
            counts += (counts.empty() ? "" : ", ") + Counted(count, what);
    std::string heading = "kvd62-capture: " + (counts.empty() ? Counted(0, "screenshot") : counts);
    if (entries.empty())
        return heading;
    const auto [first, last] = std::minmax_element(
        entries.begin(), entries.end(),
        [](const ReportEntry& a, const ReportEntry& b) { return a.arrived < b.arrived; });
    const bool oneDay = Moment(first->arrived, "%F") == Moment(last->arrived, "%F");
    return heading + ", " + Moment(first->arrived, "%F %T") + " to " +
           Moment(last->arrived, oneDay ? "%T" : "%F %T");
}

Document LayOutReport(const std::vector<ReportEntry>& entries, const std::string& comment,
                      PaperSize paper, const TextWidth& width) {
    const double across = paper.width - 2 * Margin, bottom = paper.height - Margin;
    const std::string heading = ReportHeading(entries);
    Document document{heading, paper.width, paper.height, {DocumentPage{}}};
    Pages pages(document, bottom);
    for (std::string& line : Wrapped(heading, across, HeadingType, width))
        pages.text(Margin, across, HeadingType, std::move(line));
    pages.y += Gap;
    // What a row may take down a page: all there is under the heading.
    const double room = bottom - pages.y;
    const Grid grid = GridFor(across, room);
    const std::vector<std::string> commentLines = Wrapped(comment, grid.cellWidth, TextType, width);

    for (std::size_t first = 0; first < entries.size(); first += std::size_t(grid.columns)) {
        std::vector<Cell> row;
        for (std::size_t index = first; index < std::min(entries.size(), first + grid.columns);
             ++index)
            row.push_back(CellFor(entries[index], commentLines, grid, room, width));
        double height = 0;
        for (const Cell& cell : row)
            height = std::max(height, cell.height());
        if (height > room) { // a cell at a time, down the page and over the next
            for (Cell& cell : row) {
                pages.cell(std::move(cell), Margin, grid.cellWidth);
                pages.y += Gap;
            }
            continue;
        }
        pages.makeRoom(height);
        const double top = pages.y;
        for (std::size_t column = 0; column < row.size(); ++column) {
            pages.y = top;
            pages.cell(std::move(row[column]), Margin + double(column) * (grid.cellWidth + Gap),
                       grid.cellWidth);
        }
        pages.y = top + height + Gap;
    }
    return document;
}

} // namespace kvd
