#include "flows/LoadImage.h"

#include "flows/DialogFilters.h"
#include "platform/Utf8Path.h"

namespace kvd {

void OnLoadImageClicked(ArrivalPump& pump, Services& services, CaptureView& view) {
    view.setSaveEnabled(false);
    view.setDisableSaveEnabled(false);
    services.dialog.setFilter(std::string(LoadFilter));
    // Its own title: the dialog it shares with "Save image" would say "Save".
    services.dialog.setTitle("Load image");
    if (services.dialog.showOpen())
        pump.showPictureFile(services.dialog.fileName());
}

void ShowPictureFile(CaptureSession& session, const std::string& path, Services& services,
                     CaptureView& view) {
    view.setSaveEnabled(false);
    view.setDisableSaveEnabled(false);
    std::string whyNot;
    auto picture = services.pictures.loadFile(PathFromUtf8(path), whyNot);
    if (!picture) {
        services.box.tell(path + " could not be loaded: " + whyNot + ".", "Load image");
        return;
    }
    session.pictureFileShown(std::move(*picture));
    view.showPicture(session.shown().picture);
}

} // namespace kvd
