#pragma once

#include <filesystem>

#include "platform/DiskWorker.h"
#include "platform/ExportEncoder.h"
#include "platform/FileDialog.h"
#include "platform/FileSystem.h"
#include "platform/FormPrinter.h"
#include "platform/MessageBoxes.h"
#include "platform/Picture.h"
#include "platform/SerialPort.h"

namespace kvd {

// The platform services the window and its flows run on: the real ones in the
// program, scripted fakes in tests. The flows reach the user and the system only
// through these.
struct Services {
    SerialPort& comm;
    // The file dialog "Save image" and "Load image" share, and the exports' own.
    FileDialog& dialog;
    FileDialog& exportDialog;
    FileSystem& files;
    MessageBoxes& box;
    InputBox& input;
    PictureLoader& pictures;
    FormPrinter& printer;
    // Where the flushed writes run, so that the port is still read meanwhile.
    DiskWorker& disk;
    ExportEncoder& encoder;
    // The file through which each new screenshot is shown.
    std::filesystem::path tempImagePath;
};

} // namespace kvd
