#include "windows/Form2Printer.h"

#include "platform/qt/QtPicture.h"
#include "windows/Form2.h"

namespace kvd {

Form2Printer::Form2Printer(WidgetPrinter printer) : printer_(std::move(printer)) {}

Form2Printer::~Form2Printer() = default;

Outcome Form2Printer::print(const Picture& picture, const std::string& comment) {
    if (!page_)
        page_ = std::make_unique<Form2>();
    page_->setPicture(ToImage(picture));
    page_->setComment(QString::fromStdString(comment));
    return printer_.print(*page_);
}

} // namespace kvd
