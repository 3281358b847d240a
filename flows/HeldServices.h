#pragma once

#include "capture/ArrivalHold.h"
#include "flows/Services.h"

namespace kvd {

// The services that open a dialog or turn the event loop, each holding arrivals
// while it does: no window code takes the hold, and no dialog can forget it.
class HeldFileDialog final : public FileDialog {
public:
    HeldFileDialog(FileDialog& dialog, ArrivalHold& hold) : dialog_(dialog), hold_(hold) {}
    void setFilter(const std::string& filter) override { dialog_.setFilter(filter); }
    void setTitle(const std::string& title) override { dialog_.setTitle(title); }
    void setFileName(const std::string& path) override { dialog_.setFileName(path); }
    bool showSave() override {
        const ArrivalHold::Taken held = hold_.take();
        return dialog_.showSave();
    }
    bool showOpen() override {
        const ArrivalHold::Taken held = hold_.take();
        return dialog_.showOpen();
    }
    std::string fileName() const override { return dialog_.fileName(); }
    std::string fileTitle() const override { return dialog_.fileTitle(); }
    std::string chooseFolder(const std::string& title) override {
        const ArrivalHold::Taken held = hold_.take();
        return dialog_.chooseFolder(title);
    }

private:
    FileDialog& dialog_;
    ArrivalHold& hold_;
};

class HeldMessageBoxes final : public MessageBoxes {
public:
    HeldMessageBoxes(MessageBoxes& box, ArrivalHold& hold) : box_(box), hold_(hold) {}
    DialogAnswer ask(const std::string& text, const std::string& title, Buttons buttons,
                     DialogAnswer onEnter) override {
        const ArrivalHold::Taken held = hold_.take();
        return box_.ask(text, title, buttons, onEnter);
    }
    void tell(const std::string& text, const std::string& title) override {
        const ArrivalHold::Taken held = hold_.take();
        box_.tell(text, title);
    }

private:
    MessageBoxes& box_;
    ArrivalHold& hold_;
};

class HeldInputBox final : public InputBox {
public:
    HeldInputBox(InputBox& input, ArrivalHold& hold) : input_(input), hold_(hold) {}
    std::optional<std::string> ask(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override {
        const ArrivalHold::Taken held = hold_.take();
        return input_.ask(prompt, title, defaultText);
    }

private:
    InputBox& input_;
    ArrivalHold& hold_;
};

class HeldFormPrinter final : public FormPrinter {
public:
    HeldFormPrinter(FormPrinter& printer, ArrivalHold& hold) : printer_(printer), hold_(hold) {}
    Outcome print(const Picture& picture, const std::string& comment) override {
        const ArrivalHold::Taken held = hold_.take();
        return printer_.print(picture, comment);
    }

private:
    FormPrinter& printer_;
    ArrivalHold& hold_;
};

// A write keeps the event loop turning: the line is read meanwhile, but what
// arrives waits, so that the bytes being written stay as they are.
class HeldDiskWorker final : public DiskWorker {
public:
    HeldDiskWorker(DiskWorker& disk, ArrivalHold& hold) : disk_(disk), hold_(hold) {}
    void run(const std::function<void()>& write) override {
        const ArrivalHold::Taken held = hold_.take();
        disk_.run(write);
    }

private:
    DiskWorker& disk_;
    ArrivalHold& hold_;
};

// The services as the flows get them, built once (in main, and in the test
// rig) around the real ones: each dialog, the printer and the disk hold
// arrivals while they run.
class HeldServices {
public:
    HeldServices(const Services& raw, ArrivalHold& hold)
        : dialog_(raw.dialog, hold), exportDialog_(raw.exportDialog, hold), box_(raw.box, hold),
          input_(raw.input, hold), printer_(raw.printer, hold),
          disk_(raw.disk, hold), services_{raw.comm,     dialog_,  exportDialog_,
                                           raw.files,    box_,     input_,
                                           raw.pictures, printer_, disk_,
                                           raw.encoder,  hold,     raw.tempImagePath} {}
    HeldServices(const HeldServices&) = delete;
    HeldServices& operator=(const HeldServices&) = delete;

    Services& services() { return services_; }

private:
    HeldFileDialog dialog_;
    HeldFileDialog exportDialog_;
    HeldMessageBoxes box_;
    HeldInputBox input_;
    HeldFormPrinter printer_;
    HeldDiskWorker disk_;
    Services services_;
};

} // namespace kvd
