#pragma once

#include <filesystem>

#include "capture/ArrivalHold.h"
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
// through these. Built once, as HeldServices, so that every dialog holds
// arrivals while it is open.
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
    // Taken while a dialog is open or a write runs: what arrives meanwhile waits.
    ArrivalHold& hold;
    // Each new screenshot is also written to this file as it is shown, for
    // other programs to pick up the newest; the window shows it from memory and
    // nothing here reads the file back. Empty: none is written.
    std::filesystem::path tempImagePath;
};

} // namespace kvd
