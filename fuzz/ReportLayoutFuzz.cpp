// Sessions of any make-up to the PDF report's layout, on A4, Letter or A5: any
// number of entries, at any times, with pictures from 1 x 1 pixel up to the
// loader's bound in any shape, odd UTF-8 in file names, comments (up to
// thousands of letters) and drop reasons, dropped blocks with and without a
// picture; the text measured in the PDF's own type, or in a made-up one. The
// document is then held to what the report promises: every picture and every
// line of text lies within the page's margins, and none covers another; every
// line is no wider than its box as measured; screenshots are all at one whole
// scale, and other pictures at a whole scale or smaller; every entry is shown
// once, in the order given, its lines holding its time (and file name), a
// dropped block's reason and the comment, every letter of them and nothing
// else, never a character broken, each drawn picture with the first of them
// right under it, each dropped block with no picture; the first line counts
// screenshots, other pictures and dropped blocks and spans their times; no page
// is empty. Small sessions of real pictures are also encoded, offscreen: the
// PDF holds a page for each page laid out, and a picture that cannot be decoded
// again or a file that fills up makes the encoder fail with a reason, never
// hand over a PDF cut short as if it were whole.
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "capture/ClockTime.h"
#include "flows/SessionReport.h"
#include "platform/NewFile.h"
#include "platform/Utf8Path.h"
#include "platform/qt/QtExportEncoder.h"
#include "platform/qt/QtPicture.h"

namespace {

using namespace kvd;

// A broken rule names itself on standard error, so the input saved beside it
// says at once what it broke.
#define Require(holds) ((holds) ? void() : Broken(#holds, __LINE__))

[[noreturn]] void Broken(const char* rule, int line) {
    std::fprintf(stderr, "broken at line %d: %s\n", line, rule);
    std::abort();
}

// Room for rounding in sums of points.
constexpr double Slack = 1e-6;

// A moment of the week the instrument was on the bench, or any moment at all.
constexpr std::time_t BenchWeek = 1'796'601'600; // 2026-12-07 00:00 UTC

// Pictures to lay out carry the index of their entry. Pictures to encode are
// real images, known by their cache key; as the program's exports have them,
// most are only measured at first and decoded again when drawn, and a decoding
// may fail (the file went away).
struct Session {
    std::vector<ReportEntry> entries;
    std::string comment;
    PaperSize paper = A4;
    bool encode = false;
    // Measured in the PDF's own type, or in the made-up one.
    bool realType = false;
    std::map<qint64, std::size_t> images;
    std::set<std::size_t> undecodable;
    // The file the PDF is written to refuses every write from this byte on.
    std::optional<std::size_t> fullAt;

