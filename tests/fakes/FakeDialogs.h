#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "flows/CaptureView.h"
#include "platform/FileDialog.h"
#include "platform/FormPrinter.h"
#include "platform/MessageBoxes.h"
#include "platform/Picture.h"
#include "platform/Utf8Path.h"

namespace kvd::test {

// The next scripted answer, or `none` once the script has run out.
template <typename T> T TakeNext(std::deque<T>& script, T none) {
    if (script.empty())
        return none;
    T next = std::move(script.front());
    script.pop_front();
    return next;
}

// Message boxes answered from a script. A question with no scripted answer left
// is recorded and answered Cancel, so a test never blocks.
class FakeMessageBox final : public MessageBoxes {
public:
    struct Shown {
        std::string text;
        std::string title;
        int buttons = 0; // 0 for a message with only OK
        DialogAnswer onEnter = DialogAnswer::None;
    };
    std::deque<DialogAnswer> answers;
    std::vector<Shown> shown;
    // Runs while a box is up, as the event loop of a modal box would.
    std::function<void()> whileShown;

    DialogAnswer ask(const std::string& text, const std::string& title, Buttons buttons,
                     DialogAnswer onEnter) override {
        shown.push_back({text, title, int(buttons), onEnter});
        if (whileShown)
            whileShown();
        return TakeNext(answers, DialogAnswer::Cancel);
    }
    void tell(const std::string& text, const std::string& title) override {
        shown.push_back({text, title, 0});
        if (whileShown)
            whileShown();
    }
};

class FakeInputBox final : public InputBox {
public:
    // Nothing for Cancel.
    std::deque<std::optional<std::string>> answers;
    int asked = 0;
    std::string prompt, title, defaultText;
    std::function<void()> whileShown;

    std::optional<std::string> ask(const std::string& p, const std::string& t,
                                   const std::string& d) override {
        if (whileShown)
            whileShown();
        ++asked;
        prompt = p;
        title = t;
        defaultText = d;
        return TakeNext(answers, {});
    }
};

// The shared file dialog with scripted choices: a path, or nothing for Cancel.
// Filter, title and file name persist between shows, as in the real one.
class FakeFileDialog final : public FileDialog {
public:
    struct Shown {
        bool saving = false;
        std::string title;
        std::string filter;
        std::string startName; // the file name the dialog started from
    };
    std::deque<std::optional<std::string>> choices;
    std::vector<Shown> shown;
    std::function<void()> whileShown;

    void setFilter(const std::string& value) override { filter_ = value; }
    void setTitle(const std::string& value) override { title_ = value; }
    void setFileName(const std::string& value) override { fileName_ = value; }
    bool showSave() override { return Show(true); }
    bool showOpen() override { return Show(false); }
    std::string fileName() const override { return fileName_; }
    std::string fileTitle() const override {
        return Utf8FromPath(PathFromUtf8(fileName_).filename());
    }
    // Takes the next choice as the folder (nothing: Cancel); shown with no filter.
    std::string chooseFolder(const std::string& title) override {
        return Open({false, title, "", fileName_}).value_or("");
    }

private:
    bool Show(bool saving) {
        const std::optional<std::string> choice = Open({saving, title_, filter_, fileName_});
        if (choice)
            fileName_ = *choice;
        return choice.has_value();
    }
    // Records the dialog and takes the next choice (Cancel when none is left).
    std::optional<std::string> Open(Shown dialog) {
        shown.push_back(std::move(dialog));
        if (whileShown)
            whileShown();
        return TakeNext(choices, {});
    }

    std::string filter_, title_, fileName_;
};

// Loads "pictures" that are the bytes themselves: a bitmap file whose header
// gives its own size is a picture, anything else is refused.
class FakePictureLoader final : public PictureLoader {
public:
    std::vector<std::string> loadedFiles;
    // Every decoding, of a file's bytes too.
    int decodings = 0;

    std::optional<Picture> loadFile(const std::filesystem::path& path,
                                    std::string& whyNot) override;
    std::optional<Picture> loadBytes(std::string_view bytes, std::string& whyNot) override;
};

// Records what it was asked to print.
class FakeFormPrinter final : public FormPrinter {
public:
    int printed = 0;
    std::optional<Picture> picture;
    std::string comment;
    std::optional<std::string> failure;
    // Runs while the page is printed, as the event loop turns then.
    std::function<void()> whileShown;
    Outcome print(const Picture& shown, const std::string& text) override {
        if (whileShown)
            whileShown();
        picture = shown;
        comment = text;
        if (failure)
            return Outcome::failure(*failure);
        ++printed;
        return Outcome::success();
    }
};

// The window's controls as the flows see them.
class FakeCaptureView final : public CaptureView {
public:
    bool saveEnabled = false;
    bool disableSaveEnabled = true;
    std::optional<Picture> picture;
    int pictureShows = 0;

    void setSaveEnabled(bool enabled) override { saveEnabled = enabled; }
    void setDisableSaveEnabled(bool enabled) override { disableSaveEnabled = enabled; }
    void showPicture(const Picture& shown) override {
        picture = shown;
        ++pictureShows;
    }
};

} // namespace kvd::test
