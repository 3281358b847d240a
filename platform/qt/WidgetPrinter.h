#pragma once

#include <QString>

#include "platform/Outcome.h"

class QWidget;

namespace kvd {

// Prints a form (a QWidget) at its physical size, 96 of its pixels to the inch,
// at the top left of the printable area: text as text, lines as lines, pictures
// without loss. Printed on the system's default printer, on a printer named, or
// into a PDF file of the form's own size.
class WidgetPrinter {
public:
    enum class Target { DefaultPrinter, NamedPrinter, PdfFile };

    explicit WidgetPrinter(Target target = Target::DefaultPrinter, QString name = {})
        : target_(target), name_(std::move(name)) {}

    Outcome print(QWidget& form) const;

private:
    Target target_;
    QString name_;
};

} // namespace kvd
