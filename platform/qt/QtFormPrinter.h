#pragma once

#include <QString>

#include "platform/FormPrinter.h"

namespace kvd {

// Prints a form (a QWidget) at its physical size, 96 of its pixels to the inch,
// at the top left of the printable area: text as text, lines as lines, pictures
// without loss. Printed on the system's default printer, on a printer named, or
// into a PDF file of the form's own size.
class QtFormPrinter final : public FormPrinter {
public:
    enum class Target { DefaultPrinter, NamedPrinter, PdfFile };

    explicit QtFormPrinter(Target target = Target::DefaultPrinter, QString name = {})
        : target_(target), name_(std::move(name)) {}

    Outcome printForm(const std::any& form) override;

private:
    Target target_;
    QString name_;
};

} // namespace kvd