    std::optional<std::size_t> entryOf(const PagePicture& drawn) const {
        if (const auto* index = std::any_cast<std::size_t>(&drawn.picture.image))
            return *index;
        std::optional<Picture> picture = drawn.picture;
        if (!drawn.picture.image.has_value() && drawn.decode) {
            std::string whyNot;
            picture = drawn.decode(whyNot);
            if (!picture) // each says which it is
                return std::stoul(whyNot.substr(whyNot.rfind(' ') + 1));
        }
        if (const auto* image = std::any_cast<QImage>(&picture->image)) {
            const auto found = images.find(image->cacheKey());
            if (found != images.end())
                return found->second;
        }
        return std::nullopt;
    }
};

// A picture to encode: the instrument's screen, or a tiny one in any format.
QImage ImageToEncode(FuzzedDataProvider& input, std::size_t index) {
    static const QImage::Format Formats[] = {QImage::Format_Mono, QImage::Format_Indexed8,
                                             QImage::Format_RGB32, QImage::Format_ARGB32};
    const bool screen = input.ConsumeBool();
    QImage image =
        screen ? QImage(192, 112, QImage::Format_Indexed8)
               : QImage(input.ConsumeIntegralInRange(1, 40), input.ConsumeIntegralInRange(1, 40),
                        input.PickValueInArray(Formats));
    if (image.format() == QImage::Format_Mono)
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    else if (image.format() == QImage::Format_Indexed8)
        image.setColorTable({qRgb(0, 0, 0), qRgb(0, 128, 0), qRgb(255, 255, 255)});
    image.fill(uint(index % 2));
    return image;
}

// From 1 to `largest`, as often below 10 as below 1000 or 1000000.
int Dimension(FuzzedDataProvider& input, long long largest) {
    const int bits = input.ConsumeIntegralInRange(0, 24);
    return int(input.ConsumeIntegralInRange<long long>(1, std::min(largest, 1LL << bits)));
}

void AddPicture(FuzzedDataProvider& input, Session& session, ReportEntry& entry,
                std::size_t index) {
    if (!session.encode) {
        Picture picture{index, 192, 112};
        if (input.ConsumeBool()) { // any shape the loader lets through, small ones as often as big
            picture.width = Dimension(input, MaxPicturePixels);
            picture.height = Dimension(input, MaxPicturePixels / picture.width);
        }
        entry.picture = picture;
        return;
    }
    const QImage image = ImageToEncode(input, index);
    session.images[image.cacheKey()] = index;
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: // decoded already
        entry.picture = ToPicture(image);
        break;
    case 1: // measured, and gone when it is to be drawn
        entry.picture = Picture{{}, image.width(), image.height()};
        entry.decode = [index](std::string& whyNot) -> std::optional<Picture> {
            whyNot = "it went away: picture " + std::to_string(index);
            return std::nullopt;
        };
        session.undecodable.insert(index);
        break;
    default: // measured, and decoded again to be drawn
        entry.picture = Picture{{}, image.width(), image.height()};
        entry.decode = [image](std::string&) -> std::optional<Picture> { return ToPicture(image); };
        break;
    }
}

// Any bytes, or as often UTF-8 of letters from many scripts, with few spaces:
// long words for the layout to break between their characters.
std::string SomeText(FuzzedDataProvider& input, std::size_t longest) {
    if (input.ConsumeBool())
        return input.ConsumeRandomLengthString(longest);
    static const char* const Pieces[] = {
        "a",       "W", "0", ",", " ", "\xC3\xBC", "\xCE\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
        "\xD7\x90"};
    std::string text;
    for (std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, longest / 2);
         count > 0 && text.size() < longest; --count)
        text += input.PickValueInArray(Pieces);
    return text;
}

Session SessionFrom(FuzzedDataProvider& input) {
    Session session;
    session.encode = input.ConsumeIntegralInRange(0, 7) == 7;
    session.realType = session.encode || input.ConsumeIntegralInRange(0, 3) == 3;
    session.paper = input.PickValueInArray({A4, Letter, PaperSize{420, 595}});
    session.comment = SomeText(input, session.encode ? 100 : 4000);
    if (session.encode && input.ConsumeIntegralInRange(0, 3) == 3) // a disk that fills up
        session.fullAt = input.ConsumeIntegralInRange<std::size_t>(0, 200'000);
    const std::size_t count =
        input.ConsumeIntegralInRange<std::size_t>(0, session.encode     ? 24
                                                     : session.realType ? 60
                                                                        : 400);
    std::time_t last = BenchWeek;
    for (std::size_t index = 0; index < count; ++index) {
        ReportEntry entry;
        switch (input.ConsumeIntegralInRange(0, 2)) {
        case 0: // a while after the one before, in the week on the bench
            entry.arrived = (last < BenchWeek || last > 2 * BenchWeek ? BenchWeek : last) +
                            input.ConsumeIntegralInRange(0, 3 * 24 * 3600);
            break;
        case 1:
            entry.arrived = input.ConsumeIntegral<std::time_t>();
            break;
        default:
            entry.arrived = last;
            break;
        }
        last = entry.arrived;
        if (input.ConsumeBool())
            entry.fileName = SomeText(input, 300);
        if (input.ConsumeIntegralInRange(0, 3) == 0)
            entry.dropReason = SomeText(input, 200);
        if (input.ConsumeIntegralInRange(0, 3) != 0)
            AddPicture(input, session, entry, index);
        session.entries.push_back(std::move(entry));
    }
    return session;
}

bool Dropped(const ReportEntry& entry) {
    return !entry.dropReason.empty();
}
bool Drawn(const ReportEntry& entry) {
    return entry.picture && !Dropped(entry);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A type of its own, made up and quick to measure: each ASCII character from a
// quarter to nearly a whole em wide, any other character a whole em.
double MadeUpWidth(std::string_view text, double points, bool bold) {
    double ems = 0;
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80)
            ems += 0.25 + (code % 8) * 0.1;
        else if ((code & 0xC0) != 0x80)
            ems += 1;
    }
    return ems * points * (bold ? 1.15 : 1);
}

