// Sessions of any make-up to the PDF report's layout: any number of entries, at
// any times, with pictures from 1 x 1 pixel up to the loader's bound in any
// shape, odd UTF-8 in file names, comments and drop reasons, dropped blocks with
// and without a picture. The document is then held to what the report promises:
// every picture and every line of text lies within its page, and none covers
// another; all pictures are at one scale, whole unless one is too wide; every
// entry is shown once, in the order given, each drawn picture with its time (and
// file name) under it and the comment, each dropped block with its reason and no
// picture; the first line counts screenshots and dropped blocks and spans their
// times; every page is used and every page but the last holds as many entries as
// the first. Small sessions of real pictures are also encoded, offscreen: the PDF
// holds a page for each page laid out, and a picture that cannot be decoded again
// or a file that fills up makes the encoder fail with a reason, never hand over a
// PDF cut short as if it were whole.
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
#include "files/SessionReport.h"
#include "platform/NewFile.h"
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
    bool encode = false;
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

// Any text but a clock time (HH:MM:SS), so that a comment or a reason is never
// taken for an entry's time when the entries are found on the pages.
std::string TextWithoutTime(FuzzedDataProvider& input, std::size_t longest) {
    std::string text = input.ConsumeRandomLengthString(longest);
    std::replace(text.begin(), text.end(), ':', ';');
    return text;
}

Session SessionFrom(FuzzedDataProvider& input) {
    Session session;
    session.encode = input.ConsumeIntegralInRange(0, 7) == 7;
    session.comment = TextWithoutTime(input, session.encode ? 100 : 1000);
    if (session.encode && input.ConsumeIntegralInRange(0, 3) == 3) // a disk that fills up
        session.fullAt = input.ConsumeIntegralInRange<std::size_t>(0, 200'000);
    const std::size_t count =
        input.ConsumeIntegralInRange<std::size_t>(0, session.encode ? 24 : 400);
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
            entry.fileName = input.ConsumeRandomLengthString(300);
        if (input.ConsumeIntegralInRange(0, 3) == 0)
            entry.dropReason = TextWithoutTime(input, 200);
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

// An entry as its line shows it: its time, and its file name when it came from a
// file.
struct Label {
    std::string time, fileName;
    bool in(const std::string& text) const {
        return Contains(text, time) && Contains(text, fileName);
    }
};

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

void RequireOnPage(const Box& box, const Document& document) {
    Require(std::isfinite(box.left) && std::isfinite(box.top) && std::isfinite(box.right) &&
            std::isfinite(box.bottom));
    Require(box.left < box.right && box.top < box.bottom);
    Require(box.left >= -Slack && box.top >= -Slack);
    Require(box.right <= document.width + Slack);   // a picture or text beyond the page's side
    Require(box.bottom <= document.height + Slack); // a picture or text below the page's foot
}

void CheckGeometry(const Document& document) {
    std::optional<double> scale;
    for (const DocumentPage& page : document.pages) {
        for (const PageText& text : page.texts) {
            Require(text.points > 0 && text.height >= text.points);
            RequireOnPage(BoxOf(text), document);
        }
        for (const PagePicture& picture : page.pictures) {
            RequireOnPage(BoxOf(picture), document);
            // One scale for all, whole unless a picture is wider than the page.
            Require(!scale || *scale == picture.scale);
            scale = picture.scale;
            Require(picture.scale < 1 || picture.scale == std::floor(picture.scale));
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
}

void CheckHeading(const Session& session, const Document& document) {
    const std::vector<ReportEntry>& entries = session.entries;
    const auto dropped = std::size_t(std::count_if(entries.begin(), entries.end(), Dropped));
    const std::string& heading = document.title;
    Require(
        heading.rfind("kvd62-capture: " + std::to_string(entries.size() - dropped) + " screenshot",
                      0) == 0);
    Require(Contains(heading, ", " + std::to_string(dropped) + " dropped block") == (dropped > 0));
    if (!entries.empty()) {
        const auto [first, last] = std::minmax_element(
            entries.begin(), entries.end(),
            [](const ReportEntry& a, const ReportEntry& b) { return a.arrived < b.arrived; });
        Require(Contains(heading, ClockTime(first->arrived)) &&
                Contains(heading, ClockTime(last->arrived)));
    }
}

void CheckEntries(const Session& session, const Document& document) {
    const std::vector<ReportEntry>& entries = session.entries;
    std::vector<Label> labels;
    for (const ReportEntry& entry : entries)
        labels.push_back({ClockTime(entry.arrived), entry.fileName});
    // Each entry's time (and name) in the order given, the first line apart.
    std::vector<std::size_t> pageOf(entries.size());
    std::vector<std::size_t> onPage(document.pages.size());
    std::size_t next = 0;
    bool headingSeen = false;
    for (std::size_t page = 0; page < document.pages.size(); ++page)
        for (const PageText& text : document.pages[page].texts) {
            if (page == 0 && !headingSeen && text.text == document.title) {
                headingSeen = true;
                continue;
            }
            if (next < entries.size() && labels[next].in(text.text)) {
                pageOf[next++] = page;
                ++onPage[page];
            }
        }
    Require(headingSeen);
    Require(next == entries.size()); // an entry missing, or out of order

    // No page left empty, and as many to a page as the first holds.
    Require(document.pages.size() <= std::max<std::size_t>(1, entries.size()));
    for (std::size_t page = 0; page < document.pages.size(); ++page) {
        Require(entries.empty() || onPage[page] > 0);
        Require(page + 1 == document.pages.size() ? onPage[page] <= onPage[0]
                                                  : onPage[page] == onPage[0]);
    }

    // Beside each entry's time, its comment and its reason, and nothing more.
    for (std::size_t page = 0; page < document.pages.size(); ++page) {
        const std::vector<PageText>& texts = document.pages[page].texts;
        std::size_t allowed = page == 0 ? 1 : 0, comments = 0, entriesHere = 0;
        for (std::size_t index = 0; index < entries.size(); ++index)
            if (pageOf[index] == page) {
                ++entriesHere;
                allowed +=
                    1 + (session.comment.empty() ? 0 : 1) + (Dropped(entries[index]) ? 1 : 0);
                if (Dropped(entries[index]))
                    Require(std::any_of(texts.begin(), texts.end(), [&](const PageText& text) {
                        return Contains(text.text, entries[index].dropReason);
                    }));
            }
        for (const PageText& text : texts)
            comments += !session.comment.empty() && text.text == session.comment;
        Require(texts.size() <= allowed);
        Require(session.comment.empty() || comments >= entriesHere);
    }

    // Each picture drawn once, in order, on its entry's page with its time under it;
    // a dropped block's never.
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
            Require(pageOf[*index] == page);
            Require(picture.picture.width == entry.picture->width &&
                    picture.picture.height == entry.picture->height);
            const Box box = BoxOf(picture);
            const std::vector<PageText>& texts = document.pages[page].texts;
            Require(std::any_of(texts.begin(), texts.end(), [&](const PageText& text) {
                return labels[*index].in(text.text) && std::abs(text.x - box.left) < Slack &&
                       text.y >= box.bottom - Slack;
            }));
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
    const Document document = LayOutReport(session.entries, session.comment);
    Require(document.width > 0 && document.height > 0 && !document.pages.empty());
    CheckGeometry(document);
    CheckHeading(session, document);
    CheckEntries(session, document);
    if (session.encode)
        CheckEncoded(session, document);
    return 0;
}
