#pragma once

#include <ctime>
#include <string>

#include "capture/CaptureSession.h"
#include "files/ScreenshotFolder.h"
#include "platform/DiskWorker.h"
#include "platform/Picture.h"

namespace kvd {

// Capture into a folder without a window: each poll reads the line, writes every
// whole screenshot into the folder as the window's save folder does, and reports
// each file. A block that starts like a screenshot but is not a readable bitmap
// is reported with its time and reason, and kept as kvd62-...-unreadable.bin when
// asked. The port lost, and back, is said once each; the session keeps retrying it.
class FolderCapture {
public:
    struct Services {
        DiskWorker& disk;
        PictureLoader& pictures;
        CaptureReport& report;
    };

    // The session saves into `folder` from now on.
    FolderCapture(CaptureSession& session, const std::filesystem::path& folder, Services services,
                  bool keepUnreadable)
        : session_(session), services_(services), keepUnreadable_(keepUnreadable) {
        session_.savingTo(folder);
    }

    // One poll; returns how many screenshots it saved, `most` at the most (0: no
    // limit). What arrived beyond that is left unsaved. A poll while another is
    // saving only reads the line.
    int tick(std::time_t now, int most = 0);

private:
    void ReportPort();
    void Refuse(const std::string& frame, const std::string& why, std::time_t now);

    CaptureSession& session_;
    Services services_;
    bool keepUnreadable_;
    bool lost_ = false;
    bool saving_ = false;
};

} // namespace kvd
