#include "flows/ExportFlow.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "files/ScreenshotFile.h"
#include "files/ScreenshotFolder.h"
#include "platform/ReadFileBytes.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace {

constexpr const char* PngTitle = "Export as PNG";
constexpr const char* PdfTitle = "Export PDF";
constexpr const char* ScaleTitle = "PNG scale";

const FileKind PngFile{
    "PNG pictures (*.png)|*.png", PngTitle, "The PNG picture", 1, WriteFileSafely, true};
const FileKind PdfFile{
    "PDF documents (*.pdf)|*.pdf", PdfTitle, "The PDF document", 1, WriteFileSafely, true};

// What an export into a folder finds under a picture's name: nothing (or the
// user said to replace it), the same picture exported before, another file the
// user keeps, or a Cancel that stops the export.
enum class PngInFolder { Write, Same, Kept, Stop };

// Read no further than one byte past `bytes`: a longer file is another.
bool HoldsExactly(const std::filesystem::path& path, const std::string& bytes) {
    std::string whyNot;
    const std::optional<std::string> held = ReadFileBytes(path, bytes.size(), whyNot);
    return held == bytes;
}

// A picture exported again is left as it is; another file under its name is
// replaced only after the user says Yes, as "Save image" asks.
PngInFolder WhatIsThere(const std::filesystem::path& path, const std::string& bytes,
                        Services& services) {
    const std::string name = Utf8FromPath(path);
    if (!services.files.fileExists(name))
        return PngInFolder::Write;
    bool same = false;
    services.disk.run([&] { same = HoldsExactly(path, bytes); });
    if (same)
        return PngInFolder::Same;
    switch (AskToOverwrite(services, name, PngTitle)) {
    case DialogAnswer::Yes:
    case DialogAnswer::None: // gone meanwhile
        return PngInFolder::Write;
    case DialogAnswer::No:
        return PngInFolder::Kept;
    default:
        return PngInFolder::Stop;
    }
}

// Asks until the answer is a scale; none on Cancel.
std::optional<int> AskScale(Services& services, ExportChoices& choices) {
    while (true) {
        const std::optional<std::string> typed = services.input.ask(
            "Scale (1 to 8): each pixel becomes a block of this many pixels across.", ScaleTitle,
            std::to_string(choices.scale));
        if (!typed)
            return std::nullopt;
        if (const std::optional<int> scale = ReadScale(*typed))
            return choices.scale = *scale;
        services.box.tell("\"" + *typed + "\" is not a scale: type a whole number from 1 to 8.",
                          ScaleTitle);
    }
}

// The report drawn into the file as it is written, a page at a time, each
// picture decoded only while its page is drawn.
FileContents DrawnAsPdf(const Document& document, ExportEncoder& encoder) {
    return [&document, &encoder](ByteSink& file) {
        std::string whyNot;
        return encoder.pdf(document, file, whyNot)
                   ? Outcome::success()
                   : Outcome::failure("the PDF could not be made: " + whyNot);
    };
}

std::optional<std::string> Png(const Picture& picture, int scale, Services& services) {
    std::string whyNot;
    std::optional<std::string> bytes = services.encoder.png(picture, scale, whyNot);
    if (!bytes)
        services.box.tell("The picture could not be made into a PNG: " + whyNot + ".", PngTitle);
    return bytes;
}

} // namespace

std::optional<int> ReadScale(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    if (text.size() != 1 || text[0] < '0' + SmallestScale || text[0] > '0' + LargestScale)
        return std::nullopt;
    return text[0] - '0';
}

void ExportPictureAsPng(const Picture& picture, Services& services, ExportChoices& choices) {
    const std::optional<int> scale = AskScale(services, choices);
    if (!scale)
        return;
    if (const std::optional<std::string> bytes = Png(picture, *scale, services))
        SaveFileAs(*bytes, PngFile, services, &choices.pngFile);
}

void ExportScreenshotsAsPng(const std::vector<HistoryEntry>& entries, Services& services,
                            ExportChoices& choices) {
    if (std::all_of(entries.begin(), entries.end(),
                    [](const HistoryEntry& entry) { return entry.dropped(); })) {
        services.box.tell("There is no screenshot to export: dropped blocks have no "
                          "picture. Save them with \"Save...\" instead.",
                          PngTitle);
        return;
    }
    const std::optional<int> scale = AskScale(services, choices);
    if (!scale)
        return;
    const std::string folder = services.exportDialog.chooseFolder("Export as PNG to folder");
    if (folder.empty())
        return;
    // One picture decoded at a time. Each is named as the save folder names the
    // screenshots of its second, in the order they came.
    std::map<std::time_t, int> nthOfSecond;
    const std::vector<ReportEntry> report = ReportOf(entries, services.pictures);
    for (auto entry = report.begin(); entry != report.end(); ++entry) {
        std::string whyNot;
        const std::optional<Picture> picture =
            entry->decode ? entry->decode(whyNot) : std::optional<Picture>();
        if (!picture)
            continue;
        const std::optional<std::string> bytes = Png(*picture, *scale, services);
        if (!bytes)
            return;
        const std::filesystem::path path =
            PathFromUtf8(folder) /
            FolderFileName(LocalTime(entry->arrived), ++nthOfSecond[entry->arrived], ".png");
        const PngInFolder found = WhatIsThere(path, *bytes, services);
        if (found == PngInFolder::Same || found == PngInFolder::Kept)
            continue;
        if (found == PngInFolder::Stop)
            return;
        Outcome written = Outcome::success();
        services.disk.run([&] { written = WriteFileSafely(*bytes, path); });
        if (!written) {
            const auto left = std::count_if(
                entry + 1, report.end(), [](const ReportEntry& e) { return e.dropReason.empty(); });
            services.box.tell(SaveFailedMessage(Utf8FromPath(path), written, "The PNG picture") +
                                  (left == 0
                                       ? ""
                                       : "\r\nThe export stopped there: the " +
                                             std::to_string(left) + " after it were not exported."),
                              PngTitle);
            return;
        }
    }
}

void ExportSessionAsPdf(const std::vector<HistoryEntry>& entries, Services& services,
                        ExportChoices& choices) {
    const std::optional<std::string> comment =
        services.input.ask("Comment:", "Add comment to your PDF", "");
    if (!comment)
        return;
    const Document document = LayOutReport(ReportOf(entries, services.pictures), *comment,
                                           services.encoder.paper(), WidthIn(services.encoder));
    SaveFileAs(DrawnAsPdf(document, services.encoder), PdfFile, services, &choices.pdfFile);
}

std::vector<ReportEntry> ReportOf(std::vector<HistoryEntry> entries, PictureLoader& pictures) {
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const HistoryEntry& a, const HistoryEntry& b) { return a.serial < b.serial; });
    std::vector<ReportEntry> report;
    for (HistoryEntry& entry : entries) {
        ReportEntry shown{entry.arrived, {}, std::nullopt, {}, entry.dropReason};
        std::string whyNot;
        if (!entry.dropped())
            shown.picture =
                MeasuredPicture([&pictures, bytes = std::move(entry.bytes)](
                                    std::string& why) { return pictures.loadBytes(bytes, why); },
                                shown.decode, whyNot);
        report.push_back(std::move(shown));
    }
    return report;
}

std::optional<Picture> MeasuredPicture(PictureDecoder decode, PictureDecoder& later,
                                       std::string& whyNot) {
    std::optional<Picture> picture = decode(whyNot);
    if (!picture)
        return std::nullopt;
    later = std::move(decode);
    return Picture{{}, picture->width, picture->height};
}

} // namespace kvd
