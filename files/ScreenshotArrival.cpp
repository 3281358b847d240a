#include "files/ScreenshotArrival.h"

#include "files/ScreenshotFile.h"

namespace kvd {

namespace {

// The picture to show: read back from the temporary file once all of it is
// there, else the one decoded from memory.
Picture PictureToShow(const CaptureState& state, ArrivalServices& services, Picture decoded) {
    if (!WriteScreenshotFile(state.ImageData, services.tempImagePath, Flush::No))
        return decoded;
    std::string whyNot;
    auto fromFile = services.pictures.loadFile(services.tempImagePath, whyNot);
    return fromFile ? std::move(*fromFile) : decoded;
}

} // namespace

bool ShowNewScreenshot(CaptureState& state, const std::string& frame, ArrivalServices& services,
                       CaptureView& view) {
    std::string whyNot;
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
    state.CurrentSaved = false;
    return true;
}

} // namespace kvd
