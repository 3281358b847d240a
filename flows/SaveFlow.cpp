#include "flows/SaveFlow.h"

#include <algorithm>
#include <cctype>

#include "files/ScreenshotFile.h"
#include "files/ScreenshotFolder.h"
#include "flows/DialogFilters.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace {

constexpr const char* ArrivalQuestion = "A new screenshot arrived, save current ?";
constexpr const char* ArrivalTitle = "Incoming data";
constexpr const char* SaveDialogTitle = "Save current screenshot as";
constexpr const char* SaveTitle = "Save as";
constexpr std::string_view DroppedBlockFilter = "Dropped blocks (*.bin)|*.bin";

// Asks whether to save the shown screenshot before a new one replaces it; true
// when the user wants to.
bool AskAboutArrival(CaptureSession& session, Services& services, CaptureView& view) {
    view.setDisableSaveEnabled(true);
    // Enter saves it: the answer that loses nothing.
    const DialogAnswer answer =
        services.box.ask(ArrivalQuestion, ArrivalTitle, Buttons::YesNo, DialogAnswer::Yes);
    session.answered(answer);
    if (answer == DialogAnswer::Yes)
        return true;
    session.currentSaved();
    return false;
}

using Write = std::function<Outcome(const std::filesystem::path&)>;

bool WriteChosenFile(const Write& write, const FileKind& kind, Services& services,
                     const std::string& path) {
    Outcome written = Outcome::success();
    services.disk.run([&] { written = write(PathFromUtf8(path)); });
    if (!written)
        services.box.tell(SaveFailedMessage(path, written, kind.what), SaveTitle);
    return bool(written);
}

const FileKind Screenshot{ScreenshotFilter, SaveDialogTitle, "The screenshot", ScreenshotSize,
                          WriteScreenshotFile};
const FileKind HistoryScreenshot{ScreenshotFilter, "Save screenshot as", "The screenshot",
                                 ScreenshotSize, WriteScreenshotFile};
// A dropped block is whatever the line gave, of any length (a line error can cut
// one short or run one on): all of its bytes are saved, none added.
const FileKind DroppedBlock{DroppedBlockFilter, "Save dropped block as", "The dropped block", 1,
                            WriteFileSafely};

// A dropped block's own name, as the save folder names one of its moment, in
// the folder of `beside`.
std::string DroppedBlockName(const HistoryEntry& entry, const std::string& beside) {
    return Utf8FromPath(PathFromUtf8(beside).parent_path() /
                        FolderFileName(LocalTime(entry.arrived), 1, "-unreadable.bin"));
}

// The suffix of a kind's type, from its filter's pattern: ".png" of "...|*.png".
std::string_view SuffixOf(const FileKind& kind) {
    const std::size_t star = kind.filter.rfind("|*.");
    return star == std::string_view::npos ? std::string_view{} : kind.filter.substr(star + 2);
}

bool EndsWithSuffix(std::string_view name, std::string_view suffix) {
    return name.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), name.end() - std::ptrdiff_t(suffix.size()),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

// The file the user chose, with its type's suffix where the name has no
// extension ("first" is saved as first.bmp), as the system's own dialogs add
// it; an export's name gets it unless it ends with it. A name the dialog itself
// gave the suffix is left as it is.
std::string ChosenPath(const FileKind& kind, std::string path) {
    const std::string name = Utf8FromPath(PathFromUtf8(path).filename());
    const std::string_view suffix = SuffixOf(kind);
    const bool noExtension = name.find('.') == std::string::npos;
    if (!name.empty() && (noExtension || (kind.exported && !EndsWithSuffix(name, suffix))))
        path += suffix;
    return path;
}

// The Save dialog and the overwrite question until a file is chosen, then
// `write` into it. `nothingYet` when there is nothing to write.
bool SaveChosenFile(const FileKind& kind, bool nothingYet, const Write& write, Services& services,
                    std::string* lastFile, const std::function<void(DialogAnswer)>& answered) {
    FileDialog& dialog = kind.exported ? services.exportDialog : services.dialog;
    if (lastFile)
        dialog.setFileName(*lastFile);
    while (true) {
        dialog.setFilter(std::string(kind.filter));
        dialog.setTitle(kind.title);
        if (!dialog.showSave())
            return false;
        if (nothingYet) {
            services.box.tell("There is no screenshot to save yet.", SaveTitle);
            return false;
        }
        const std::string path = ChosenPath(kind, dialog.fileName());
        // Shown again, the dialog offers the file as it is written.
        dialog.setFileName(path);
        if (lastFile)
            *lastFile = path;
        const DialogAnswer answer = AskToOverwrite(services, path, SaveTitle);
        if (answered)
            answered(answer);
        if (answer == DialogAnswer::No || (answer == DialogAnswer::None && path.empty()))
            continue;
        if (answer == DialogAnswer::Cancel)
            return false;
        return WriteChosenFile(write, kind, services, path);
    }
}

} // namespace

bool SaveFileAs(const std::string& bytes, const FileKind& kind, Services& services,
                std::string* lastFile, const std::function<void(DialogAnswer)>& answered) {
    return SaveChosenFile(
        kind, bytes.size() < kind.minimumSize,
        [&](const std::filesystem::path& path) { return kind.write(bytes, path); }, services,
        lastFile, answered);
}

bool SaveFileAs(const FileContents& contents, const FileKind& kind, Services& services,
                std::string* lastFile) {
    return SaveChosenFile(
        kind, false,
        [&](const std::filesystem::path& path) { return WriteFileAsMade(contents, path); },
        services, lastFile, {});
}

DialogAnswer AskToOverwrite(Services& services, const std::string& path, const char* title) {
    if (ReportFileStatus(services.files, path) != "1")
        return DialogAnswer::None;
    const std::string question =
        Utf8FromPath(PathFromUtf8(path).filename()) + " exists\r\nOverwrite ?";
    // Enter keeps the file: it is replaced only by a deliberate Yes.
    return services.box.ask(question, title, Buttons::YesNoCancel, DialogAnswer::No);
}

std::string ReportFileStatus(FileSystem& files, const std::string& path) {
    return files.fileExists(path) ? "1" : "0";
}

void SaveScreenshot(CaptureSession& session, SaveMode mode, Services& services, CaptureView& view) {
    if (mode == SaveMode::OnArrival && !AskAboutArrival(session, services, view))
        return;

    session.saveRequested(false);
    if (SaveFileAs(session.currentScreenshot(), Screenshot, services, nullptr,
                   [&](DialogAnswer answer) { session.answered(answer); }))
        session.currentSaved();
}

void SaveHistoryEntry(const HistoryEntry& entry, Services& services) {
    if (!entry.dropped()) {
        SaveFileAs(entry.bytes, HistoryScreenshot, services);
        return;
    }
    const std::string lastScreenshot = services.dialog.fileName();
    std::string offered = DroppedBlockName(entry, lastScreenshot);
    SaveFileAs(entry.bytes, DroppedBlock, services, &offered);
    services.dialog.setFileName(lastScreenshot);
}

void OnSaveImageClicked(CaptureSession& session, Services& services, CaptureView& view) {
    session.saveRequested(true);
    SaveScreenshot(session, SaveMode::Requested, services, view);
}

} // namespace kvd
