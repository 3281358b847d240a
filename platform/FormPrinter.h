#pragma once

#include <string>

#include "platform/Outcome.h"
#include "platform/Picture.h"

namespace kvd {

// Prints the print page (the picture in its frame, the comment line below it),
// as laid out, on the system's default printer, without the page being shown.
// The printer owns its page.
class FormPrinter {
public:
    virtual ~FormPrinter() = default;
    virtual Outcome print(const Picture& picture, const std::string& comment) = 0;
};

} // namespace kvd