bool IsScreenshot(const Picture& picture) {
    return picture.width == 192 && picture.height == 112;
}

struct Box {
    double left, top, right, bottom;
};

Box BoxOf(const PageText& text) {
    return {text.x, text.y, text.x + text.width, text.y + text.height};
}

Box BoxOf(const PagePicture& picture) {
    return {picture.x, picture.y, picture.x + picture.picture.width * picture.scale,
            picture.y + picture.picture.height * picture.scale};
}

bool Overlap(const Box& a, const Box& b) {
    return a.left < b.right - Slack && b.left < a.right - Slack && a.top < b.bottom - Slack &&
           b.top < a.bottom - Slack;
}

void RequireInMargins(const Box& box, const Document& document) {
    Require(std::isfinite(box.left) && std::isfinite(box.top) && std::isfinite(box.right) &&
            std::isfinite(box.bottom));
    Require(box.left < box.right && box.top < box.bottom);
    Require(box.left >= ReportMargin - Slack && box.top >= ReportMargin - Slack);
    // A picture or text beyond the right margin, or below the bottom one.
    Require(box.right <= document.width - ReportMargin + Slack);
    Require(box.bottom <= document.height - ReportMargin + Slack);
}

void CheckGeometry(const Document& document, const TextWidth& width) {
    std::optional<double> screenshotScale;
    for (const DocumentPage& page : document.pages) {
        Require(!page.texts.empty() || !page.pictures.empty()); // an empty page
        for (const PageText& text : page.texts) {
            Require(text.points > 0 && text.height >= text.points);
            RequireInMargins(BoxOf(text), document);
            // A line cut off, or drawn beyond its box.
            Require(width(text.text, text.points, text.bold) <= text.width + Slack);
            Require(!text.text.empty() && text.text.front() != ' ');
        }
        for (const PagePicture& picture : page.pictures) {
            RequireInMargins(BoxOf(picture), document);
            // Each pixel a whole number of points, unless the picture had to be made smaller.
            Require(picture.scale > 0 &&
                    (picture.scale < 1 || picture.scale == std::floor(picture.scale)));
            if (IsScreenshot(picture.picture)) {
                Require(picture.scale >= 1); // the papers here are wider than a screenshot
                Require(!screenshotScale || *screenshotScale == picture.scale);
                screenshotScale = picture.scale;
            }
        }
        for (std::size_t a = 0; a < page.pictures.size(); ++a)
            for (std::size_t b = a + 1; b < page.pictures.size(); ++b)
                Require(!Overlap(BoxOf(page.pictures[a]), BoxOf(page.pictures[b])));
        for (std::size_t a = 0; a < page.texts.size(); ++a) {
            for (std::size_t b = a + 1; b < page.texts.size(); ++b)
                Require(!Overlap(BoxOf(page.texts[a]), BoxOf(page.texts[b])));
            for (const PagePicture& picture : page.pictures)
                Require(!Overlap(BoxOf(page.texts[a]), BoxOf(picture)));
        }
    }
    // No other picture drawn larger than the screenshots.
    if (screenshotScale)
        for (const DocumentPage& page : document.pages)
            for (const PagePicture& picture : page.pictures)
                Require(picture.scale <= *screenshotScale);
}

