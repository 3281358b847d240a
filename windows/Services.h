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

// The platform services the main window runs on: the real ones in the program,
// scripted fakes in tests.
struct Services {
    SerialPort& comm;
    FileDialog& dialog;
    FileSystem& files;
    MessageBoxes& box;
    InputBox& input;
    PictureLoader& pictures;
    FormPrinter& printer;
    DiskWorker& disk;
    ExportEncoder& encoder;
    // The file through which each new screenshot is shown.
    std::filesystem::path tempImagePath;
};

} // namespace kvd
