#include "files/SaveFlow.h"

#include "files/ScreenshotFile.h"
#include "platform/Utf8Path.h"

namespace kvd {

namespace {

constexpr const char* ArrivalQuestion = "A new screenshot arrived, save current ?";
constexpr const char* ArrivalTitle = "Incoming data";
constexpr const char* SaveDialogTitle = "Save current screenshot as";
constexpr const char* SaveTitle = "Save as";

void Store(CaptureState& state, DialogAnswer answer) {
    state.Answer = static_cast<std::int16_t>(answer);
}

// Asks whether to save the shown screenshot before a new one replaces it; true
// when the user wants to.
bool AskAboutArrival(CaptureState& state, SaveServices& services, CaptureView& view) {
    view.setDisableSaveEnabled(true);
    Store(state, services.box.ask(ArrivalQuestion, ArrivalTitle, Buttons::YesNo));
    if (state.Answer == static_cast<std::int16_t>(DialogAnswer::Yes))
        return true;
    state.CurrentSaved = true;
    return false;
}

// Asks before an existing file is replaced; None when there is no such file.
DialogAnswer AskToOverwrite(SaveServices& services, const std::string& path) {
    if (ReportFileStatus(services.files, path) != "1")
        return DialogAnswer::None;
    const std::string question = services.dialog.fileTitle() + " exists\r\nOverwrite ?";
    return services.box.ask(question, SaveTitle, Buttons::YesNoCancel);
}

void WriteChosenFile(CaptureState& state, SaveServices& services, const std::string& path) {
    Outcome written = Outcome::success();
    services.disk.run([&] { written = WriteScreenshotFile(state.ImageData, PathFromUtf8(path)); });
    if (!written) {
        services.box.tell(SaveFailedMessage(path, written.reason()), SaveTitle);
        return;
    }
    state.CurrentSaved = true;
}

} // namespace

std::string SaveFailedMessage(const std::string& path, const std::string& reason) {
    return "The screenshot could not be saved to " + path + ": " + reason +
           ".\r\nNothing was written there.";
}

std::string ReportFileStatus(FileSystem& files, const std::string& path) {
    return files.fileExists(path) ? "1" : "0";
}

void SaveScreenshot(CaptureState& state, SaveServices& services, CaptureView& view) {
    if (!state.SaveRequested && !AskAboutArrival(state, services, view))
        return;

    while (true) {
        state.SaveRequested = false;
        services.dialog.setFilter(std::string(ScreenshotFilter));
        services.dialog.setTitle(SaveDialogTitle);
        if (!services.dialog.showSave())
            return;
        if (state.ImageData.size() < ScreenshotSize) {
            services.box.tell("There is no screenshot to save yet.", SaveTitle);
            return;
        }
        const std::string path = services.dialog.fileName();
        const DialogAnswer answer = AskToOverwrite(services, path);
        Store(state, answer);
        if (answer == DialogAnswer::No || (answer == DialogAnswer::None && path.empty()))
            continue;
        if (answer == DialogAnswer::Cancel)
            return;
        WriteChosenFile(state, services, path);
        return;
    }
}

void OnSaveImageClicked(CaptureState& state, SaveServices& services, CaptureView& view) {
    state.SaveRequested = true;
    SaveScreenshot(state, services, view);
}

} // namespace kvd
