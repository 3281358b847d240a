#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "capture/CaptureSession.h"
#include "capture/SessionHistory.h"
#include "files/ScreenshotFile.h"
#include "flows/CaptureView.h"
#include "flows/Services.h"
#include "platform/Outcome.h"

namespace kvd {

// A kind of file the Save dialog writes, and how it is written.
struct FileKind {
    std::string_view filter;
    const char* title;
    // What a failure names: "The screenshot", "The PNG picture".
    const char* what;
    // Fewer bytes than this: there is nothing to save yet.
    std::size_t minimumSize;
    Outcome (*write)(std::string_view bytes, const std::filesystem::path& path);
    // An export: it is chosen in the exports' own dialog (what "Save image" and
    // "Load image" share is theirs), and a name that does not end with the
    // suffix of its type gets it. Any other kind's name gets its type's suffix
    // only when it has no extension at all.
    bool exported = false;
};

// The Save dialog until the user picks a file that may be written, then the
// write, on the disk worker; true when the bytes are in the file. A name typed
// without an extension gets the one of the kind's type, and is then the file
// asked about and written. An existing file is replaced only after the user
// says Yes; No brings the dialog back. A write that fails is said. `lastFile`,
// when given, is the file the dialog offers and becomes the one chosen; without
// it the dialog offers the file it last showed. `answered` hears each answer to
// the overwrite question.
bool SaveFileAs(const std::string& bytes, const FileKind& kind, Services& services,
                std::string* lastFile = nullptr,
                const std::function<void(DialogAnswer)>& answered = {});
// The same for a file made as it is written (a document); its making runs on
// the disk worker with the write, so the line is read meanwhile.
bool SaveFileAs(const FileContents& contents, const FileKind& kind, Services& services,
                std::string* lastFile = nullptr);

// Asks before the file at `path` is replaced, under the asking flow's `title`:
// Yes replaces it, No keeps it, Cancel stops; Enter answers No. None when
// there is no such file.
DialogAnswer AskToOverwrite(Services& services, const std::string& path, const char* title);

// "1" when a file of that path exists, "0" when not.
std::string ReportFileStatus(FileSystem& files, const std::string& path);

// Why the held screenshot is being saved: the "Save image" button was pressed,
// or a new screenshot arrived while the shown one is unsaved.
enum class SaveMode { Requested, OnArrival };

// Saves the current screenshot to a file the user picks. Requested, it goes
// straight to the Save dialog; on an arrival, it first asks whether to save the
// shown one. An existing file is overwritten only after the user says Yes; No
// brings the dialog back. Cancel ends the flow silently; a write that fails is
// said, and nothing is marked saved. The session hears each answer, and that the
// Save dialog has started.
void SaveScreenshot(CaptureSession& session, SaveMode mode, Services& services, CaptureView& view);

// Saves a screenshot from the history, or a dropped block's raw bytes, to a file
// the user picks, with the same overwrite question and safe write; the shown
// screenshot's state is left as it is. A dropped block is offered a name of its
// own, as the save folder names it, beside the last screenshot's file, which
// "Save image" then offers again.
void SaveHistoryEntry(const HistoryEntry& entry, Services& services);

// The "Save image" button.
void OnSaveImageClicked(CaptureSession& session, Services& services, CaptureView& view);

} // namespace kvd
