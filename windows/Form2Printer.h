#pragma once

#include <QString>
#include <memory>

#include "platform/FormPrinter.h"

namespace kvd {

class Form2;

// Prints Form2, the print page, made at the first print and kept. The page is
// printed at its physical size, 96 of its pixels to the inch, at the top left
// of the printable area: text as text, lines as lines, the picture without
// loss. Printed on the system's default printer, on a printer named, or into a
// PDF file of the page's own size.
class Form2Printer final : public FormPrinter {
public:
    enum class Target { DefaultPrinter, NamedPrinter, PdfFile };

    explicit Form2Printer(Target target = Target::DefaultPrinter, QString name = {});
    ~Form2Printer() override;

    Outcome print(const Picture& picture, const std::string& comment) override;

private:
    Target target_;
    QString name_;
    std::unique_ptr<Form2> page_;
};

} // namespace kvd
