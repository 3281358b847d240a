#include "files/LoadImage.h"

#include "files/DialogFilters.h"
#include "platform/Utf8Path.h"

namespace kvd {

void OnLoadImageClicked(CaptureSession& session, LoadServices& services, CaptureView& view) {
    view.setSaveEnabled(false);
    view.setDisableSaveEnabled(false);
    services.dialog.setFilter(std::string(LoadFilter));
    if (services.dialog.showOpen())
        session.showPictureFileLater(services.dialog.fileName());
}

bool ShowPictureFile(const std::string& path, LoadServices& services, CaptureView& view) {
    view.setSaveEnabled(false);
    view.setDisableSaveEnabled(false);
    std::string whyNot;
    const auto picture = services.pictures.loadFile(PathFromUtf8(path), whyNot);
    if (!picture) {
        services.box.tell(path + " could not be loaded: " + whyNot + ".", "Load image");
        return false;
    }
    view.showPicture(*picture);
    return true;
}

} // namespace kvd
