#include "files/LoadImage.h"

#include "capture/CaptureState.h"
#include "platform/Utf8Path.h"

namespace kvd {

void OnLoadImageClicked(LoadServices& services, CaptureView& view) {
    view.setSaveEnabled(false);
    view.setDisableSaveEnabled(false);
    services.dialog.setFilter(std::string(ScreenshotFilter));
    if (!services.dialog.showOpen())
        return;
    ShowPictureFile(services.dialog.fileName(), services, view);
}

void ShowPictureFile(const std::string& path, LoadServices& services, CaptureView& view) {
    view.setSaveEnabled(false);
    view.setDisableSaveEnabled(false);
    std::string whyNot;
    const auto picture = services.pictures.loadFile(PathFromUtf8(path), whyNot);
    if (!picture) {
        services.box.tell(path + " could not be loaded: " + whyNot + ".", "Load image");
        return;
    }
    view.showPicture(*picture);
}

} // namespace kvd
