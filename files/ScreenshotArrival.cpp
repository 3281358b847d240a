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

} // namespace

bool ShowNewScreenshot(CaptureState& state, const std::string& frame, std::time_t arrived,
                       const std::optional<std::filesystem::path>& folder,
                       ArrivalServices& services, CaptureView& view, std::string& whyNot) {
    std::optional<Picture> decoded = services.pictures.loadBytes(frame, whyNot);
    if (!decoded)
        return false;

    if (!state.SaveDisabled) {
        view.setSaveEnabled(true);
        if (!state.CurrentSaved) {
            state.SaveRequested = false;
            SaveScreenshot(state, services.save, view);
        }
    }
    state.ImageData = frame;
    view.showPicture(PictureToShow(state, services, std::move(*decoded)));
    view.setDisableSaveEnabled(true);
    if (folder) {
        FolderMessage message(state, *folder, services.save.box);
        state.CurrentSaved =
            SaveIntoFolder(*folder, state.ImageData, arrived, services.save.disk, message);
    } else {
        state.CurrentSaved = false;
    }
    return true;
}

} // namespace kvd
