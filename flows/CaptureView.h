#pragma once

#include "platform/Picture.h"

namespace kvd {

// The main window's controls as the capture and file flows reach them: the
// "Save image" button, the "Disable Save" check box and the shown picture.
class CaptureView {
public:
    virtual ~CaptureView() = default;
    virtual void setSaveEnabled(bool enabled) = 0;
    virtual void setDisableSaveEnabled(bool enabled) = 0;
    // Shows the picture, stretched to the picture control, and makes it visible.
    virtual void showPicture(const Picture& picture) = 0;
};

} // namespace kvd
