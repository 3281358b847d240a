#pragma once

#include <any>
#include <filesystem>
#include <string>
#include <string_view>

#include "flows/Services.h"
#include "platform/StdFileSystem.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/DiskWorkerInPlace.h"

namespace kvd::test {

// "Encodes" a picture of the fake loader (its bytes) as those bytes with the
// scale after them, so that an export's files tell which picture they hold; a
// PDF is only its first line.
class FakeExportEncoder final : public ExportEncoder {
public:
    std::optional<std::string> png(const Picture& picture, int scale, std::string&) override {
        return std::any_cast<std::string>(picture.image) + " x" + std::to_string(scale);
    }
    bool pdf(const Document&, ByteSink& file, std::string&) override {
        return file.write(PdfStart);
    }
    static constexpr std::string_view PdfStart = "%PDF-1.4\n";
};

// Every service the flows run on, scripted, with the real file system; the
// temporary file is `tempImagePath`, none until a test names one.
struct FakeServices {
    FakeSerialPort comm;
    FakeFileDialog dialog;
    FakeFileDialog exportDialog;
    StdFileSystem files;
    FakeMessageBox box;
    FakeInputBox input;
    FakePictureLoader pictures;
    FakeFormPrinter printer;
    DiskWorkerInPlace disk;
    FakeExportEncoder encoder;
    Services services{comm,     dialog,  exportDialog, files,   box, input,
                      pictures, printer, disk,         encoder, {}};
};

} // namespace kvd::test
