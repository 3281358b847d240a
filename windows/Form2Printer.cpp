#include "windows/Form2Printer.h"

#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/qt/QtPicture.h"
#include "windows/Form2.h"

namespace kvd {

namespace {

// The forms are laid out in pixels of a 96 dots-per-inch screen.
constexpr double FormDotsPerInch = 96.0;

Outcome ChoosePrinter(Form2Printer::Target target, const QString& name, QPrinter& printer,
                      const QWidget& page) {
    switch (target) {
    case Form2Printer::Target::PdfFile: {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(name);
        const QSizeF inches = QSizeF(page.size()) / FormDotsPerInch;
        printer.setPageSize(QPageSize(inches, QPageSize::Inch));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
        return Outcome::success();
    }
    case Form2Printer::Target::NamedPrinter:
        if (QPrinterInfo::printerInfo(name).isNull())
            return Outcome::failure("there is no printer named \"" + name.toStdString() + "\"");
        printer.setPrinterName(name);
        return Outcome::success();
    case Form2Printer::Target::DefaultPrinter:
        break;
    }
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return Outcome::failure("there is no default printer");
    printer.setPrinterName(info.printerName());
    return Outcome::success();
}

} // namespace

Form2Printer::Form2Printer(Target target, QString name) : target_(target), name_(std::move(name)) {}

Form2Printer::~Form2Printer() = default;

Outcome Form2Printer::print(const Picture& picture, const std::string& comment) {
    if (!page_)
        page_ = std::make_unique<Form2>();
    page_->setPicture(ToImage(picture));
    page_->setComment(QString::fromStdString(comment));

    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("KVD62 screenshot"));
    if (Outcome chosen = ChoosePrinter(target_, name_, printer, *page_); !chosen)
        return chosen;

    // Qt renders a widget straight onto a printer only as one flattened, lossily
    // compressed picture. Recorded as drawing commands first and then replayed,
    // the page keeps its text as text, its lines as lines and its picture whole.
    QPicture recording;
    QPainter recorder(&recording);
    page_->ensurePolished();
    page_->render(&recorder, QPoint(), QRegion(),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);
    recorder.end();

    printer.setResolution(int(FormDotsPerInch));
    QPainter painter;
    if (!painter.begin(&printer))
        return Outcome::failure("the printer could not be started");
    const double scale = printer.resolution() / FormDotsPerInch;
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.drawPicture(0, 0, recording);
    if (!painter.end())
        return Outcome::failure("the page could not be sent to the printer");
    return Outcome::success();
}

} // namespace kvd
