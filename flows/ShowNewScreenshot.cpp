#include "flows/ShowNewScreenshot.h"

#include "files/ScreenshotFile.h"
#include "files/ScreenshotFolder.h"
#include "flows/SaveFlow.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace {

// In the window, a failed write into the save folder is said in a message that
// also says what became of the screenshot on screen. That depends on "Disable
// Save": while it is ticked, "Save image" is off and the next one replaces it.
class FolderMessage final : public CaptureReport {
public:
    FolderMessage(const CaptureSession& session, const std::filesystem::path& folder,
                  MessageBoxes& box)
        : session_(session), folder_(folder), box_(box) {}
    void saved(const std::string&) override {}
    void problem(const std::string& text) override {
        const std::string onScreen =
            session_.saveDisabled()
                ? " The screenshot stays on screen until the next one replaces it: to keep it, "
                  "untick \"Disable Save\" and use \"Save image\". "
                : " The screenshot stays on screen: save it with \"Save image\". ";
        box_.tell(text + onScreen + "The next screenshots still go to " + Utf8FromPath(folder_) +
                      ".",
                  "Save image");
    }

private:
    const CaptureSession& session_;
    const std::filesystem::path& folder_;
    MessageBoxes& box_;
};

// Before the shown screenshot is replaced: "Save image" comes on, and an
// unsaved one is offered for saving, unless saving is disabled.
void OfferToSaveShown(CaptureSession& session, Services& services, CaptureView& view) {
    if (session.saveDisabled())
        return;
    view.setSaveEnabled(true);
    if (session.currentUnsaved())
        SaveScreenshot(session, SaveMode::OnArrival, services, view);
}

// The new screenshot is the current one, shown, and unsaved until it is saved
// into the folder.
void MakeCurrent(CaptureSession& session, const Arrival& arrival,
                 const std::optional<std::filesystem::path>& folder, Services& services,
                 CaptureView& view) {
    // On the disk worker, as every write while capture runs: the line is read
    // meanwhile. A temporary file that cannot be written (no private folder, a
    // full disk) costs nothing on screen.
    if (!services.tempImagePath.empty())
        services.disk.run(
            [&] { WriteTemporaryScreenshotFile(arrival.bytes, services.tempImagePath); });
    session.screenshotShown(arrival);
    view.showPicture(session.shown().picture);
    view.setDisableSaveEnabled(true);
    if (folder) {
        FolderMessage message(session, *folder, services.box);
        if (SaveIntoFolder(*folder, arrival.bytes, arrival.arrived, services.disk, message))
            session.currentSaved();
    }
}

} // namespace

// The folder is a copy of the session's: the event loop turns while the files
// are written, and the session's may change meanwhile.
void ShowNewScreenshot(CaptureSession& session, const Arrival& arrival, Services& services,
                       CaptureView& view) {
    const std::optional<std::filesystem::path> folder = session.saveFolder();
    OfferToSaveShown(session, services, view);
    MakeCurrent(session, arrival, folder, services, view);
}

} // namespace kvd