void CheckHeading(const Session& session, const Document& document) {
    const std::vector<ReportEntry>& entries = session.entries;
    std::size_t screenshots = 0, pictures = 0, dropped = 0;
    for (const ReportEntry& entry : entries)
        ++(Dropped(entry)                                   ? dropped
           : entry.picture && !IsScreenshot(*entry.picture) ? pictures
                                                            : screenshots);
    const std::string& heading = document.title;
    const auto says = [&heading](std::size_t count, const char* what) {
        return Contains(heading, " " + std::to_string(count) + " " + what);
    };
    Require(heading.rfind("kvd62-capture: ", 0) == 0);
    Require(says(screenshots, "screenshot") == (screenshots > 0 || pictures + dropped == 0));
    Require(says(pictures, "picture") == (pictures > 0));
    Require(says(dropped, "dropped block") == (dropped > 0));
    if (!entries.empty()) {
        const auto [first, last] = std::minmax_element(
            entries.begin(), entries.end(),
            [](const ReportEntry& a, const ReportEntry& b) { return a.arrived < b.arrived; });
        Require(Contains(heading, ClockTime(first->arrived)) &&
                Contains(heading, ClockTime(last->arrived)));
    }
}

// A text's letters: all but the spaces (and control characters, which count as
// spaces), where the layout may break a line and leaves them out.
std::string Letters(std::string_view text) {
    std::string letters;
    for (const char byte : text)
        if (static_cast<unsigned char>(byte) > 0x20 && byte != 0x7F)
            letters += byte;
    return letters;
}

// A line of text and the page it is on.
struct Placed {
    std::size_t page;
    const PageText* text;
};

void CheckEntries(const Session& session, const Document& document) {
    const std::vector<ReportEntry>& entries = session.entries;
    std::vector<Placed> lines;
    for (std::size_t page = 0; page < document.pages.size(); ++page)
        for (const PageText& text : document.pages[page].texts)
            lines.push_back({page, &text});
    // The lines that show `text`, from the next one on: every letter of it, in
    // order, each line a piece of it, never broken inside a character.
    std::size_t next = 0;
    const auto linesOf = [&](const std::string& text) {
        std::vector<Placed> found;
        const bool whole = IsUtf8(text);
        for (std::string left = Letters(text); !left.empty();) {
            Require(next < lines.size()); // letters missing
            const std::string piece = Letters(lines[next].text->text);
            Require(!piece.empty() && left.compare(0, piece.size(), piece) == 0);
            Require(!whole || IsUtf8(lines[next].text->text));
            left.erase(0, piece.size());
            found.push_back(lines[next++]);
        }
        return found;
    };
    const std::vector<Placed> heading = linesOf(document.title);
    Require(!heading.empty());
    for (const Placed& line : heading)
        Require(line.page == 0 && line.text->bold);

    // Each entry's lines in the order given: its time (and file name), a dropped
    // block's reason, the comment; one under the other, going on at the top of
    // the next page.
    std::vector<Placed> firstLine;
    for (const ReportEntry& entry : entries) {
        std::vector<Placed> cell = linesOf((entry.fileName.empty() ? "" : entry.fileName + ", ") +
                                           ClockTime(entry.arrived));
        Require(!cell.empty());
        firstLine.push_back(cell.front());
        for (const std::string& more :
             {Dropped(entry) ? "Dropped: it " + entry.dropReason : std::string(), session.comment})
            for (const Placed& line : linesOf(more))
                cell.push_back(line);
        for (std::size_t at = 1; at < cell.size(); ++at) {
            const PageText &above = *cell[at - 1].text, &line = *cell[at].text;
            Require(!line.bold && line.x == above.x && line.width == above.width);
            Require(cell[at].page == cell[at - 1].page
                        ? std::abs(line.y - (above.y + above.height)) < Slack
                        : cell[at].page == cell[at - 1].page + 1 && line.y == ReportMargin);
        }
    }
    Require(next == lines.size()); // a line that belongs to no entry

    // Each picture drawn once, in order, with its entry's first line right under
    // it; a dropped block's never.
    std::optional<std::size_t> previous;
    std::size_t drawn = 0;
    for (std::size_t page = 0; page < document.pages.size(); ++page)
        for (const PagePicture& picture : document.pages[page].pictures) {
            const std::optional<std::size_t> index = session.entryOf(picture);
            Require(index && *index < entries.size());
            const ReportEntry& entry = entries[*index];
            Require(Drawn(entry));
            Require(!previous || *previous < *index);
            previous = index;
            ++drawn;
            Require(picture.picture.width == entry.picture->width &&
                    picture.picture.height == entry.picture->height);
            const Placed& under = firstLine[*index];
            Require(under.page == page && std::abs(under.text->x - picture.x) < Slack &&
                    std::abs(under.text->y - BoxOf(picture).bottom) < Slack);
        }
    Require(drawn == std::size_t(std::count_if(entries.begin(), entries.end(), Drawn)));
}

