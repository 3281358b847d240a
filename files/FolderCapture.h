#pragma once

#include <ctime>
#include <string>

#include "capture/CaptureSession.h"
#include "files/ScreenshotFolder.h"
#include "platform/DiskWorker.h"
#include "platform/Picture.h"

namespace kvd {

// What capture without a window tells its user: one line per file written, for
// a script to follow, and what went wrong, for the person.
class CaptureReport {
public:
    virtual ~CaptureReport() = default;
    // A screenshot is complete in this file.
    virtual void saved(const std::string& path) = 0;
    virtual void problem(const std::string& text) = 0;
};

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

    FolderCapture(CaptureSession& session, ScreenshotFolder folder, Services services,
                  bool keepUnreadable)
        : session_(session), folder_(std::move(folder)), services_(services),
          keepUnreadable_(keepUnreadable) {}

    // One poll; returns how many screenshots it saved, `most` at the most (0: no
    // limit). What arrived beyond that is left unsaved. A poll while another is
    // saving only reads the line.
    int tick(std::time_t now, int most = 0);

private:
    void ReportPort();
    bool Save(const std::string& frame, std::time_t now);
    void Refuse(const std::string& frame, const std::string& why, std::time_t now);

    CaptureSession& session_;
    ScreenshotFolder folder_;
    Services services_;
    bool keepUnreadable_;
    bool lost_ = false;
    bool saving_ = false;
};

} // namespace kvd
