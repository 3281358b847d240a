#include "files/ScreenshotArrival.h"

#include "files/ScreenshotFile.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace {

// The picture to show: read back from the temporary file once all of it is
// there, else (no private folder, or the file could not be written) the one
// decoded from memory.
Picture PictureToShow(const CaptureState& state, ArrivalServices& services, Picture decoded) {
    if (services.tempImagePath.empty() ||
        !WriteTemporaryScreenshotFile(state.ImageData, services.tempImagePath))
        return decoded;
    std::string whyNot;
    auto fromFile = services.pictures.loadFile(services.tempImagePath, whyNot);
    return fromFile ? std::move(*fromFile) : decoded;
}

// In the window, a failed write into the save folder is said in a message that
// also says what became of the screenshot on screen. That depends on "Disable
// Save": while it is ticked, "Save image" is off and the next one replaces it.
class FolderMessage final : public CaptureReport {
public:
    FolderMessage(const CaptureState& state, const std::filesystem::path& folder, MessageBoxes& box)
        : state_(state), folder_(folder), box_(box) {}
    void saved(const std::string&) override {}
    void problem(const std::string& text) override {
        const std::string onScreen =
            state_.SaveDisabled
                ? " The screenshot stays on screen until the next one replaces it: to keep it, "
                  "untick \"Disable Save\" and use \"Save image\". "
                : " The screenshot stays on screen: save it with \"Save image\". ";
        box_.tell(text + onScreen + "The next screenshots still go to " + Utf8FromPath(folder_) +
                      ".",
                  "Save image");
    }

private:
    const CaptureState& state_;
    const std::filesystem::path& folder_;
    MessageBoxes& box_;
};

// Before the shown screenshot is replaced: "Save image" comes on, and an
// unsaved one is offered for saving, unless saving is disabled.
void OfferToSaveShown(CaptureState& state, SaveServices& services, CaptureView& view) {
    if (state.SaveDisabled)
        return;
    view.setSaveEnabled(true);
    if (!state.CurrentSaved)
        SaveScreenshot(state, SaveMode::OnArrival, services, view);
}

// The new screenshot is the current one, shown, and unsaved until it is saved
// into the folder.
void MakeCurrent(CaptureState& state, const Arrival& arrival, Picture decoded,
                 const std::optional<std::filesystem::path>& folder, ArrivalServices& services,
                 CaptureView& view) {
    state.ImageData = arrival.bytes;
    view.showPicture(PictureToShow(state, services, std::move(decoded)));
    view.setDisableSaveEnabled(true);
    state.CurrentSaved = false;
    if (folder) {
        FolderMessage message(state, *folder, services.save.box);
        state.CurrentSaved =
            SaveIntoFolder(*folder, state.ImageData, arrival.arrived, services.save.disk, message);
    }
}

} // namespace

// The folder is a copy of the session's: the event loop turns while the files
// are written, and the session's may change meanwhile.
Outcome ShowNewScreenshot(CaptureState& state, const Arrival& arrival,
                          std::optional<std::filesystem::path> folder, ArrivalServices& services,
                          CaptureView& view) {
    std::string whyNot;
    std::optional<Picture> decoded =
        arrival.picture ? arrival.picture : services.pictures.loadBytes(arrival.bytes, whyNot);
    if (!decoded)
        return Outcome::failure(whyNot);
    OfferToSaveShown(state, services.save, view);
    MakeCurrent(state, arrival, std::move(*decoded), folder, services, view);
    return Outcome::success();
}

} // namespace kvd