std::size_t PagesIn(const std::string& pdf) {
    std::size_t pages = 0;
    const std::string page = "/Type /Page";
    for (std::size_t at = pdf.find(page); at != std::string::npos; at = pdf.find(page, at + 1))
        pages += at + page.size() == pdf.size() || pdf[at + page.size()] != 's';
    return pages;
}

// The file a PDF is written to, which refuses to take more once it is full.
class FileFillingUp final : public ByteSink {
public:
    explicit FileFillingUp(std::optional<std::size_t> fullAt) : fullAt_(fullAt) {}
    bool write(std::string_view part) override {
        if (fullAt_ && bytes.size() + part.size() > *fullAt_) {
            refused = true;
            return false;
        }
        bytes.append(part);
        return true;
    }
    std::string bytes;
    bool refused = false;

private:
    std::optional<std::size_t> fullAt_;
};

// A PDF of every page laid out, or, when a picture cannot be drawn or the file
// takes no more, a failure that says why: never a PDF cut short as if whole.
void CheckEncoded(const Session& session, const Document& document) {
    bool undrawable = false;
    for (const DocumentPage& page : document.pages)
        for (const PagePicture& picture : page.pictures)
            undrawable |= session.undecodable.count(*session.entryOf(picture)) > 0;
    QtExportEncoder encoder;
    FileFillingUp file(session.fullAt);
    std::string whyNot;
    const bool made = encoder.pdf(document, file, whyNot);
    if (undrawable || file.refused) {
        Require(!made); // a PDF cut short, or without a picture, taken for a whole one
        Require(!whyNot.empty());
        if (undrawable && !file.refused)
            Require(Contains(whyNot, "it went away"));
        return;
    }
    Require(made);
    Require(file.bytes.rfind("%PDF-", 0) == 0 && Contains(file.bytes, "%%EOF"));
    Require(PagesIn(file.bytes) == document.pages.size());
}

} // namespace

// Fontconfig keeps what it reads of the system's fonts until the process ends,
// out of reach of the leak checker; a leak of ours still shows.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The PDF's text needs the fonts of a QGuiApplication; nothing is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_report_layout";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Session session = SessionFrom(input);
    const QtExportEncoder encoder;
    const TextWidth width = session.realType ? WidthIn(encoder) : MadeUpWidth;
    const Document document = LayOutReport(session.entries, session.comment, session.paper, width);
    Require(document.width == session.paper.width && document.height == session.paper.height &&
            !document.pages.empty());
    CheckGeometry(document, width);
    CheckHeading(session, document);
    CheckEntries(session, document);
    if (session.encode)
        CheckEncoded(session, document);
    return 0;
}
