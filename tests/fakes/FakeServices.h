#pragma once

#include <filesystem>

#include "files/Services.h"
#include "platform/StdFileSystem.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/DiskWorkerInPlace.h"

namespace kvd::test {

// Refuses every export: for flows that make none.
class NoExportEncoder final : public ExportEncoder {
public:
    std::optional<std::string> png(const Picture&, int, std::string& whyNot) override {
        whyNot = "no encoder here";
        return std::nullopt;
    }
    bool pdf(const Document&, ByteSink&, std::string& whyNot) override {
        whyNot = "no encoder here";
        return false;
    }
};

// Every service the flows run on, scripted, with the real file system; the
// temporary file is `tempImagePath`, none until a test names one.
struct FakeServices {
    FakeSerialPort comm;
    FakeFileDialog dialog;
    StdFileSystem files;
    FakeMessageBox box;
    FakeInputBox input;
    FakePictureLoader pictures;
    FakeFormPrinter printer;
    DiskWorkerInPlace disk;
    NoExportEncoder encoder;
    Services services{comm, dialog, files, box, input, pictures, printer, disk, encoder, {}};
};

} // namespace kvd::test
