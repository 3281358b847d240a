#pragma once

#include "platform/FormPrinter.h"

namespace kvd {

// Prints a form (a QWidget) on the system's default printer.
class QtFormPrinter final : public FormPrinter {
public:
    Outcome printForm(const std::any& form) override;
};

} // namespace kvd
