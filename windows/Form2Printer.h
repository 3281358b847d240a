#pragma once

#include <memory>

#include "platform/FormPrinter.h"
#include "platform/qt/WidgetPrinter.h"

namespace kvd {

class Form2;

// Prints on Form2, the print page, made at the first print and kept.
class Form2Printer final : public FormPrinter {
public:
    explicit Form2Printer(WidgetPrinter printer = WidgetPrinter{});
    ~Form2Printer() override;

    Outcome print(const Picture& picture, const std::string& comment) override;

private:
    WidgetPrinter printer_;
    std::unique_ptr<Form2> page_;
};

} // namespace kvd
