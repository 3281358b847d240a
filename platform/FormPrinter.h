#pragma once

#include <any>

#include "platform/Outcome.h"

namespace kvd {

// Prints a whole form, as laid out, on the system's default printer, without the
// form being shown. The form is the platform's own window type, carried opaquely.
class FormPrinter {
public:
    virtual ~FormPrinter() = default;
    virtual Outcome printForm(const std::any& form) = 0;
};

} // namespace kvd
