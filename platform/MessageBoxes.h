#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvd {

// The answers a message box gives, with the codes the program stores.
enum class DialogAnswer : std::int16_t { None = 0, Cancel = 2, Yes = 6, No = 7 };

// The button sets a question offers, with their codes.
enum class Buttons : std::int16_t { YesNoCancel = 3, YesNo = 4 };

// Modal message boxes. A carriage return and line feed in a text starts a new line.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A question; `onEnter` is the answer Enter gives, the one that loses nothing.
    virtual DialogAnswer ask(const std::string& text, const std::string& title, Buttons buttons,
                             DialogAnswer onEnter) = 0;
    // A message with only an OK button: something went wrong, or is worth knowing.
    virtual void tell(const std::string& text, const std::string& title) = 0;
};

// A modal box with a one-line text field.
class InputBox {
public:
    virtual ~InputBox() = default;
    // The text as the user left it (which may be empty), or nothing on Cancel.
    virtual std::optional<std::string> ask(const std::string& prompt, const std::string& title,
                                           const std::string& defaultText) = 0;
};

} // namespace kvd
