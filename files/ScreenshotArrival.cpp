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

// Saves the new screenshot into the save folder; true when it is there.
bool SaveIntoFolder(const CaptureState& state, std::time_t arrived, ArrivalServices& services) {
    if (services.folder == nullptr)
        return false;
    ScreenshotFolder::Saved saved;
    services.save.disk.run([&] { saved = services.folder->save(state.ImageData, arrived); });
    if (saved.outcome)
        return true;
    // What is true of the screenshot left on screen depends on "Disable Save":
    // while it is ticked, "Save image" is off and the next one replaces it.
    const std::string onScreen =
        state.SaveDisabled
            ? " The screenshot stays on screen until the next one replaces it: to keep it, "
              "untick \"Disable Save\" and use \"Save image\". "
            : " The screenshot stays on screen: save it with \"Save image\". ";
    services.save.box.tell(SaveFailedMessage(Utf8FromPath(saved.path), saved.outcome) + onScreen +
                               "The next screenshots still go to " +
                               Utf8FromPath(services.folder->folder()) + ".",
                           "Save image");
    return false;
}

} // namespace

bool ShowNewScreenshot(CaptureState& state, const std::string& frame, std::time_t arrived,
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
    state.CurrentSaved = SaveIntoFolder(state, arrived, services);
    return true;
}

} // namespace kvd
