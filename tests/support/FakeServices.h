#pragma once

#include <any>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "flows/ArrivalPump.h"
#include "flows/HeldServices.h"
#include "platform/DiskWorker.h"
#include "platform/StdFileSystem.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"

namespace kvd {

// Runs the write where it is called.
class DiskWorkerInPlace final : public DiskWorker {
public:
    void run(const std::function<void()>& write) override { write(); }
};

namespace test {

// "Encodes" a fake loader's picture (its bytes) as those bytes and the scale,
// so an export's files tell which picture they hold; a PDF is its first line.
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

// Every service the flows run on, assembled as the program does (each dialog
// holding arrivals while open), with scripted dialogs and the real file system.
// No temporary file until a test names one.
template <typename Pictures = FakePictureLoader, typename Encoder = FakeExportEncoder,
          typename Port = FakeSerialPort, typename Disk = DiskWorkerInPlace>
struct ServicesOf {
    ServicesOf() = default;
    // A real port takes arguments of its own.
    template <typename... PortArguments>
    explicit ServicesOf(PortArguments&&... port) : comm(std::forward<PortArguments>(port)...) {}

    Port comm;
    FakeFileDialog dialog;
    FakeFileDialog exportDialog;
    StdFileSystem files;
    FakeMessageBox box;
    FakeInputBox input;
    Pictures pictures;
    FakeFormPrinter printer;
    Disk disk;
    Encoder encoder;
    ArrivalHold hold;
    HeldServices held{Services{comm,
                               dialog,
                               exportDialog,
                               files,
                               box,
                               input,
                               pictures,
                               printer,
                               disk,
                               encoder,
                               hold,
                               {}},
                      hold};
    Services& services = held.services();

    // The pump's event loop: steps wait here until runLater, each then followed
    // by `afterEach`.
    std::deque<std::function<void()>> later;
    ArrivalPump::Later queueLater() {
        return [this](std::function<void()> step) { later.push_back(std::move(step)); };
    }
    void runLater(const std::function<void()>& afterEach = {}) {
        while (!later.empty()) {
            const std::function<void()> step = std::move(later.front());
            later.pop_front();
            step();
            if (afterEach)
                afterEach();
        }
    }
};

using FakeServices = ServicesOf<>;

} // namespace test
} // namespace kvd
