#pragma once

#include "platform/FormPrinter.h"
#include "platform/MessageBoxes.h"
#include "platform/Picture.h"

namespace kvd {

struct PrintServices {
    InputBox& input;
    FormPrinter& printer;
    MessageBoxes& box;
};

// "Print Image": asks for a one-line comment, then prints the picture with it on
// the print page. Cancel prints nothing; a print that fails is said.
void PrintScreenshot(const Picture& picture, PrintServices& services);

} // namespace kvd
